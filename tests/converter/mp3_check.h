#pragma once
// Looking at the converter's MP3 output the way the engine does: frame headers walked one by
// one, and the stream decoded through the engine's Mp3Stream and the built decoder module.
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/audio/decoder_module.h"
#include "engine/audio/mp3_stream.h"
#include "platform/files.h"

namespace sorel::mp3check {

struct Frame {
  bool mpeg1 = false;
  int kbps = 0;
  int rate = 0;
  int channels = 0;
  size_t length = 0;
};

/// The Layer III frame whose header starts at p, if it is one.
inline std::optional<Frame> frameAt(const uint8_t* p, size_t left) {
  static constexpr int kMpeg1[15] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320};
  static constexpr int kMpeg2[15] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160};
  static constexpr int kRates1[3] = {44100, 48000, 32000}, kRates2[3] = {22050, 24000, 16000};
  if (left < 4 || p[0] != 0xFF || (p[1] & 0xE0) != 0xE0 || ((p[1] >> 1) & 3) != 1) return std::nullopt;
  int version = (p[1] >> 3) & 3, bi = p[2] >> 4, ri = (p[2] >> 2) & 3;
  if ((version != 3 && version != 2) || bi == 0 || bi == 15 || ri == 3) return std::nullopt;
  Frame f;
  f.mpeg1 = version == 3;
  f.kbps = (f.mpeg1 ? kMpeg1 : kMpeg2)[bi];
  f.rate = (f.mpeg1 ? kRates1 : kRates2)[ri];
  f.channels = (p[3] >> 6) == 3 ? 1 : 2;
  f.length = size_t((f.mpeg1 ? 144 : 72) * f.kbps * 1000 / f.rate + ((p[2] >> 1) & 1));
  return f;
}

/// Every frame of a stream that must be nothing but frames; empty when anything else is met.
inline std::vector<Frame> frames(const std::vector<uint8_t>& mp3) {
  std::vector<Frame> out;
  for (size_t at = 0; at < mp3.size();) {
    auto f = frameAt(mp3.data() + at, mp3.size() - at);
    if (!f || f->length == 0) return {};
    out.push_back(*f);
    at += f->length;
  }
  return out;
}

struct Decoded {
  int channels = 0;
  int rate = 0;
  std::vector<int16_t> samples;
};

/// The whole stream as the engine plays it; none when it does not open.
inline std::optional<Decoded> decode(const std::vector<uint8_t>& mp3) {
  Mp3Stream s;
  if (!s.openMemory(mp3)) return std::nullopt;
  Decoded d{s.channels(), s.rate(), {}};
  std::vector<uint8_t> buf(8192);
  for (int guard = 0; guard < 1000000; ++guard) {
    size_t n = s.read(buf.data(), buf.size(), false);
    for (size_t i = 0; i + 1 < n; i += 2) d.samples.push_back(int16_t(buf[i] | (buf[i + 1] << 8)));
    if (n < buf.size()) break;
  }
  return d;
}

/// Root mean square of one channel from frame `from` on.
inline double rms(const std::vector<int16_t>& pcm, int channels, int channel, size_t from = 0) {
  double sum = 0;
  size_t n = 0;
  for (size_t i = from * size_t(channels) + size_t(channel); i < pcm.size(); i += size_t(channels), ++n)
    sum += double(pcm[i]) * pcm[i];
  return n ? std::sqrt(sum / double(n)) : 0;
}

/// Binds the freshly built Quillon.ovl from the programs' folder.
inline bool loadBuiltDecoder() {
  auto folder = platform::systemPath(SOREL_BIN_DIR);
  return folder && loadDecoderModule(*folder + "\\");
}

}  // namespace sorel::mp3check
