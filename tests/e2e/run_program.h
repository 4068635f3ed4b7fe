#pragma once
// Runs one of the built programs and captures what it printed, for end-to-end tests.
#include <array>
#include <cstdio>
#include <filesystem>
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

}  // namespace sorel::test
