#pragma once
// The handheld's wave output: a PCM device that plays buffers queued by the caller in order and
// hands each one back through a completion callback that runs on the output's own thread.
//
// Two implementations sit behind this one interface:
// - a sound device through SDL2 audio (the queued bytes are handed to SDL, and a thread watching
//   how much SDL still holds reports each buffer as finished once it has been played);
// - a paced output without a device (headless runs, or no usable sound device): a thread takes
//   each buffer when the clock (platform/clock.h) says it has been played, so sound keeps real
//   time, and under the virtual clock exactly as fast as that clock is advanced.
// Either may capture what it played into a WAV file (AudioConfig::captureHostPath).
#include <cstdint>
#include <memory>

namespace platform {

/// One buffer handed to the device (the wave header of the device's interface). The caller
/// owns the memory and must not touch it between queue() and its completion.
struct WaveBuffer {
  uint8_t* data = nullptr;
  uint32_t length = 0;  ///< bytes; a whole number of sample frames
  uint32_t user = 0;    ///< free for the caller (the mixer keeps the buffer's index here)
};

/// Called on the output thread once per finished buffer, in queue order. It may queue buffers
/// again (also the one it was given) but must not call close().
using WaveDoneCallback = void (*)(void* context, WaveBuffer* buffer);

struct WaveFormat {
  uint32_t sampleRate = 22050;
  uint16_t channels = 2;
  uint16_t bitsPerSample = 16;
  uint32_t blockAlign() const { return channels * (bitsPerSample / 8u); }
  uint32_t bytesPerSecond() const { return sampleRate * blockAlign(); }
};

class WaveOut {
 public:
  /// How many buffers may wait in the device at once; queue() refuses more.
  static constexpr int kMaxQueued = 16;

  WaveOut();
  ~WaveOut();  ///< closes
  WaveOut(const WaveOut&) = delete;
  WaveOut& operator=(const WaveOut&) = delete;

  /// Opens the output for 16-bit PCM in the given format and starts its thread. Follows
  /// audioConfig(): headless runs never touch a sound device; otherwise a device is used when
  /// one is available, else the paced output keeps the timing without sound. False only for a
  /// format it cannot play (not 16-bit, no channels, no rate) or when already open.
  bool open(const WaveFormat& format, WaveDoneCallback callback, void* context);
  bool isOpen() const;
  /// True when a real sound device plays the buffers (false for the paced output).
  bool hasDevice() const;

  /// Appends a buffer to the play queue. False when not open, the queue is full, or the length
  /// is not a whole number of sample frames.
  bool queue(WaveBuffer* buffer);

  /// Bytes played since open (64-bit: no wrap-around).
  uint64_t position() const;

  /// Device volume, 0..65535 per side. The capture keeps the bytes as queued; only what is
  /// heard is scaled.
  void setVolume(uint16_t left, uint16_t right);
  uint32_t volume() const;  ///< left in the low word, right in the high word

  /// Stops the thread (waiting for a callback in progress to return), drops buffers still
  /// queued without calling back for them, closes the device and completes the capture file.
  /// After close() no callback runs. Safe to call when not open.
  void close();

  /// For repeatable runs under the virtual clock: waits until the output has finished every
  /// buffer that is due at the current tick and its callbacks have returned. True when that
  /// happened within timeoutMs of real time (always true with nothing queued).
  bool waitCaughtUp(uint32_t timeoutMs = 5000);

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

}  // namespace platform
