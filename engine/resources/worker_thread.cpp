#include "engine/resources/worker_thread.h"

#include <chrono>

namespace sorel {

WorkerThread::~WorkerThread() { close(); }

bool WorkerThread::start() {
  {
    std::lock_guard lock(m_mutex);
    if (!m_finished) return false;
  }
  if (m_thread.joinable()) m_thread.join();
  {
    std::lock_guard lock(m_mutex);
    m_released = false;
    m_finished = false;
  }
  try {
    m_thread = std::thread(&WorkerThread::entry, this);
  } catch (...) {
    std::lock_guard lock(m_mutex);
    m_finished = true;
    return false;
  }
  onStarted(m_thread.get_id());
  {
    std::lock_guard lock(m_mutex);
    m_released = true;
  }
  m_cv.notify_all();
  return true;
}

void WorkerThread::entry() {
  {
    // Held back until onStarted has run on the starting thread.
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return m_released; });
  }
  beforeRun();
  int code = run();
  afterRun();
  {
    std::lock_guard lock(m_mutex);
    m_exitCode = code;
    m_finished = true;
  }
  m_cv.notify_all();
}

bool WorkerThread::isRunning() const {
  std::lock_guard lock(m_mutex);
  return !m_finished;
}

bool WorkerThread::wait(uint32_t timeoutMs) {
  std::unique_lock lock(m_mutex);
  auto done = [this] { return m_finished; };
  if (timeoutMs == kInfinite) m_cv.wait(lock, done);
  else m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
  return m_finished;
}

void WorkerThread::close() {
  if (m_thread.joinable()) {
    wait();
    m_thread.join();
  }
}

}  // namespace sorel
