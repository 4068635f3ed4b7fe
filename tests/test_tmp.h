#pragma once
// Scratch space for the tests, one folder per test process. ctest runs every test case in a
// process of its own and several at once, so fixed file names below one shared folder would
// let parallel cases overwrite each other's files; SOREL_TEST_TMP names this process's folder,
// which is removed again when the process ends.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

inline const char* sorelTestTmp() {
  static const std::string dir = [] {
    std::filesystem::path p = std::filesystem::path(SOREL_TEST_TMP_ROOT) / ("p" + std::to_string(::getpid()));
    std::error_code ec;
    std::filesystem::remove_all(p, ec);
    std::filesystem::create_directories(p, ec);
    std::atexit([] {
      std::error_code e;
      std::filesystem::remove_all(std::filesystem::path(SOREL_TEST_TMP_ROOT) / ("p" + std::to_string(::getpid())), e);
    });
    return p.string();
  }();
  return dir.c_str();
}

#define SOREL_TEST_TMP sorelTestTmp()
