#pragma once
// One running player per user and window class. The device finds a running instance by its
// window class; the desktop uses a per-user lock file named after the class, and a local socket
// beside it through which a second instance asks the running one to come to the front.
//
// The lock lives in $XDG_RUNTIME_DIR/sorel (or /tmp/sorel-<uid> when that is unset).
#include <string>
#include <string_view>

namespace platform {

class SingleInstance {
 public:
  enum class Result {
    /// This is the only instance; the lock is held until destruction.
    First,
    /// Another instance holds the lock; it has been asked to come to the front.
    AnotherRuns,
  };

  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  /// Takes the lock of the window class. When the lock cannot be made at all (no writable
  /// folder), the run goes on as the first instance rather than refusing to start.
  Result acquire(std::string_view className);
  /// True once for every request from another instance since the last call. Never blocks.
  bool raiseRequested();
  /// Gives the lock up (also done by the destructor).
  void release();

  /// The folder that holds the locks.
  static std::string lockFolder();

 private:
  int m_lockFd = -1;
  int m_socketFd = -1;
  std::string m_socketPath;
};

}  // namespace platform
