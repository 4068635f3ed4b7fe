#pragma once
// A thread object with overridable hooks: start() creates the thread held back, tells
// onStarted its id, then lets it run beforeRun, run and afterRun in turn.
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace sorel {

class WorkerThread {
 public:
  static constexpr uint32_t kInfinite = 0xFFFFFFFF;

  WorkerThread() = default;
  /// Waits for a running thread to end: a worker never outlives its object.
  virtual ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  /// True when the thread was created (false if one is already running or creation failed).
  bool start();
  /// True while the thread has not finished; never waits.
  bool isRunning() const;
  /// Waits up to timeoutMs for the thread to end; true when it has ended.
  bool wait(uint32_t timeoutMs = kInfinite);
  /// Releases the finished thread's handle (waits for it if it still runs).
  void close();
  /// run()'s result once the thread has ended.
  int exitCode() const { return m_exitCode; }

 protected:
  virtual int run() { return 0; }
  virtual void onStarted(std::thread::id) {}
  virtual void beforeRun() {}
  virtual void afterRun() {}

 private:
  void entry();

  std::thread m_thread;
  mutable std::mutex m_mutex;
  std::condition_variable m_cv;
  bool m_released = false;
  bool m_finished = true;
  int m_exitCode = 0;
};

}  // namespace sorel
