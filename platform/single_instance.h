#pragma once
// One running player per played folder. The device finds a running instance by its window class;
// the desktop uses a per-user lock file named after the class and the real path of the folder
// being played (the one holding data/), so that two games, or the two players on folders of their
// own, run side by side, while a second start of the same game meets the first. A local socket
// beside the lock is how the second asks the first to come to the front.
//
// The locks live in $XDG_RUNTIME_DIR/sorel (or /tmp/sorel-<uid> when that is unset). A lock is
// an flock on its file, so it ends with its process however that ends.
#include <string>
#include <string_view>

namespace platform {

class SingleInstance {
 public:
  enum class Result {
    /// This is the only instance on the folder; the lock is held until destruction.
    First,
    /// Another instance holds the lock; it has been asked to come to the front, and owner()
    /// says who it is.
    AnotherRuns,
  };

  /// Who holds a lock: written into the lock file by its holder.
  struct Owner {
    long pid = 0;          ///< 0 when the holder has not said (yet)
    std::string program;   ///< for example "pocketplayer"
    std::string folder;    ///< the real path of the folder it plays
  };

  SingleInstance() = default;
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  /// Takes the lock of the window class for the folder (any path naming it; its real path is the
  /// key) on behalf of program. When the lock cannot be made at all (no writable folder), the run
  /// goes on as the first instance rather than refusing to start.
  Result acquire(std::string_view className, std::string_view folder, std::string_view program);
  /// After AnotherRuns: the running instance.
  const Owner& owner() const { return m_owner; }
  /// True once for every request from another instance since the last call. Never blocks.
  bool raiseRequested();
  /// Gives the lock up (also done by the destructor).
  void release();

  /// The folder that holds the locks.
  static std::string lockFolder();
  /// The real path of a folder (the path itself when it cannot be resolved).
  static std::string realFolder(std::string_view folder);

 private:
  int m_lockFd = -1;
  int m_socketFd = -1;
  std::string m_socketPath;
  Owner m_owner;
};

}  // namespace platform
