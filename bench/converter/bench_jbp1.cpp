// JBP1 decoding against libjpeg-turbo decoding the very JPEG the encoder made from the same
// picture, both to RGB565, for a 640 × 480 picture at quality 90.
#include <benchmark/benchmark.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "converter/jbp1_encoder.h"
#include "engine/graphics/jbp1_decoder.h"

namespace {

using namespace sorel;
constexpr uint32_t kWidth = 640, kHeight = 480;

// A picture with the texture of a painted background: smooth gradients, shapes with hard
// edges, fine noise.
std::vector<uint8_t> scene() {
  std::mt19937 rng(42);
  std::vector<uint8_t> p(size_t(kWidth) * kHeight * 3);
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint8_t* q = &p[(size_t(y) * kWidth + x) * 3];
      double sky = 0.5 + 0.5 * std::sin(x * 0.01 + y * 0.004);
      bool house = x > 200 && x < 420 && y > 220 && y < 400;
      bool window = house && (x / 30) % 2 == 0 && (y / 25) % 2 == 0;
      int n = int(rng() % 9) - 4;
      q[0] = uint8_t(std::clamp(int(200 * sky) + n + (window ? -120 : 0), 0, 255));
      q[1] = uint8_t(std::clamp(int(150 * sky + (house ? 40 : 0)) + n, 0, 255));
      q[2] = uint8_t(std::clamp(int(80 + 100 * (1 - sky) + (house ? 90 : 0)) + n, 0, 255));
    }
  return p;
}

struct Encoded {
  std::vector<uint8_t> jbp1, jpeg;
};

const Encoded& encoded() {
  static Encoded e = [] {
    auto pic = scene();
    Jbp1Encoder enc;
    Encoded r;
    r.jbp1 = enc.encode({pic.data(), kWidth, kHeight, size_t(kWidth) * 3}, 90);
    r.jpeg = enc.jpeg();
    return r;
  }();
  return e;
}

void BM_Jbp1Decode(benchmark::State& state) {
  const auto& e = encoded();
  std::vector<uint16_t> out(size_t(kWidth) * kHeight);
  for (auto _ : state) {
    Jbp1Decoder d;
    initDecoder(d);
    d.input = e.jbp1;
    d.output = out;
    if (!parseHeader(d) || !decodePicture(d)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = double(e.jbp1.size());
}
BENCHMARK(BM_Jbp1Decode)->Unit(benchmark::kMicrosecond);

// The entropy-decoding half alone, to see where the time goes.
void BM_Jbp1Coefficients(benchmark::State& state) {
  const auto& e = encoded();
  std::vector<int16_t> coef;
  for (auto _ : state) {
    Jbp1Decoder d;
    initDecoder(d);
    d.input = e.jbp1;
    if (!parseHeader(d) || !decodeCoefficients(d, coef)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(coef.data());
  }
}
BENCHMARK(BM_Jbp1Coefficients)->Unit(benchmark::kMicrosecond);

void decodeJpeg(benchmark::State& state, bool fancy) {
  const auto& e = encoded();
  std::vector<uint8_t> out(size_t(kWidth) * kHeight * 2);
  for (auto _ : state) {
    jpeg_decompress_struct d;
    jpeg_error_mgr err;
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, e.jpeg.data(), static_cast<unsigned long>(e.jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB565;
    d.dither_mode = JDITHER_NONE;
    d.do_fancy_upsampling = fancy ? TRUE : FALSE;
    jpeg_start_decompress(&d);
    while (d.output_scanline < d.output_height) {
      JSAMPROW row = out.data() + size_t(d.output_scanline) * kWidth * 2;
      jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = double(e.jpeg.size());
}
// The library's defaults (smooth chroma upsampling), and the nearest-neighbour chroma JBP1 uses.
void BM_JpegDecodeRgb565(benchmark::State& state) { decodeJpeg(state, true); }
void BM_JpegDecodeRgb565Plain(benchmark::State& state) { decodeJpeg(state, false); }
BENCHMARK(BM_JpegDecodeRgb565)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_JpegDecodeRgb565Plain)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
