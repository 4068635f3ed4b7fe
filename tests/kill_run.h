#pragma once
// Runs a program in a child process of its own and kills it (SIGKILL) at a chosen moment, for the
// tests that prove a program's files are whole wherever it is killed.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

namespace sorel::test {

/// How a child process ended.
struct Ending {
  bool killed = false;  ///< ended by a signal
  int exitCode = -1;    ///< its exit code when it ended by itself
};

/// Starts args[0] (a path) with the arguments that follow, its output streams sent to /dev/null.
/// The process id, or -1.
inline pid_t startQuietly(const std::vector<std::string>& args) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

/// Waits until the child has ended.
inline Ending waitFor(pid_t pid) {
  int status = 0;
  Ending e;
  if (::waitpid(pid, &status, 0) != pid) return e;
  e.killed = WIFSIGNALED(status);
  if (WIFEXITED(status)) e.exitCode = WEXITSTATUS(status);
  return e;
}

/// Lets the child run for `delay`, then kills it and waits for it. `killed` is false when it had
/// ended by itself before.
inline Ending killAfter(pid_t pid, std::chrono::microseconds delay) {
  std::this_thread::sleep_for(delay);
  ::kill(pid, SIGKILL);
  return waitFor(pid);
}

/// Runs the program to its end.
inline Ending runToEnd(const std::vector<std::string>& args) {
  const pid_t pid = startQuietly(args);
  return pid > 0 ? waitFor(pid) : Ending{};
}

inline std::vector<uint8_t> fileBytes(const std::filesystem::path& p) {
  std::ifstream f(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

}  // namespace sorel::test
