#pragma once
// Helpers shared by the unit tests: scratch folders below the build tree and CP932 literals.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace sorel::test {

/// A fresh, empty folder for one test, below the build tree's test-data folder.
inline std::filesystem::path scratchFolder() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::filesystem::path dir = std::filesystem::path(SOREL_TEST_TMP) /
                              (std::string(info->test_suite_name()) + "." + info->name());
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

/// The system path (CP932 bytes are plain ASCII here, '\' separators) of a host path.
inline std::string sys(const std::filesystem::path& host) {
  std::string s = host.string();
  for (char& c : s)
    if (c == '/') c = '\\';
  return s;
}

inline std::vector<uint8_t> bytesOf(std::string_view s) { return {s.begin(), s.end()}; }

/// A data folder below root that both players take without a word: an empty but valid archive
/// for every archive they look for (both picture sets, the voices too) and the three sound
/// folders, empty. For tests of the players themselves rather than of a game.
inline void writeEmptyDataSet(const std::filesystem::path& root) {
  const char emptyArchive[16] = {'R', 'L', 'Z', '2', 0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0};
  for (const char* folder : {"bgm", "se", "sys"}) std::filesystem::create_directories(root / "data" / folder);
  std::vector<std::string> files = {"Script.mlz", "Table.mlz", "voice.mlz"};
  for (std::string base : {"bg", "Face", "Stand", "System", "Thumbnail", "Visual"}) {
    files.push_back(base + ".mlz");
    files.push_back(base + "_vga.mlz");
  }
  for (const std::string& file : files)
    std::ofstream(root / "data" / file, std::ios::binary).write(emptyArchive, sizeof emptyArchive);
}

/// Deterministic pseudo-random bytes (xorshift), for data that must not compress well.
inline std::vector<uint8_t> noise(size_t n, uint32_t seed = 12345) {
  std::vector<uint8_t> out(n);
  uint32_t x = seed ? seed : 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<uint8_t>(x);
  }
  return out;
}

}  // namespace sorel::test
