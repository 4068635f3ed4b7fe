#pragma once
// The streaming reader of a .jmv movie: the header and the index in memory, the frames read on
// a thread of its own into two buffers that run ahead of the player, so that the main thread
// never waits for the card except after a jump.
//
// The reader thread refills only a buffer the player has moved past (or both, for a jump, when
// the player is not taking a frame); the player waits in 1 ms sleeps for a frame not read yet,
// at most kFrameWaitMs. The two sides meet through atomics: the next frame to read and the buffer
// records are published with release stores and read with acquire loads, and the "taking" and
// "refilling" flags form a sequentially consistent handshake, so that a buffer is never
// refilled while the player copies a frame out of it.
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/resources/worker_thread.h"

namespace sorel {

/// Why a movie is refused at open. Every one of them leaves no movie.
enum class MovieRefusal {
  None,
  NoFile,               ///< the file does not exist or cannot be read
  Truncated,            ///< shorter than the header
  FrameCount,           ///< no frames, or more index entries than the file can hold
  ZeroFps,              ///< a rate of 0 frames per second
  FrameSize,            ///< a frame side of 0
  TooManyMacroblocks,   ///< more than 600 macroblocks per frame
  FrameOutsideFile,     ///< a frame's offset plus size lies past the end of the file
  FramesNotBackToBack,  ///< a frame does not start where the one before it ends
  FrameTooLarge,        ///< a frame larger than a reader buffer
  DoesNotFitScreen,     ///< the frame (doubled in VGA mode) is larger than the screen
  NoThread,             ///< the reader thread could not be started
};

/// One line for a refusal (for tools and tests).
const char* movieRefusalText(MovieRefusal refusal);

/// The header words the player reads.
struct MovieHeader {
  uint32_t frameCount = 0;
  uint32_t fps = 0;
  uint32_t width = 0;
  uint32_t height = 0;
};

/// Reads and checks the header and index of a movie image (the whole file or at least its
/// header and index) of fileSize bytes. The index is never trusted: see MovieRefusal. On
/// success fills header, and sizes and fileOffsets (absolute) per frame.
MovieRefusal parseMovieIndex(std::span<const uint8_t> headerAndIndex, uint64_t fileSize, MovieHeader& header,
                             std::vector<uint32_t>& sizes, std::vector<uint64_t>& fileOffsets);

class MovieReader : private WorkerThread {
 public:
  /// How long the player waits for a frame before it gives the movie up.
  static constexpr uint32_t kFrameWaitMs = 1000;

  MovieReader() = default;
  ~MovieReader() override;  ///< stop()

  /// Reads and checks the header and index of the file at a system path and fills both buffers
  /// (frames 0 and on). bufferSize is the size of each buffer for frames narrower than 640; it
  /// is four times as large for wider ones. Nothing is kept on a refusal.
  MovieRefusal open(std::string_view path, uint32_t bufferSize);
  /// Starts the reader thread; false when it cannot be started.
  bool start();
  /// Sets the stop flag, wakes the thread and waits for it without a time limit; then frees the
  /// buffers and the index. Safe to call twice.
  void stop();

  /// Player thread: the bytes of frame f (f < frameCount()), valid until the next call. Waits in
  /// 1 ms sleeps while f has not been read, at most kFrameWaitMs; a frame that lies in neither
  /// buffer (behind the player) gives the frame handed out last. False when reading has ended
  /// without reaching f or the wait ran out: the movie cannot go on.
  bool frame(uint32_t f, std::span<const uint8_t>& out);

  const MovieHeader& header() const { return m_header; }
  uint32_t frameCount() const { return m_header.frameCount; }
  uint32_t bufferSize() const { return m_bufferSize; }
  uint32_t frameBytes(uint32_t f) const { return f < m_sizes.size() ? m_sizes[f] : 0; }
  /// Refills done so far (both buffers at open count; a jump counts two).
  uint32_t refills() const { return m_refills.load(std::memory_order_relaxed); }
  /// Times the player found the frame it wanted not read yet and had to wait.
  uint32_t waits() const { return m_waits; }

 private:
  int run() override;
  /// Fills buffer b from frame f (at most two frames that fit together). False when it took no
  /// frame or the file could not be read: reading ends.
  bool refill(int b, uint32_t f);
  /// The reader thread's refill under the handshake; false when the player was taking a frame.
  bool guardedRefill(int b, uint32_t f, bool jump);
  void wake();
  bool inBuffer(int b, uint32_t f) const;

  std::string m_path;
  MovieHeader m_header;
  std::vector<uint32_t> m_sizes;
  std::vector<uint64_t> m_offsets;
  uint32_t m_bufferSize = 0;
  std::array<std::unique_ptr<uint8_t[]>, 2> m_buffers;
  std::array<std::atomic<uint32_t>, 2> m_first{};  ///< first frame each buffer holds
  std::array<std::atomic<uint32_t>, 2> m_count{};  ///< frames each buffer holds
  int m_due = 0;                                   ///< buffer to refill next (reader side)
  std::vector<uint8_t> m_handout;                  ///< the frame handed out last (player side)
  size_t m_handoutSize = 0;
  uint32_t m_waits = 0;

  std::atomic<uint32_t> m_next{0};    ///< next frame to read
  std::atomic<uint32_t> m_wanted{0};  ///< the frame the player wants
  std::atomic<bool> m_taking{false};
  std::atomic<bool> m_refilling{false};
  std::atomic<bool> m_stop{false};
  std::atomic<bool> m_over{false};  ///< reading has ended (all read, or a read failed)
  std::atomic<uint32_t> m_refills{0};
  bool m_started = false;

  std::mutex m_wakeMutex;
  std::condition_variable m_wakeEvent;
  bool m_woken = false;
};

}  // namespace sorel
