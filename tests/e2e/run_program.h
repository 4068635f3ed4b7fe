#pragma once
// Runs one of the built programs and captures what it printed, for end-to-end tests.
#include <array>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <sys/wait.h>

namespace sorel::test {

struct ProgramResult {
  int exitCode = -1;
  std::string output;  ///< stdout and stderr together
};

/// Runs a shell command line, capturing its output and error streams together.
inline ProgramResult runCommand(const std::string& commandLine) {
  std::string cmd = commandLine + " 2>&1";
  ProgramResult r;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return r;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = fread(buf.data(), 1, buf.size(), p)) > 0) r.output.append(buf.data(), n);
  int status = pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

/// Runs build/bin/<program> with the given argument text (already shell-quoted).
inline ProgramResult runProgram(const std::string& program, const std::string& args) {
  return runCommand(std::string(SOREL_BIN_DIR) + "/" + program + " " + args);
}

inline std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

/// Makes the sample game in dir/game (dir emptied first) and converts it once per size into
/// dir/<prefix><size> with the further convSorel options. Returns what failed, or "".
inline std::string makeSampleConversions(const std::filesystem::path& dir, const std::string& options,
                                         std::initializer_list<int> sizes = {640, 320},
                                         const std::string& prefix = "r") {
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  std::filesystem::create_directories(dir, ec);
  const std::string game = (dir / "game").string();
  auto made = runProgram("sorel-mkgame", quote(game) + " -q");
  if (made.exitCode != 0) return "sorel-mkgame: " + made.output;
  for (int size : sizes) {
    const std::filesystem::path out = dir / (prefix + std::to_string(size));
    std::filesystem::create_directories(out, ec);
    auto conv = runProgram("convSorel", "--batch --game " + quote(game) + " --out " + quote(out.string()) +
                                            " --size " + std::to_string(size) + " " + options);
    if (conv.exitCode != 0) return "convSorel --size " + std::to_string(size) + ": " + conv.output;
  }
  return "";
}

}  // namespace sorel::test
