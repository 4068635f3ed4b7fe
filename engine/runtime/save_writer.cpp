#include "engine/runtime/save_writer.h"

#include <cerrno>
#include <cstring>

#include "platform/files.h"

namespace sorel {

SaveWriter::SaveWriter() : m_thread([this] { run(); }) {}

SaveWriter::~SaveWriter() {
  {
    std::lock_guard<std::mutex> g(m_lock);
    m_stop = true;
  }
  m_wake.notify_all();
  m_thread.join();
}

void SaveWriter::write(std::string path, std::vector<uint8_t> bytes) {
  {
    std::lock_guard<std::mutex> g(m_lock);
    bool replaced = false;
    for (auto& job : m_queue)
      if (job.first == path) {
        job.second = std::move(bytes);
        replaced = true;
        break;
      }
    if (!replaced) m_queue.emplace_back(std::move(path), std::move(bytes));
  }
  m_wake.notify_one();
}

std::optional<std::vector<uint8_t>> SaveWriter::waiting(const std::string& path) const {
  std::lock_guard<std::mutex> g(m_lock);
  for (auto it = m_queue.rbegin(); it != m_queue.rend(); ++it)
    if (it->first == path) return it->second;
  if (m_current && m_current->first == path) return m_current->second;
  return std::nullopt;
}

std::optional<std::vector<uint8_t>> SaveWriter::read(const std::string& path) const {
  if (auto w = waiting(path)) return w;
  return platform::readWholeFile(path);
}

void SaveWriter::flush() {
  std::unique_lock<std::mutex> g(m_lock);
  m_idle.wait(g, [this] { return m_queue.empty() && !m_current; });
}

uint32_t SaveWriter::failures() const {
  std::lock_guard<std::mutex> g(m_lock);
  return m_failures;
}

std::vector<SaveWriter::Result> SaveWriter::takeResults() {
  std::lock_guard<std::mutex> g(m_lock);
  return std::exchange(m_results, {});
}

void SaveWriter::run() {
  std::unique_lock<std::mutex> g(m_lock);
  for (;;) {
    m_wake.wait(g, [this] { return m_stop || !m_queue.empty(); });
    if (m_queue.empty()) {
      if (m_stop) return;
      continue;
    }
    m_current = std::move(m_queue.front());
    m_queue.pop_front();
    g.unlock();
    errno = 0;
    const bool ok = platform::writeWholeFile(m_current->first, m_current->second, true);
    const std::string reason = ok || errno == 0 ? std::string() : std::strerror(errno);
    g.lock();
    if (!ok) ++m_failures;
    m_results.push_back({m_current->first, ok, reason});
    m_current.reset();
    if (m_queue.empty()) m_idle.notify_all();
  }
}

}  // namespace sorel
