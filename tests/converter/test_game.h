#pragma once
// Small inputs for the converter tests: bitmaps, stored .pac archives, table records and stand
// descriptors, written the way the PC game lays them out.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/files.h"

namespace sorel::testgame {

inline void put16(std::vector<uint8_t>& o, uint16_t v) { o.push_back(uint8_t(v)), o.push_back(uint8_t(v >> 8)); }
inline void put32(std::vector<uint8_t>& o, uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}

/// A bottom-up bitmap of 16 or 24 bits; pixel(x, y) gives the blue, green, red of (x, y) from
/// the top (16-bit: the RGB565 value in blue | green << 8).
template <class F>
std::vector<uint8_t> bitmap(int w, int h, int bits, F pixel) {
  size_t stride = (size_t(w) * bits / 8 + 3) & ~size_t(3);
  std::vector<uint8_t> o = {'B', 'M'};
  put32(o, uint32_t(54 + stride * h));
  put32(o, 0);
  put32(o, 54);
  put32(o, 40);
  put32(o, uint32_t(w));
  put32(o, uint32_t(h));
  put16(o, 1);
  put16(o, uint16_t(bits));
  put32(o, 0);
  put32(o, uint32_t(stride * h));
  for (int i = 0; i < 4; ++i) put32(o, 0);
  o.resize(54 + stride * h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      auto [b, g, r] = pixel(x, y);
      uint8_t* p = &o[54 + stride * size_t(h - 1 - y) + size_t(x) * (bits / 8)];
      p[0] = uint8_t(b);
      p[1] = uint8_t(g);
      if (bits == 24) p[2] = uint8_t(r);
    }
  return o;
}

inline std::vector<uint8_t> solid(int w, int h, int b, int g, int r) {
  return bitmap(w, h, 24, [&](int, int) { return std::tuple{b, g, r}; });
}

/// A stored (method 0) .pac archive of the members, in order.
inline std::vector<uint8_t> pac(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members) {
  std::vector<uint8_t> o;
  put32(o, 0);
  put32(o, uint32_t(members.size()));
  put32(o, 0);
  uint32_t offset = uint32_t(12 + 76 * members.size());
  for (const auto& [name, bytes] : members) {
    std::vector<uint8_t> field(64, 0);
    std::memcpy(field.data(), name.data(), std::min<size_t>(63, name.size()));
    o.insert(o.end(), field.begin(), field.end());
    put32(o, offset);
    put32(o, uint32_t(bytes.size()));
    put32(o, uint32_t(bytes.size()));
    offset += uint32_t(bytes.size());
  }
  for (const auto& m : members) o.insert(o.end(), m.second.begin(), m.second.end());
  return o;
}

inline void nameAt(std::vector<uint8_t>& rec, size_t at, const std::string& name) {
  std::memcpy(rec.data() + at, name.data(), name.size());
}
inline void intAt(std::vector<uint8_t>& rec, size_t at, int32_t v) {
  for (int i = 0; i < 4; ++i) rec[at + size_t(i)] = uint8_t(uint32_t(v) >> (8 * i));
}

/// A VisualInfo.DAT record: differential drawn over base at (x, y).
inline std::vector<uint8_t> visualRecord(const std::string& base, const std::string& diff, int x, int y) {
  std::vector<uint8_t> r(196, 0);
  nameAt(r, 4, base);
  nameAt(r, 36, diff);
  intAt(r, 68, x);
  intAt(r, 72, y);
  return r;
}

/// A StandInfo.DAT record.
inline std::vector<uint8_t> standRecord(const std::string& descriptor, const std::string& overlay, int x, int y) {
  std::vector<uint8_t> r(224, 0);
  nameAt(r, 32, descriptor);
  nameAt(r, 64, overlay);
  intAt(r, 96, x);
  intAt(r, 100, y);
  return r;
}

/// A stand descriptor: base picture name, height value N, horizontal position X.
inline std::vector<uint8_t> descriptor(const std::string& base, int n, int x) {
  std::vector<uint8_t> r(80, 0);
  nameAt(r, 8, base);
  intAt(r, 60, n);
  intAt(r, 64, x);
  return r;
}

inline std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> o;
  for (const auto& p : parts) o.insert(o.end(), p.begin(), p.end());
  return o;
}

inline std::string systemPath(const std::string& host) { return *platform::systemPath(host); }

/// A chunk: id, length, data, a pad byte after an odd length.
inline std::vector<uint8_t> chunk(const char* id, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> o(id, id + 4);
  put32(o, uint32_t(data.size()));
  o.insert(o.end(), data.begin(), data.end());
  if (data.size() & 1) o.push_back(0);
  return o;
}

/// "RIFF", the length of everything after it, "WAVE", then the chunks.
inline std::vector<uint8_t> riff(std::initializer_list<std::vector<uint8_t>> chunks) {
  std::vector<uint8_t> body = {'W', 'A', 'V', 'E'};
  for (const auto& c : chunks) body.insert(body.end(), c.begin(), c.end());
  std::vector<uint8_t> o = {'R', 'I', 'F', 'F'};
  put32(o, uint32_t(body.size()));
  o.insert(o.end(), body.begin(), body.end());
  return o;
}

/// A 16-byte format chunk's data.
inline std::vector<uint8_t> formatData(uint16_t tag, int channels, int rate, int blockAlign, int bits) {
  std::vector<uint8_t> f;
  put16(f, tag);
  put16(f, uint16_t(channels));
  put32(f, uint32_t(rate));
  put32(f, uint32_t(rate * blockAlign));
  put16(f, uint16_t(blockAlign));
  put16(f, uint16_t(bits));
  return f;
}

/// A 16-bit PCM WAVE file of interleaved samples.
inline std::vector<uint8_t> wavePcm16(const std::vector<int16_t>& samples, int channels, int rate) {
  std::vector<uint8_t> data;
  for (int16_t v : samples) put16(data, uint16_t(v));
  return riff({chunk("fmt ", formatData(1, channels, rate, channels * 2, 16)), chunk("data", data)});
}

/// Interleaved sine of hz at the amplitude, the same on every channel.
inline std::vector<int16_t> sine(double hz, double amplitude, int frames, int rate, int channels) {
  std::vector<int16_t> pcm(size_t(frames) * size_t(channels));
  for (int i = 0; i < frames; ++i)
    for (int c = 0; c < channels; ++c)
      pcm[size_t(i * channels + c)] = int16_t(std::lround(amplitude * std::sin(6.283185307179586 * hz * i / rate)));
  return pcm;
}

}  // namespace sorel::testgame
