#pragma once
// Test movies: small .jmv files made in the test with the sorel-movie writer, and the crafted
// changes the reader must refuse.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "converter/jbp1_encoder.h"
#include "engine/audio/jmv_format.h"
#include "engine/resources/byte_io.h"
#include "tests/audio/mp3_maker.h"
#include "tools/jmv_writer.h"

namespace sorel::testing {

/// A frame of one flat colour (blue, green, red) with a bright square whose place tells frames
/// apart.
inline jmvtool::Frame flatFrame(uint32_t w, uint32_t h, uint8_t b, uint8_t g, uint8_t r, uint32_t mark = 0) {
  jmvtool::Frame f{w, h, std::vector<uint8_t>(size_t(w) * h * 3)};
  for (size_t i = 0; i < size_t(w) * h; ++i) {
    f.bgr[3 * i] = b;
    f.bgr[3 * i + 1] = g;
    f.bgr[3 * i + 2] = r;
  }
  for (uint32_t y = 0; y < 8 && y < h; ++y)
    for (uint32_t x = 0; x < 8; ++x) {
      const size_t px = (size_t(y) * w + (mark * 8 + x) % w) * 3;
      f.bgr[px] = f.bgr[px + 1] = f.bgr[px + 2] = 255;
    }
  return f;
}

/// The JBP1 streams of n frames, frame i marked at i.
inline std::vector<std::vector<uint8_t>> frameStreams(uint32_t n, uint32_t w, uint32_t h) {
  std::vector<std::vector<uint8_t>> out;
  Jbp1Encoder encoder;
  for (uint32_t i = 0; i < n; ++i) {
    jmvtool::Frame f = flatFrame(w, h, uint8_t(40 + 20 * (i % 8)), 80, uint8_t(200 - 10 * (i % 16)), i);
    out.push_back(encoder.encode(Bgr24View{f.bgr.data(), w, h, size_t(w) * 3}, 90));
  }
  return out;
}

/// A movie of n frames of w × h at fps.
inline std::vector<uint8_t> makeTestMovie(uint32_t n, uint32_t w, uint32_t h, uint32_t fps) {
  jmvtool::MovieSettings s;
  s.fps = fps;
  return jmvtool::assembleMovie(frameStreams(n, w, h), w, h, s);
}

/// Index entry i's word at offset o.
inline void setEntry(std::vector<uint8_t>& movie, uint32_t i, uint32_t o, uint32_t v) {
  storeU32(movie.data() + jmv::kHeaderSize + size_t(i) * jmv::kEntrySize + o, v);
}
inline uint32_t entry(const std::vector<uint8_t>& movie, uint32_t i, uint32_t o) {
  return loadU32(movie.data() + jmv::kHeaderSize + size_t(i) * jmv::kEntrySize + o);
}

}  // namespace sorel::testing
