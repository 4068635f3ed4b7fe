#pragma once
// The engine's software mixer: 64 channel slots mixed into one 22050 Hz stereo 16-bit wave
// output. All decoding and mixing happens in the output's completion callback, one 10240-byte
// buffer (about 116 ms) at a time under the mixer's one lock; the game thread only starts,
// stops, fades and re-levels channels and asks for positions.
//
// Slots used by the game: 0 music (or a movie's sound track), 2 scenario voice, 4 and 5 looping
// effects, 6 and 7 one-shot effects, 10 system voice.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/wave_out.h"

namespace sorel {

class MlzArchive;
struct SoundChannel;

/// What the game may ask about one slot's channel.
struct ChannelStatus {
  enum State : int { kIdle = 0, kPlaying = 1, kStopRequested = 3 };
  std::string name;
  int state = kIdle;
  bool loop = false;
  int requestedLevel = 100;  ///< 0..100
  int fadeLevel = 100;       ///< 0..100, 100 when not fading
  int effectiveLevel = 100;  ///< min(fade × requested / 100, 100)
  bool fadingIn = false;
  bool fadingOut = false;
  int channels = 0;
  int rate = 0;
};

class SoundMixer {
 public:
  static constexpr int kSlots = 64;
  static constexpr uint32_t kOutputRate = 22050;
  static constexpr uint32_t kBufferBytes = 10240;  ///< 2560 stereo frames
  static constexpr int kBufferCount = 3;
  /// Longest sound name play() accepts.
  static constexpr size_t kMaxNameLength = 63;

  SoundMixer();
  ~SoundMixer();  ///< destroy()
  SoundMixer(const SoundMixer&) = delete;
  SoundMixer& operator=(const SoundMixer&) = delete;

  /// Opens the wave output (trying twice) and queues three buffers of silence so that output
  /// starts at once. Without an output the mixer still works and nothing is heard. Returns
  /// whether the output opened.
  bool create();
  /// Closes the output (no refill runs after this returns) and destroys every channel.
  void destroy();

  /// Stops the slot, then opens the named MP3 source (see openSoundSource in mp3_stream.h) in a
  /// new channel at the given volume (0..100), fading in over fadeInMs when positive, and
  /// starts it when startNow is set. False, with the slot empty, when the slot is out of range,
  /// the name is longer than kMaxNameLength, the source cannot be opened, or its format is not
  /// 22050 or 44100 Hz.
  bool play(int slot, std::string_view name, std::string_view location, MlzArchive* archive, int volume,
            int fadeInMs, bool loop, bool startNow, bool wholeFile);
  /// Starts a prepared (or finished) channel: playing, with the loop flag given and its
  /// position count reset. Nothing when the slot is empty or already playing.
  void start(int slot, bool loop);
  /// Destroys the slot's channel and empties the slot at once (under the lock; never waits for
  /// the output).
  void stop(int slot);
  void stopAll();

  /// True when the slot's channel plays, its source has not ended and the output is being fed
  /// (without an output, or once it refused a buffer and has none left to play, nothing can
  /// play and waiting for a sound must not hang).
  bool isPlaying(int slot);
  bool hasChannel(int slot);
  std::optional<ChannelStatus> status(int slot);

  /// Sets the requested level when 0 ≤ level ≤ 100 (other values only recompute the effective
  /// level). Takes effect from the next refill.
  void setVolume(int slot, int level);
  /// Fades the channel in from silence, or out to its end (it is then destroyed), over ms
  /// milliseconds of the engine clock.
  void fadeIn(int slot, int ms);
  void fadeOut(int slot, int ms);

  /// −1 when the slot is empty, its channel is not playing or the output is not fed; 0 until the third refill after
  /// start() has taken its baseline; else the milliseconds the output has played since.
  int32_t positionMs(int slot);

  /// Device volume min(v, 65535) for both sides.
  void setDeviceVolume(uint32_t v);
  /// The device volume: left in the low word, right in the high word.
  uint32_t deviceVolume() const { return m_output.volume(); }

  /// One refill: fills `out` (kBufferBytes) with the mix of every channel, stepping fades and
  /// destroying channels whose stop was requested. The output's completion callback calls it;
  /// it is public so that a benchmark can drive the mixer without an output. Never allocates.
  void refill(int16_t* out);

  bool outputOpen() const { return m_output.isOpen(); }
  /// True when a sound device plays the output (false for the paced output).
  bool outputHasDevice() const { return m_output.hasDevice(); }
  /// True while the output holds buffers that will come back for refills.
  bool outputFed() const { return m_inFlight.load() > 0 && !m_closing.load(); }
  /// Buffers queued to the output since create(), the three of silence included.
  uint64_t queuedCount() const { return m_queued.load(); }
  /// Waits until the output has finished every buffer due at the current tick (virtual-clock
  /// runs: keeps sound in step with the clock). True when it did within timeoutMs.
  bool syncOutput(uint32_t timeoutMs = 5000) { return m_output.waitCaughtUp(timeoutMs); }

 private:
  static void onBufferDone(void* context, platform::WaveBuffer* buffer);
  SoundChannel* at(int slot);

  platform::WaveOut m_output;
  std::unique_ptr<int16_t[]> m_bufferMemory;
  std::array<platform::WaveBuffer, kBufferCount> m_buffers{};
  std::atomic<bool> m_closing{false};
  std::atomic<uint64_t> m_queued{0};
  std::atomic<int> m_inFlight{0};  // buffers the output holds
  std::array<std::unique_ptr<SoundChannel>, kSlots> m_slots;
  std::mutex m_lock;
};

}  // namespace sorel
