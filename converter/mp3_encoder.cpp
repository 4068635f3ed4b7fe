#include "converter/mp3_encoder.h"

#include <lame/lame.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <shared_mutex>

namespace sorel {

namespace {

constexpr int kMpeg1Bitrates[] = {32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
constexpr int kMpeg2Bitrates[] = {8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};

/// Frames handed to the encoder per call: the output for one piece is bounded (LAME's own
/// rule: 1.25 × samples + 7200 bytes), so the output grows piece by piece and is never overrun.
constexpr int kPieceFrames = 32768;
constexpr size_t kFlushBytes = 7200;

/// LAME keeps some tables for the whole process (the quantiser's power tables, the fast
/// logarithm) and fills them again in lame_init_params of every new encoder, while encoders on
/// other threads read them. Setting an encoder up therefore waits until no encoder is encoding,
/// and holds new encoding back meanwhile (so that it is not starved); encoders that only encode
/// run side by side.
class TableGate {
 public:
  // The standard library's lock names, so that std::unique_lock and std::shared_lock take it.
  void lock_shared() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_writing && m_waitingWriters == 0; });
    ++m_readers;
  }
  void unlock_shared() {
    std::lock_guard lock(m_mutex);
    if (--m_readers == 0) m_changed.notify_all();
  }
  void lock() {
    std::unique_lock lock(m_mutex);
    ++m_waitingWriters;
    m_changed.wait(lock, [&] { return !m_writing && m_readers == 0; });
    --m_waitingWriters;
    m_writing = true;
  }
  void unlock() {
    std::lock_guard lock(m_mutex);
    m_writing = false;
    m_changed.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_readers = 0;
  int m_waitingWriters = 0;
  bool m_writing = false;
};

TableGate& tableGate() {
  static TableGate gate;  // one for the process, as LAME's tables are
  return gate;
}

/// Owns one LAME context.
struct Lame {
  lame_t gf = nullptr;
  ~Lame() {
    if (gf) lame_close(gf);
  }
};

}  // namespace

std::span<const int> mp3Bitrates(int rate) {
  switch (rate) {
    case 32000: case 44100: case 48000: return kMpeg1Bitrates;
    case 16000: case 22050: case 24000: return kMpeg2Bitrates;
    default: return {};
  }
}

int nearestMp3Bitrate(int kbps, int rate) {
  int best = 0;
  for (int b : mp3Bitrates(rate))
    if (best == 0 || std::abs(b - kbps) < std::abs(best - kbps)) best = b;
  return best;
}

bool Mp3EncoderModule::load() {
  const char* v = get_lame_version();
  m_loaded = v != nullptr && *v != '\0';
  return m_loaded;
}

std::string Mp3EncoderModule::version() const {
  if (!m_loaded) return {};
  return std::string("LAME ") + get_lame_version();
}

std::optional<std::vector<uint8_t>> Mp3EncoderModule::encode(std::span<const int16_t> pcm, const PcmFormat& format,
                                                             int kbps) {
  if (!m_loaded || format.channels < 1 || format.channels > 2) return std::nullopt;
  auto allowed = mp3Bitrates(format.rate);
  // LAME would quietly pick another bitrate; an encoder that cannot honour its settings
  // refuses them instead, and the caller chooses.
  if (std::find(allowed.begin(), allowed.end(), kbps) == allowed.end()) return std::nullopt;

  Lame lame;
  std::unique_lock setUp(tableGate());
  lame.gf = lame_init();
  if (!lame.gf) return std::nullopt;
  lame_t gf = lame.gf;
  lame_set_num_channels(gf, format.channels);
  lame_set_in_samplerate(gf, format.rate);
  lame_set_out_samplerate(gf, format.rate);
  lame_set_mode(gf, format.channels == 2 ? JOINT_STEREO : MONO);
  lame_set_VBR(gf, vbr_off);
  lame_set_brate(gf, kbps);
  // A plain stream: the engine's decoder takes every frame as sound, so no Info frame first and
  // no tags.
  lame_set_bWriteVbrTag(gf, 0);
  lame_set_write_id3tag_automatic(gf, 0);
  if (lame_init_params(gf) < 0 || lame_get_brate(gf) != kbps || lame_get_out_samplerate(gf) != format.rate)
    return std::nullopt;
  setUp.unlock();

  const size_t channels = static_cast<size_t>(format.channels);
  const size_t frames = pcm.size() / channels;
  std::vector<uint8_t> out;
  out.reserve(frames * static_cast<size_t>(kbps) * 125 / static_cast<size_t>(format.rate) + kFlushBytes);
  std::vector<int16_t> piece;  // the interleaved call takes non-const samples
  for (size_t at = 0; at < frames; at += kPieceFrames) {
    const int n = static_cast<int>(std::min<size_t>(kPieceFrames, frames - at));
    const size_t room = static_cast<size_t>(n) * 5 / 4 + kFlushBytes;
    const size_t used = out.size();
    out.resize(used + room);
    const int16_t* src = pcm.data() + at * channels;
    if (channels == 2) piece.assign(src, src + static_cast<size_t>(n) * 2);
    std::shared_lock encoding(tableGate());
    const int written =
        channels == 2 ? lame_encode_buffer_interleaved(gf, piece.data(), n, out.data() + used, static_cast<int>(room))
                      : lame_encode_buffer(gf, src, src, n, out.data() + used, static_cast<int>(room));
    if (written < 0) return std::nullopt;
    out.resize(used + static_cast<size_t>(written));
  }
  const size_t used = out.size();
  out.resize(used + kFlushBytes);
  std::shared_lock encoding(tableGate());
  const int flushed = lame_encode_flush(gf, out.data() + used, static_cast<int>(kFlushBytes));
  if (flushed < 0) return std::nullopt;
  out.resize(used + static_cast<size_t>(flushed));
  return out;
}

}  // namespace sorel
