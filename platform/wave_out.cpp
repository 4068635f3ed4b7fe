#include "platform/wave_out.h"

#include <SDL.h>
#include <sys/stat.h>

#include <array>
#include <atomic>
#include <chrono>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/audio_config.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace platform {
namespace {

constexpr uint32_t kFullVolume = 0xFFFFFFFFu;
constexpr size_t kWavHeaderBytes = 44;

void putU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
void putU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

/// The canonical 44-byte header of a PCM WAVE file holding dataBytes of samples.
std::array<uint8_t, kWavHeaderBytes> wavHeader(const WaveFormat& f, uint64_t dataBytes) {
  // RIFF sizes are 32-bit: a capture longer than that keeps the largest size the field holds.
  uint32_t data = dataBytes > 0xFFFFFFFFull - 36 ? 0xFFFFFFFFu - 36 : static_cast<uint32_t>(dataBytes);
  std::array<uint8_t, kWavHeaderBytes> h{};
  std::memcpy(&h[0], "RIFF", 4);
  putU32(&h[4], 36 + data);
  std::memcpy(&h[8], "WAVE", 4);
  std::memcpy(&h[12], "fmt ", 4);
  putU32(&h[16], 16);
  putU16(&h[20], 1);  // PCM
  putU16(&h[22], f.channels);
  putU32(&h[24], f.sampleRate);
  putU32(&h[28], f.bytesPerSecond());
  putU16(&h[32], static_cast<uint16_t>(f.blockAlign()));
  putU16(&h[34], f.bitsPerSample);
  std::memcpy(&h[36], "data", 4);
  putU32(&h[40], data);
  return h;
}

bool pathExists(const std::string& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0;
}

/// The SDL audio driver to use when the user has not chosen one, or none when this machine has
/// no sound server or card. Choosing up front keeps SDL (and ALSA below it) from trying every
/// driver and printing its failures.
const char* pickSdlDriver() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string dir = runtime ? runtime : "";
  const char* pulse = std::getenv("PULSE_SERVER");
  if ((pulse && *pulse) || (!dir.empty() && pathExists(dir + "/pulse/native"))) return "pulseaudio";
  if (!dir.empty() && pathExists(dir + "/pipewire-0")) return "pipewire";
  if (pathExists("/dev/snd/controlC0")) return "alsa";
  return nullptr;
}

}  // namespace

struct WaveOut::Impl {
  enum class Backend { Paced, Sdl };

  WaveFormat format;
  WaveDoneCallback callback = nullptr;
  void* context = nullptr;
  Backend backend = Backend::Paced;
  bool opened = false;
  int accepted = 0;  // buffers taken since open (AudioConfig::acceptBuffers)

  mutable std::mutex lock;
  std::condition_variable wake;      // the thread: a buffer, a sync request or close
  std::condition_variable progress;  // waitCaughtUp
  std::array<WaveBuffer*, kMaxQueued> ring{};
  std::array<uint64_t, kMaxQueued> sdlEnd{};  // SDL backend: queued total at each buffer's end
  int head = 0;
  int count = 0;
  bool stop = false;
  bool inCallback = false;
  std::thread thread;

  uint64_t played = 0;  // bytes of finished buffers
  // Paced backend: the output has played originBytes + (now - originTick) worth of bytes while
  // it was never starved since originTick.
  uint32_t originTick = 0;
  uint64_t originBytes = 0;

  uint64_t syncRequested = 0;
  uint64_t syncServed = 0;

  std::atomic<uint32_t> volume{kFullVolume};

  SDL_AudioDeviceID sdlDevice = 0;
  uint64_t sdlQueued = 0;
  std::vector<int16_t> scaled;  // volume-scaled copy handed to SDL

  OutputFile capture;
  bool capturing = false;
  uint64_t captureBytes = 0;

  void serveSync() {
    if (syncServed != syncRequested) {
      syncServed = syncRequested;
      progress.notify_all();
    }
  }

  /// Milliseconds from originTick at which the first `bytes` after originBytes have played.
  uint64_t msForBytes(uint64_t bytes) const {
    uint64_t bps = format.bytesPerSecond();
    return (bytes * 1000 + bps - 1) / bps;
  }

  void finishFront(std::unique_lock<std::mutex>& lk) {
    WaveBuffer* b = ring[static_cast<size_t>(head)];
    head = (head + 1) % kMaxQueued;
    --count;
    played += b->length;
    inCallback = true;
    lk.unlock();
    if (capturing) {
      if (!capture.write(b->data, b->length)) capturing = false;
      captureBytes += b->length;
    }
    if (callback) callback(context, b);
    lk.lock();
    inCallback = false;
  }

  void runPaced() {
    std::unique_lock<std::mutex> lk(lock);
    while (!stop) {
      if (count == 0) {
        serveSync();
        wake.wait(lk, [&] { return stop || count > 0 || syncRequested != syncServed; });
        continue;
      }
      WaveBuffer* b = ring[static_cast<size_t>(head)];
      uint64_t due = msForBytes(played + b->length - originBytes);
      uint32_t elapsed = tickCount() - originTick;
      if (elapsed >= due) {
        finishFront(lk);
        continue;
      }
      serveSync();
      // The virtual clock gives no notice when it moves: look again after a millisecond (a
      // sync request wakes the thread at once).
      auto wait = clockMode() == ClockMode::Virtual ? std::chrono::milliseconds(1)
                                                     : std::chrono::milliseconds(due - elapsed);
      uint64_t seen = syncRequested;
      wake.wait_for(lk, wait, [&] { return stop || syncRequested != seen; });
    }
  }

  void runSdl() {
    std::unique_lock<std::mutex> lk(lock);
    while (!stop) {
      if (count == 0) {
        serveSync();
        wake.wait(lk, [&] { return stop || count > 0 || syncRequested != syncServed; });
        continue;
      }
      uint64_t playedSdl = sdlQueued - SDL_GetQueuedAudioSize(sdlDevice);
      if (playedSdl >= sdlEnd[static_cast<size_t>(head)]) {
        finishFront(lk);
        continue;
      }
      serveSync();
      // Look again when the device should have taken the rest of this buffer, then every 2 ms
      // (it takes the queue in steps of its own buffer); not every 2 ms throughout, which kept
      // the processor awake 500 times a second. A sync request wakes the thread at once.
      const uint64_t left = sdlEnd[static_cast<size_t>(head)] - playedSdl;
      const auto wait = std::chrono::milliseconds(std::clamp<uint64_t>(msForBytes(left), 2, 50));
      uint64_t seen = syncRequested;
      wake.wait_for(lk, wait, [&] { return stop || syncRequested != seen; });
    }
  }

  bool openSdl() {
    const char* chosen = std::getenv("SDL_AUDIODRIVER");
    if (!chosen || !*chosen) {
      const char* driver = pickSdlDriver();
      if (!driver) return false;
      ::setenv("SDL_AUDIODRIVER", driver, 1);
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    SDL_AudioSpec want{};
    SDL_AudioSpec have{};
    want.freq = static_cast<int>(format.sampleRate);
    want.format = AUDIO_S16LSB;
    want.channels = static_cast<uint8_t>(format.channels);
    want.samples = 1024;
    want.callback = nullptr;  // queue mode: SDL_QueueAudio
    sdlDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (sdlDevice == 0) {
      SDL_QuitSubSystem(SDL_INIT_AUDIO);
      return false;
    }
    SDL_PauseAudioDevice(sdlDevice, 0);
    return true;
  }

  void closeSdl() {
    if (sdlDevice == 0) return;
    SDL_CloseAudioDevice(sdlDevice);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    sdlDevice = 0;
  }

  void openCapture() {
    const std::string& host = audioConfig().captureHostPath;
    capturing = false;
    captureBytes = 0;
    if (host.empty()) return;
    auto system = systemPath(host);
    if (!system || !capture.create(*system)) {
      std::fprintf(stderr, "audio capture: cannot write %s\n", host.c_str());
      return;
    }
    auto header = wavHeader(format, 0);
    capturing = capture.write(header.data(), header.size());
  }

  void closeCapture() {
    if (!capturing) {
      capture.abandon();
      return;
    }
    auto header = wavHeader(format, captureBytes);
    if (!capture.writeAt(0, header.data(), header.size()) || !capture.commit())
      std::fprintf(stderr, "audio capture: cannot complete %s\n", audioConfig().captureHostPath.c_str());
    capturing = false;
  }
};

WaveOut::WaveOut() : m_impl(std::make_unique<Impl>()) {}

WaveOut::~WaveOut() { close(); }

bool WaveOut::open(const WaveFormat& format, WaveDoneCallback callback, void* context) {
  Impl& d = *m_impl;
  if (d.opened || format.bitsPerSample != 16 || format.channels == 0 || format.sampleRate == 0)
    return false;
  d.format = format;
  d.callback = callback;
  d.context = context;
  d.head = d.count = 0;
  d.accepted = 0;
  d.stop = false;
  d.played = 0;
  d.sdlQueued = 0;
  d.volume.store(kFullVolume);
  d.backend = Impl::Backend::Paced;
  if (!audioConfig().headless && d.openSdl()) d.backend = Impl::Backend::Sdl;
  d.originTick = tickCount();
  d.originBytes = 0;
  d.openCapture();
  d.opened = true;
  if (d.backend == Impl::Backend::Sdl)
    d.thread = std::thread([&d] { d.runSdl(); });
  else
    d.thread = std::thread([&d] { d.runPaced(); });
  return true;
}

bool WaveOut::isOpen() const { return m_impl->opened; }

bool WaveOut::hasDevice() const { return m_impl->opened && m_impl->backend == Impl::Backend::Sdl; }

bool WaveOut::queue(WaveBuffer* buffer) {
  Impl& d = *m_impl;
  std::lock_guard<std::mutex> lk(d.lock);
  if (!d.opened || d.stop || !buffer || d.count >= kMaxQueued || buffer->length == 0 ||
      buffer->length % d.format.blockAlign() != 0)
    return false;
  int limit = audioConfig().acceptBuffers;
  if (limit > 0 && d.accepted >= limit) return false;
  ++d.accepted;
  size_t at = static_cast<size_t>((d.head + d.count) % kMaxQueued);
  if (d.backend == Impl::Backend::Sdl) {
    const void* bytes = buffer->data;
    uint32_t vol = d.volume.load(std::memory_order_relaxed);
    if (vol != kFullVolume) {
      // The device volume scales what is heard; the capture and the caller's buffer keep the
      // mixer's bytes.
      size_t samples = buffer->length / 2;
      if (d.scaled.size() < samples) d.scaled.resize(samples);
      int32_t left = static_cast<int32_t>(vol & 0xFFFF);
      int32_t right = static_cast<int32_t>(vol >> 16);
      for (size_t i = 0; i < samples; ++i) {
        int16_t s;
        std::memcpy(&s, buffer->data + 2 * i, 2);
        int32_t level = (d.format.channels == 2 && (i & 1)) ? right : left;
        d.scaled[i] = static_cast<int16_t>(s * level / 65535);
      }
      bytes = d.scaled.data();
    }
    if (SDL_QueueAudio(d.sdlDevice, bytes, buffer->length) != 0) return false;
    d.sdlQueued += buffer->length;
    d.sdlEnd[at] = d.sdlQueued;
  } else if (d.count == 0 && !d.inCallback) {
    // The output ran dry (or never started): the new buffer starts playing now. A buffer queued
    // from the completion callback follows the one just finished without a gap.
    uint64_t sinceOrigin = d.played - d.originBytes;
    uint32_t elapsed = tickCount() - d.originTick;
    if (elapsed >= d.msForBytes(sinceOrigin)) {
      d.originTick = tickCount();
      d.originBytes = d.played;
    }
  }
  d.ring[at] = buffer;
  ++d.count;
  d.wake.notify_all();
  return true;
}

uint64_t WaveOut::position() const {
  const Impl& d = *m_impl;
  std::lock_guard<std::mutex> lk(d.lock);
  if (!d.opened) return d.played;
  if (d.backend == Impl::Backend::Sdl) return d.sdlQueued - SDL_GetQueuedAudioSize(d.sdlDevice);
  if (d.count == 0) return d.played;
  // Part of the buffer in play, by the clock.
  uint64_t elapsed = tickCount() - d.originTick;
  uint64_t byClock = elapsed * d.format.bytesPerSecond() / 1000;
  byClock -= byClock % d.format.blockAlign();
  uint64_t done = d.played - d.originBytes;
  if (byClock <= done) return d.played;
  uint64_t partial = byClock - done;
  uint32_t current = d.ring[static_cast<size_t>(d.head)]->length;
  return d.played + (partial < current ? partial : current);
}

void WaveOut::setVolume(uint16_t left, uint16_t right) {
  m_impl->volume.store(static_cast<uint32_t>(left) | (static_cast<uint32_t>(right) << 16));
}

uint32_t WaveOut::volume() const { return m_impl->volume.load(); }

void WaveOut::close() {
  Impl& d = *m_impl;
  {
    std::lock_guard<std::mutex> lk(d.lock);
    if (!d.opened) return;
    d.stop = true;
  }
  d.wake.notify_all();
  if (d.thread.joinable()) d.thread.join();
  d.closeSdl();
  d.closeCapture();
  std::lock_guard<std::mutex> lk(d.lock);
  d.count = 0;
  d.head = 0;
  d.opened = false;
  d.serveSync();
}

bool WaveOut::waitCaughtUp(uint32_t timeoutMs) {
  Impl& d = *m_impl;
  std::unique_lock<std::mutex> lk(d.lock);
  if (!d.opened || d.stop) return true;
  uint64_t ticket = ++d.syncRequested;
  d.wake.notify_all();
  return d.progress.wait_for(lk, std::chrono::milliseconds(timeoutMs),
                             [&] { return d.syncServed >= ticket || !d.opened; });
}

}  // namespace platform
