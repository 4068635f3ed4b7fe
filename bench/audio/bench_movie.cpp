// The movie budget: a 320 × 240 frame decoded and drawn doubled with interpolation on the
// 640 × 480 panel must take under 2 ms (6 % of a core at 30 frames per second), and nothing may
// be allocated per frame. The frames are the sorel-movie test animation at quality 80; the
// allocations made while a frame is decoded and drawn are counted (operator new).
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <span>
#include <vector>

#include "converter/jbp1_encoder.h"
#include "engine/audio/movie_player.h"
#include "engine/graphics/jbp1_decoder.h"
#include "platform/display.h"
#include "tools/jmv_writer.h"

// The replacement operator new takes its memory from malloc, so delete gives it back with free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
thread_local bool t_counting = false;
std::atomic<uint64_t> g_allocations{0};
}  // namespace

void* operator new(size_t n) {
  if (t_counting) g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

namespace {

using namespace sorel;

constexpr uint32_t kW = 320, kH = 240, kFrames = 30;

const std::vector<std::vector<uint8_t>>& streams() {
  static const std::vector<std::vector<uint8_t>> s = [] {
    std::vector<std::vector<uint8_t>> out;
    Jbp1Encoder encoder;
    for (uint32_t i = 0; i < kFrames; ++i) {
      jmvtool::Frame f = jmvtool::testFrame(i, kFrames, kW, kH);
      out.push_back(encoder.encode(Bgr24View{f.bgr.data(), kW, kH, size_t(kW) * 3}, 80));
    }
    return out;
  }();
  return s;
}

void runFrames(benchmark::State& state, int screenWidth, movie::Scale scale) {
  platform::RawFrameBuffer panel;
  platform::DibSection dib;
  const bool vga = screenWidth >= 640;
  if (vga) panel.open(480, 640);
  else dib.create(320, 240);
  const platform::DisplayProperties& p = vga ? panel.properties() : dib.properties();
  uint8_t* fp = vga ? panel.framePointer() : dib.lastPixel();
  const int cover = vga ? 2 : 1;
  const int x0 = screenWidth / 2 - int(kW) * cover / 2, y0 = (vga ? 240 : 120) - int(kH) * cover / 2;
  std::vector<uint16_t> pixels(size_t(kW) * kH);
  Jbp1Decoder d;
  initDecoder(d);
  d.output = pixels;
  const auto& s = streams();
  size_t i = 0;
  uint64_t allocationsBefore = g_allocations.load();
  for (auto _ : state) {
    t_counting = true;
    if (!decodeMovieFrame(d, s[i])) state.SkipWithError("a frame did not decode");
    movie::drawFrame(fp, p, screenWidth, pixels.data(), d.alignedWidth, int(kW), int(kH), x0, y0, scale);
    t_counting = false;
    benchmark::DoNotOptimize(fp[0]);
    i = (i + 1) % s.size();
  }
  state.counters["allocs_per_frame"] =
      double(g_allocations.load() - allocationsBefore) / double(std::max<int64_t>(1, state.iterations()));
  state.counters["bytes_per_frame"] = double(s[0].size());
}

void BM_MovieVgaInterpolated(benchmark::State& state) { runFrames(state, 640, movie::Scale::Interpolated); }
void BM_MovieVgaDoubled(benchmark::State& state) { runFrames(state, 640, movie::Scale::Doubled); }
void BM_MovieHandheld(benchmark::State& state) { runFrames(state, 320, movie::Scale::OneToOne); }

/// The drawing alone, for the share of the budget the decoder leaves.
void BM_MovieDrawInterpolatedOnly(benchmark::State& state) {
  platform::RawFrameBuffer panel;
  panel.open(480, 640);
  std::vector<uint16_t> pixels(size_t(kW) * kH, 0x1234);
  for (auto _ : state) {
    movie::drawFrame(panel.framePointer(), panel.properties(), 640, pixels.data(), kW, int(kW), int(kH), 0, 0,
                     movie::Scale::Interpolated);
    benchmark::DoNotOptimize(panel.framePointer()[0]);
  }
}

BENCHMARK(BM_MovieVgaInterpolated)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MovieVgaDoubled)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MovieHandheld)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MovieDrawInterpolatedOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
