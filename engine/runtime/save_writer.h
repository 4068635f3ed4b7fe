#pragma once
// Writes the save folder's files on a thread of its own, so that a save costs the frame only the
// building of its bytes: flushing a file to the disk takes longer than a frame on slow storage.
// Each file still goes to its temporary name, reaches the disk and is renamed into place (a kill
// at any moment leaves the old or the new file). A newer request for a file that is still
// waiting replaces the waiting one; readers of the save folder ask here first, so they see what
// was last asked for.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace sorel {

class SaveWriter {
 public:
  SaveWriter();
  /// Writes everything still waiting, then ends the thread.
  ~SaveWriter();
  SaveWriter(const SaveWriter&) = delete;
  SaveWriter& operator=(const SaveWriter&) = delete;

  /// Queues the whole file for writing (system path).
  void write(std::string path, std::vector<uint8_t> bytes);
  /// The bytes last queued for a path and not yet on the disk; none when nothing waits.
  std::optional<std::vector<uint8_t>> waiting(const std::string& path) const;
  /// The file as it will be: the waiting bytes, else the file on the disk.
  std::optional<std::vector<uint8_t>> read(const std::string& path) const;
  /// Waits until everything queued is on the disk.
  void flush();
  /// Writes that failed so far.
  uint32_t failures() const;
  /// One finished write: the file and whether it reached the disk.
  struct Result {
    std::string path;
    bool ok = false;
    std::string reason;  ///< the system's words when it failed
  };
  /// The writes finished since the last call, in the order they finished.
  std::vector<Result> takeResults();

 private:
  void run();

  mutable std::mutex m_lock;
  std::condition_variable m_wake;
  std::condition_variable m_idle;
  std::deque<std::pair<std::string, std::vector<uint8_t>>> m_queue;
  std::optional<std::pair<std::string, std::vector<uint8_t>>> m_current;  // being written
  bool m_stop = false;
  uint32_t m_failures = 0;
  std::vector<Result> m_results;
  std::thread m_thread;
};

}  // namespace sorel
