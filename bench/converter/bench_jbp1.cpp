// JBP1 decoding against libjpeg-turbo decoding the very JPEG the encoder made from the same
// picture, both to RGB565, for 640 × 480 pictures at quality 90. Three pictures: a smooth
// painted scene, the same scene with fine grain (many more coefficients), and flat shapes over a
// vertical gradient like the sample game's backgrounds. BM_Paired interleaves both decoders and keeps each one's fastest run, which
// holds steady on a busy machine; its counters give the sizes and the speed-up.
#include <benchmark/benchmark.h>

// clang-format off
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>
#include <vector>

#include "converter/jbp1_encoder.h"
#include "engine/graphics/jbp1_decoder.h"

namespace {

using namespace sorel;
constexpr uint32_t kWidth = 640, kHeight = 480;

// Flat shapes over a vertical gradient, drawn the way the sample game's backgrounds are.
std::vector<uint8_t> poster() {
  std::vector<uint8_t> p(size_t(kWidth) * kHeight * 3);
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint8_t* q = &p[(size_t(y) * kWidth + x) * 3];
      bool board = x > 40 && x < 340 && y > 60 && y < 200;
      bool desk = y > 330 && y < 370 && (x % 150) > 40 && (x % 150) < 140;
      bool hatch = y > 440 && ((x + y) / 12) % 2 == 0;
      q[0] = uint8_t(board ? 60 : desk ? 90 : hatch ? 150 : 160 + y / 8);
      q[1] = uint8_t(board ? 80 : desk ? 150 : hatch ? 170 : 200 + y / 16);
      q[2] = uint8_t(board ? 40 : desk ? 200 : hatch ? 190 : 220 - y / 12);
    }
  return p;
}

// Smooth gradients and shapes with hard edges; with `noise` a fine grain on top.
std::vector<uint8_t> scene(bool noise) {
  std::mt19937 rng(42);
  std::vector<uint8_t> p(size_t(kWidth) * kHeight * 3);
  for (uint32_t y = 0; y < kHeight; ++y)
    for (uint32_t x = 0; x < kWidth; ++x) {
      uint8_t* q = &p[(size_t(y) * kWidth + x) * 3];
      double sky = 0.5 + 0.5 * std::sin(x * 0.01 + y * 0.004);
      bool house = x > 200 && x < 420 && y > 220 && y < 400;
      bool window = house && (x / 30) % 2 == 0 && (y / 25) % 2 == 0;
      int n = noise ? int(rng() % 9) - 4 : 0;
      q[0] = uint8_t(std::clamp(int(200 * sky) + n + (window ? -120 : 0), 0, 255));
      q[1] = uint8_t(std::clamp(int(150 * sky + (house ? 40 : 0)) + n, 0, 255));
      q[2] = uint8_t(std::clamp(int(80 + 100 * (1 - sky) + (house ? 90 : 0)) + n, 0, 255));
    }
  return p;
}

struct Encoded {
  std::vector<uint8_t> jbp1, jpeg;
};

// 0: the smooth scene, 1: the same with grain, 2: the poster-like background.
const Encoded& encoded(int kind) {
  static Encoded e[3];
  Encoded& r = e[kind];
  if (r.jbp1.empty()) {
    auto pic = kind == 2 ? poster() : scene(kind == 1);
    Jbp1Encoder enc;
    r.jbp1 = enc.encode({pic.data(), kWidth, kHeight, size_t(kWidth) * 3}, 90);
    r.jpeg = enc.jpeg();
  }
  return r;
}

bool decodeJbp1(const Encoded& e, std::vector<uint16_t>& out) {
  Jbp1Decoder d;
  initDecoder(d);
  d.input = e.jbp1;
  d.output = out;
  return parseHeader(d) && decodePicture(d);
}

void decodeJpeg(const Encoded& e, std::vector<uint8_t>& out, bool fancy) {
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
}

void BM_Jbp1Decode(benchmark::State& state) {
  const auto& e = encoded(static_cast<int>(state.range(0)));
  std::vector<uint16_t> out(size_t(kWidth) * kHeight);
  for (auto _ : state) {
    if (!decodeJbp1(e, out)) state.SkipWithError("decode failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = double(e.jbp1.size());
}
BENCHMARK(BM_Jbp1Decode)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// The library's defaults (smooth chroma upsampling).
void BM_JpegDecodeRgb565(benchmark::State& state) {
  const auto& e = encoded(static_cast<int>(state.range(0)));
  std::vector<uint8_t> out(size_t(kWidth) * kHeight * 2);
  for (auto _ : state) {
    decodeJpeg(e, out, true);
    benchmark::DoNotOptimize(out.data());
  }
  state.counters["bytes"] = double(e.jpeg.size());
}
BENCHMARK(BM_JpegDecodeRgb565)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMicrosecond);

// Each decoder's fastest of many interleaved runs; speedup = JPEG time / JBP1 time (smooth and
// nearest-neighbour chroma for the library).
void BM_Paired(benchmark::State& state) {
  const auto& e = encoded(static_cast<int>(state.range(0)));
  std::vector<uint16_t> out16(size_t(kWidth) * kHeight);
  std::vector<uint8_t> out8(size_t(kWidth) * kHeight * 2);
  using Clock = std::chrono::steady_clock;
  double best[3] = {1e9, 1e9, 1e9};
  for (auto _ : state) {
    for (int k = 0; k < 3; ++k) {
      auto t0 = Clock::now();
      if (k == 0) decodeJbp1(e, out16);
      else decodeJpeg(e, out8, k == 1);
      double us = std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
      best[k] = std::min(best[k], us);
    }
  }
  state.counters["jbp1_us"] = best[0];
  state.counters["jpeg_us"] = best[1];
  state.counters["jpeg_plain_us"] = best[2];
  state.counters["speedup"] = best[1] / best[0];
  state.counters["speedup_plain"] = best[2] / best[0];
  state.counters["jbp1_bytes"] = double(e.jbp1.size());
  state.counters["jpeg_bytes"] = double(e.jpeg.size());
}
BENCHMARK(BM_Paired)->Arg(0)->Arg(1)->Arg(2)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
