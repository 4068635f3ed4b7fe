#include "engine/audio/sound_mixer.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "engine/audio/mp3_stream.h"
#include "engine/resources/sjis_text.h"
#include "platform/clock.h"

namespace sorel {
namespace {

constexpr size_t kBufferSamples = SoundMixer::kBufferBytes / 2;  // 16-bit, both sides
constexpr size_t kBufferFrames = kBufferSamples / 2;
constexpr uint32_t kOutputBytesPerSecond = SoundMixer::kOutputRate * 4;

enum class Conversion { Stereo22, Mono22, Stereo44, Mono44 };

int effectiveLevel(int fade, int requested) { return std::min(fade * requested / 100, 100); }

inline int16_t saturate(int32_t v) {
  return static_cast<int16_t>(v > 32767 ? 32767 : (v < -32768 ? -32768 : v));
}

}  // namespace

/// One sound in a slot: its source, its buffers (all allocated when it is created, so a refill
/// never allocates), levels, fade and position count.
struct SoundChannel {
  std::string name;
  Mp3Stream stream;
  int channels = 0;
  int rate = 0;
  Conversion conversion = Conversion::Stereo22;
  size_t wanted = 0;  // source bytes that make one output buffer
  std::unique_ptr<int16_t[]> mix;     // one output buffer at the output rate, stereo
  std::unique_ptr<int16_t[]> decode;  // the source's samples for one output buffer

  int state = ChannelStatus::kIdle;
  bool loop = false;

  int requested = 100;
  int fade = 100;
  int effective = 100;
  bool fadingIn = false;
  bool fadingOut = false;
  uint32_t fadeStart = 0;
  uint32_t fadeMs = 0;

  int mixCount = 0;
  uint64_t sampledPosition = 0;
  uint64_t elapsedBytes = 0;

  void recompute() { effective = effectiveLevel(fade, requested); }

  void stepFade(uint32_t now) {
    uint32_t t = now - fadeStart;
    if (fadingOut) {
      if (t >= fadeMs) {
        fade = 0;
        fadingOut = false;
        state = ChannelStatus::kStopRequested;
      } else {
        fade = static_cast<int>(100 - static_cast<uint64_t>(t) * 100 / fadeMs);
      }
      recompute();
    }
    if (fadingIn) {
      if (t >= fadeMs) {
        fade = 100;
        fadingIn = false;
      } else {
        fade = static_cast<int>(static_cast<uint64_t>(t) * 100 / fadeMs);
      }
      recompute();
    }
  }

  /// Decodes one output buffer's worth into `mix`, converted to 22050 Hz stereo; what the
  /// source does not deliver stays silent.
  void fill() {
    int16_t* out = mix.get();
    if (stream.ended()) {
      state = ChannelStatus::kIdle;
      return;
    }
    size_t got = stream.read(reinterpret_cast<uint8_t*>(decode.get()), wanted, loop);
    size_t frames = 0;
    const int16_t* src = decode.get();
    auto sample = [src](size_t i) { return static_cast<int32_t>(src[i]); };
    switch (conversion) {
      case Conversion::Stereo22:
        frames = got / 4;
        std::memcpy(out, src, frames * 4);
        break;
      case Conversion::Mono22:
        frames = got / 2;
        for (size_t i = 0; i < frames; ++i) out[2 * i] = out[2 * i + 1] = static_cast<int16_t>(sample(i));
        break;
      case Conversion::Stereo44:
        // Halving the rate: each output sample is trunc(a / 2) + trunc(b / 2) of two
        // consecutive source samples of its side.
        frames = got / 8;
        for (size_t i = 0; i < frames; ++i) {
          out[2 * i] = static_cast<int16_t>(sample(4 * i) / 2 + sample(4 * i + 2) / 2);
          out[2 * i + 1] = static_cast<int16_t>(sample(4 * i + 1) / 2 + sample(4 * i + 3) / 2);
        }
        break;
      case Conversion::Mono44:
        frames = got / 4;
        for (size_t i = 0; i < frames; ++i)
          out[2 * i] = out[2 * i + 1] = static_cast<int16_t>(sample(2 * i) / 2 + sample(2 * i + 1) / 2);
        break;
    }
    std::memset(out + 2 * frames, 0, (kBufferFrames - frames) * 4);
  }

  void mixInto(int16_t* out) const {
    const int16_t* in = mix.get();
    if (effective >= 100) {
      for (size_t i = 0; i < kBufferSamples; ++i) out[i] = saturate(int32_t{out[i]} + in[i]);
    } else {
      const int32_t level = effective;
      for (size_t i = 0; i < kBufferSamples; ++i) out[i] = saturate(int32_t{out[i]} + in[i] * level / 100);
    }
  }
};

SoundMixer::SoundMixer() : m_bufferMemory(std::make_unique<int16_t[]>(kBufferSamples * kBufferCount)) {
  for (int i = 0; i < kBufferCount; ++i) {
    auto& b = m_buffers[static_cast<size_t>(i)];
    b.data = reinterpret_cast<uint8_t*>(m_bufferMemory.get() + kBufferSamples * static_cast<size_t>(i));
    b.length = kBufferBytes;
    b.user = static_cast<uint32_t>(i);
  }
}

SoundMixer::~SoundMixer() { destroy(); }

bool SoundMixer::create() {
  destroy();
  m_closing = false;
  m_queued = 0;
  m_inFlight = 0;
  platform::WaveFormat format{kOutputRate, 2, 16};
  bool opened = m_output.open(format, &SoundMixer::onBufferDone, this) ||
                m_output.open(format, &SoundMixer::onBufferDone, this);
  std::memset(m_bufferMemory.get(), 0, kBufferBytes * kBufferCount);
  if (opened) {
    for (auto& b : m_buffers)
      if (m_output.queue(&b)) {
        ++m_queued;
        ++m_inFlight;
      }
  }
  return opened;
}

void SoundMixer::destroy() {
  m_closing = true;
  m_output.close();
  m_inFlight = 0;
  std::array<std::unique_ptr<SoundChannel>, kSlots> gone;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    for (int i = 0; i < kSlots; ++i) gone[static_cast<size_t>(i)] = std::move(m_slots[static_cast<size_t>(i)]);
  }
}

void SoundMixer::onBufferDone(void* context, platform::WaveBuffer* buffer) {
  auto* self = static_cast<SoundMixer*>(context);
  self->refill(reinterpret_cast<int16_t*>(buffer->data));
  if (self->m_closing.load()) return;
  if (self->m_output.queue(buffer)) ++self->m_queued;
  else --self->m_inFlight;  // refused: this buffer never comes back
}

SoundChannel* SoundMixer::at(int slot) {
  return slot >= 0 && slot < kSlots ? m_slots[static_cast<size_t>(slot)].get() : nullptr;
}

void SoundMixer::refill(int16_t* out) {
  std::lock_guard<std::mutex> lk(m_lock);
  std::memset(out, 0, kBufferBytes);
  const uint32_t now = platform::tickCount();
  for (auto& slot : m_slots) {
    SoundChannel* ch = slot.get();
    if (!ch) continue;
    ch->stepFade(now);
    if (ch->state == ChannelStatus::kPlaying) ch->fill();
    if (ch->state == ChannelStatus::kStopRequested) {
      slot.reset();
      continue;
    }
    if (ch->state != ChannelStatus::kPlaying) continue;
    // The third mix after start() takes the output position as the baseline of positionMs():
    // by then the first buffer holding this channel is being played.
    if (ch->mixCount++ == 0) {
      ch->sampledPosition = m_output.position();
      ch->elapsedBytes = 0;
    }
    ch->mixInto(out);
  }
}

bool SoundMixer::play(int slot, std::string_view name, std::string_view location, MlzArchive* archive,
                      int volume, int fadeInMs, bool loop, bool startNow, bool wholeFile) {
  if (slot < 0 || slot >= kSlots) return false;
  stop(slot);
  name = untilNul(name);
  if (name.size() > kMaxNameLength) return false;
  auto ch = std::make_unique<SoundChannel>();
  if (!openSoundSource(ch->stream, name, location, archive, wholeFile)) return false;
  ch->channels = ch->stream.channels();
  ch->rate = ch->stream.rate();
  bool mono = ch->channels == 1;
  if (ch->rate == 22050) {
    ch->conversion = mono ? Conversion::Mono22 : Conversion::Stereo22;
    ch->wanted = mono ? kBufferBytes / 2 : kBufferBytes;
  } else if (ch->rate == 44100) {
    ch->conversion = mono ? Conversion::Mono44 : Conversion::Stereo44;
    ch->wanted = mono ? kBufferBytes : kBufferBytes * 2;
  } else {
    return false;  // the mixer converts only these two rates
  }
  ch->stream.estimate();
  ch->name = std::string(name);
  ch->mix = std::make_unique<int16_t[]>(kBufferSamples);
  ch->decode = std::make_unique<int16_t[]>(kBufferBytes);  // 44100 Hz stereo: two buffers' bytes
  if (volume >= 0 && volume <= 100) ch->requested = volume;
  ch->recompute();
  if (fadeInMs > 0) {
    ch->fade = 0;
    ch->fadingIn = true;
    ch->fadeStart = platform::tickCount();
    ch->fadeMs = static_cast<uint32_t>(fadeInMs);
    ch->recompute();
  }
  {
    std::lock_guard<std::mutex> lk(m_lock);
    m_slots[static_cast<size_t>(slot)] = std::move(ch);
  }
  if (startNow) start(slot, loop);
  return true;
}

void SoundMixer::start(int slot, bool loop) {
  std::lock_guard<std::mutex> lk(m_lock);
  SoundChannel* ch = at(slot);
  if (!ch || ch->state == ChannelStatus::kPlaying) return;
  ch->state = ChannelStatus::kPlaying;
  ch->loop = loop;
  ch->mixCount = -2;
  ch->sampledPosition = 0;
  ch->elapsedBytes = 0;
}

void SoundMixer::stop(int slot) {
  if (slot < 0 || slot >= kSlots) return;
  std::unique_ptr<SoundChannel> gone;
  {
    std::lock_guard<std::mutex> lk(m_lock);
    gone = std::move(m_slots[static_cast<size_t>(slot)]);
  }
  // The channel is freed here, outside the lock, so a refill is not held up by it.
}

void SoundMixer::stopAll() {
  for (int i = 0; i < kSlots; ++i) stop(i);
}

bool SoundMixer::isPlaying(int slot) {
  std::lock_guard<std::mutex> lk(m_lock);
  SoundChannel* ch = at(slot);
  return ch && ch->state == ChannelStatus::kPlaying && !ch->stream.ended() && outputFed();
}

bool SoundMixer::hasChannel(int slot) {
  std::lock_guard<std::mutex> lk(m_lock);
  return at(slot) != nullptr;
}

std::optional<ChannelStatus> SoundMixer::status(int slot) {
  std::lock_guard<std::mutex> lk(m_lock);
  SoundChannel* ch = at(slot);
  if (!ch) return std::nullopt;
  ChannelStatus s;
  s.name = ch->name;
  s.state = ch->state;
  s.loop = ch->loop;
  s.requestedLevel = ch->requested;
  s.fadeLevel = ch->fade;
  s.effectiveLevel = ch->effective;
  s.fadingIn = ch->fadingIn;
  s.fadingOut = ch->fadingOut;
  s.channels = ch->channels;
  s.rate = ch->rate;
  return s;
}

void SoundMixer::setVolume(int slot, int level) {
  std::lock_guard<std::mutex> lk(m_lock);
  SoundChannel* ch = at(slot);
  if (!ch) return;
  if (level >= 0 && level <= 100) ch->requested = level;
  ch->recompute();
}

void SoundMixer::fadeIn(int slot, int ms) {
  std::lock_guard<std::mutex> lk(m_lock);
  SoundChannel* ch = at(slot);
  if (!ch) return;
  ch->fade = 0;
  ch->fadingIn = true;
  ch->fadingOut = false;
  ch->fadeStart = platform::tickCount();
  ch->fadeMs = ms > 0 ? static_cast<uint32_t>(ms) : 0;
  ch->recompute();
}

void SoundMixer::fadeOut(int slot, int ms) {
  std::lock_guard<std::mutex> lk(m_lock);
  SoundChannel* ch = at(slot);
  if (!ch) return;
  ch->fade = 100;
  ch->fadingOut = true;
  ch->fadingIn = false;
  ch->fadeStart = platform::tickCount();
  ch->fadeMs = ms > 0 ? static_cast<uint32_t>(ms) : 0;
  ch->recompute();
}

int32_t SoundMixer::positionMs(int slot) {
  std::lock_guard<std::mutex> lk(m_lock);
  SoundChannel* ch = at(slot);
  if (!ch || ch->state != ChannelStatus::kPlaying || !outputFed()) return -1;
  if (ch->mixCount <= 0) return 0;
  uint64_t now = m_output.position();
  if (now > ch->sampledPosition) ch->elapsedBytes += now - ch->sampledPosition;
  ch->sampledPosition = now;
  return static_cast<int32_t>(ch->elapsedBytes * 1000 / kOutputBytesPerSecond);
}

void SoundMixer::setDeviceVolume(uint32_t v) {
  uint16_t level = static_cast<uint16_t>(std::min<uint32_t>(v, 65535));
  m_output.setVolume(level, level);
}

}  // namespace sorel
