#include "engine/audio/movie_reader.h"

#include <chrono>
#include <cstring>

#include "engine/audio/jmv_format.h"
#include "engine/resources/byte_io.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace sorel {

const char* movieRefusalText(MovieRefusal refusal) {
  switch (refusal) {
    case MovieRefusal::None: return "ok";
    case MovieRefusal::NoFile: return "no such movie file, or it cannot be read";
    case MovieRefusal::Truncated: return "shorter than the 48-byte header";
    case MovieRefusal::FrameCount: return "the frame count does not fit the file";
    case MovieRefusal::ZeroFps: return "a rate of 0 frames per second";
    case MovieRefusal::FrameSize: return "a frame side of 0";
    case MovieRefusal::TooManyMacroblocks: return "frames of more than 600 macroblocks";
    case MovieRefusal::FrameOutsideFile: return "a frame lies past the end of the file";
    case MovieRefusal::FramesNotBackToBack: return "the frames are not back to back in index order";
    case MovieRefusal::FrameTooLarge: return "a frame is larger than a reader buffer";
    case MovieRefusal::DoesNotFitScreen: return "the frame does not fit the screen";
    case MovieRefusal::NoThread: return "the reader thread cannot be started";
  }
  return "refused";
}

MovieRefusal parseMovieIndex(std::span<const uint8_t> bytes, uint64_t fileSize, MovieHeader& header,
                             std::vector<uint32_t>& sizes, std::vector<uint64_t>& fileOffsets) {
  sizes.clear();
  fileOffsets.clear();
  if (fileSize < jmv::kHeaderSize || bytes.size() < jmv::kHeaderSize) return MovieRefusal::Truncated;
  MovieHeader h;
  h.frameCount = loadU32(bytes.data() + jmv::kFrameCountOffset);
  h.fps = loadU32(bytes.data() + jmv::kFpsOffset);
  h.width = loadU32(bytes.data() + jmv::kWidthOffset);
  h.height = loadU32(bytes.data() + jmv::kHeightOffset);
  const uint64_t n = h.frameCount;
  if (n == 0 || n > (fileSize - jmv::kHeaderSize) / jmv::kEntrySize) return MovieRefusal::FrameCount;
  if (h.fps == 0) return MovieRefusal::ZeroFps;
  if (h.width == 0 || h.height == 0) return MovieRefusal::FrameSize;
  if (((uint64_t(h.width) + 15) / 16) * ((uint64_t(h.height) + 15) / 16) > jmv::kMaxMacroblocks)
    return MovieRefusal::TooManyMacroblocks;
  const uint64_t indexEnd = jmv::kHeaderSize + n * jmv::kEntrySize;
  if (bytes.size() < indexEnd) return MovieRefusal::FrameCount;
  const uint32_t bufferSize = h.width >= jmv::kWideFrame ? jmv::kWideBufferBytes : jmv::kBufferBytes;
  sizes.resize(n);
  fileOffsets.resize(n);
  uint64_t expected = 0;
  for (uint64_t i = 0; i < n; ++i) {
    const uint8_t* e = bytes.data() + jmv::kHeaderSize + i * jmv::kEntrySize;
    const uint32_t size = loadU32(e + jmv::kEntryBytesOffset);
    const uint32_t offset = loadU32(e + jmv::kEntryOffsetOffset);
    const uint64_t at = indexEnd + offset;
    if (at + size > fileSize) return MovieRefusal::FrameOutsideFile;
    if (i > 0 && offset != expected) return MovieRefusal::FramesNotBackToBack;
    if (size > bufferSize) return MovieRefusal::FrameTooLarge;
    expected = uint64_t(offset) + size;
    sizes[i] = size;
    fileOffsets[i] = at;
  }
  header = h;
  return MovieRefusal::None;
}

MovieReader::~MovieReader() { stop(); }

MovieRefusal MovieReader::open(std::string_view path, uint32_t bufferSize) {
  stop();
  m_path.assign(path);
  const int64_t size = platform::fileSize(m_path);
  if (size < 0) return MovieRefusal::NoFile;
  // The first 72 bytes give N; then the header and the index are read together.
  std::array<uint8_t, jmv::kHeaderSize> head{};
  if (size < int64_t(jmv::kHeaderSize)) return MovieRefusal::Truncated;
  if (platform::readAt(m_path, head.data(), platform::kSeekStart, 0, head.size()) != head.size())
    return MovieRefusal::NoFile;
  const uint64_t n = loadU32(head.data() + jmv::kFrameCountOffset);
  if (n == 0 || n > (uint64_t(size) - jmv::kHeaderSize) / jmv::kEntrySize) return MovieRefusal::FrameCount;
  std::vector<uint8_t> index(jmv::kHeaderSize + n * jmv::kEntrySize);
  if (platform::readAt(m_path, index.data(), platform::kSeekStart, 0, index.size()) != index.size())
    return MovieRefusal::NoFile;
  MovieHeader header;
  if (MovieRefusal r = parseMovieIndex(index, uint64_t(size), header, m_sizes, m_offsets); r != MovieRefusal::None)
    return r;
  m_header = header;
  m_bufferSize = header.width >= jmv::kWideFrame ? bufferSize * 4 : bufferSize;
  for (uint32_t s : m_sizes)
    if (s > m_bufferSize) {
      m_sizes.clear();
      m_offsets.clear();
      return MovieRefusal::FrameTooLarge;
    }
  for (auto& b : m_buffers) b = std::make_unique<uint8_t[]>(m_bufferSize);
  m_handout.assign(m_bufferSize, 0);
  m_handoutSize = 0;
  m_first[0] = m_first[1] = 0;
  m_count[0] = m_count[1] = 0;
  m_next = 0;
  m_wanted = 0;
  m_stop = false;
  m_over = false;
  m_refills = 0;
  m_waits = 0;
  m_due = 0;
  if (refill(0, 0)) refill(1, m_next.load());
  return MovieRefusal::None;
}

bool MovieReader::start() {
  if (m_started || m_sizes.empty()) return false;
  if (m_stop.load() || m_over.load()) return true;  // everything is in the buffers already
  if (!WorkerThread::start()) return false;
  m_started = true;
  return true;
}

void MovieReader::stop() {
  m_stop.store(true, std::memory_order_release);
  wake();
  if (m_started) {
    wait(kInfinite);
    close();
    m_started = false;
  }
  for (auto& b : m_buffers) b.reset();
  m_handout = {};
  m_handoutSize = 0;
  m_sizes = {};
  m_offsets = {};
}

void MovieReader::wake() {
  {
    std::lock_guard lock(m_wakeMutex);
    m_woken = true;
  }
  m_wakeEvent.notify_one();
}

bool MovieReader::inBuffer(int b, uint32_t f) const {
  const uint32_t first = m_first[size_t(b)].load(std::memory_order_relaxed);
  return f >= first && f - first < m_count[size_t(b)].load(std::memory_order_relaxed);
}

bool MovieReader::refill(int b, uint32_t f) {
  const uint32_t n = m_header.frameCount;
  uint32_t taken = 0;
  uint64_t bytes = 0;
  while (taken < 2 && f + taken < n && bytes + m_sizes[f + taken] <= m_bufferSize) bytes += m_sizes[f + taken++];
  bool ok = taken > 0;
  // Frames lie back to back, so the frames of one buffer are one read.
  if (ok && bytes > 0 &&
      platform::readAt(m_path, m_buffers[size_t(b)].get(), platform::kSeekStart, int64_t(m_offsets[f]), size_t(bytes)) !=
          bytes)
    ok = false;  // the file changed under us
  if (!ok) {
    // A refill that takes nothing ends reading: nothing later could be read either.
    m_count[size_t(b)].store(0, std::memory_order_relaxed);
    m_over.store(true, std::memory_order_release);
    m_stop.store(true, std::memory_order_release);
    return false;
  }
  m_first[size_t(b)].store(f, std::memory_order_relaxed);
  m_count[size_t(b)].store(taken, std::memory_order_relaxed);
  m_due = 1 - b;
  m_refills.fetch_add(1, std::memory_order_relaxed);
  m_next.store(f + taken, std::memory_order_release);
  if (f + taken >= n) {
    m_over.store(true, std::memory_order_release);
    m_stop.store(true, std::memory_order_release);
  }
  return true;
}

bool MovieReader::guardedRefill(int b, uint32_t f, bool jump) {
  m_refilling.store(true, std::memory_order_seq_cst);
  if (m_taking.load(std::memory_order_seq_cst)) {
    m_refilling.store(false, std::memory_order_release);
    return false;
  }
  if (refill(b, f) && jump) refill(1, m_next.load(std::memory_order_relaxed));
  m_refilling.store(false, std::memory_order_release);
  return true;
}

int MovieReader::run() {
  const uint32_t n = m_header.frameCount;
  while (!m_stop.load(std::memory_order_acquire)) {
    const uint32_t wanted = m_wanted.load(std::memory_order_acquire);
    const uint32_t next = m_next.load(std::memory_order_relaxed);
    const uint32_t dueEnd = m_first[size_t(m_due)].load(std::memory_order_relaxed) +
                            m_count[size_t(m_due)].load(std::memory_order_relaxed);
    if (wanted < next && wanted >= dueEnd) {
      // The player has moved past the buffer due: it takes the next frames.
      guardedRefill(m_due, next, false);
    } else if (wanted < n && !inBuffer(0, wanted) && !inBuffer(1, wanted) &&
               !m_taking.load(std::memory_order_seq_cst)) {
      // A jump: the player wants a frame neither buffer holds.
      guardedRefill(0, wanted, true);
    }
    if (m_stop.load(std::memory_order_acquire)) break;
    std::unique_lock lock(m_wakeMutex);
    m_wakeEvent.wait_for(lock, std::chrono::milliseconds(5), [this] { return m_woken; });
    m_woken = false;
  }
  return 0;
}

bool MovieReader::frame(uint32_t f, std::span<const uint8_t>& out) {
  if (m_sizes.empty() || f >= m_header.frameCount) return false;
  m_wanted.store(f, std::memory_order_release);
  wake();
  // A real-time bound: under the virtual clock the engine's ticks stand still while we wait.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFrameWaitMs);
  bool waited = false;
  for (;;) {
    if (f < m_next.load(std::memory_order_acquire)) {
      m_taking.store(true, std::memory_order_seq_cst);
      if (!m_refilling.load(std::memory_order_seq_cst)) {
        for (int b = 0; b < 2; ++b) {
          if (!inBuffer(b, f)) continue;
          const uint32_t first = m_first[size_t(b)].load(std::memory_order_relaxed);
          const size_t at = size_t(m_offsets[f] - m_offsets[first]);
          std::memcpy(m_handout.data(), m_buffers[size_t(b)].get() + at, m_sizes[f]);
          m_handoutSize = m_sizes[f];
          break;
        }
        m_taking.store(false, std::memory_order_release);
        if (waited) ++m_waits;
        out = {m_handout.data(), m_handoutSize};
        return true;
      }
      m_taking.store(false, std::memory_order_release);
    } else if (m_over.load(std::memory_order_acquire) && f >= m_next.load(std::memory_order_acquire) &&
               !inBuffer(0, f) && !inBuffer(1, f)) {
      if (!m_started || !isRunning()) return false;  // reading has ended short of f
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    waited = true;
    platform::sleepMs(1);
  }
}

}  // namespace sorel
