// Presenting the 640 × 480 frame to the two back-ends: the whole screen, a typical set of dirty
// rectangles, and an empty list.
#include <benchmark/benchmark.h>

#include "engine/graphics/backends/display_backend.h"

namespace sorel {
namespace {

Surface makeSurface() {
  Surface s;
  s.resize(640, 480);
  uint32_t r = 12345;
  for (auto& b : s.pixels) {
    r ^= r << 13, r ^= r >> 17, r ^= r << 5;
    b = uint8_t(r);
  }
  return s;
}

void BM_PresentRawWholeScreen(benchmark::State& state) {
  platform::RawFrameBuffer device;
  device.open(480, 640);
  RawFrameBufferBackend display(device);
  display.open(640, 480);
  const Surface s = makeSurface();
  DirtyRectList dirty;
  for (auto _ : state) {
    present(display, s, dirty, PresentArea::WholeScreen, 0, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PresentRawWholeScreen);

void BM_PresentGdiWholeScreen(benchmark::State& state) {
  GdiBackend display;
  display.open(640, 480);
  const Surface s = makeSurface();
  DirtyRectList dirty;
  for (auto _ : state) {
    present(display, s, dirty, PresentArea::WholeScreen, 0, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PresentGdiWholeScreen);

void BM_PresentRawEmptyList(benchmark::State& state) {
  platform::RawFrameBuffer device;
  device.open(480, 640);
  RawFrameBufferBackend display(device);
  display.open(640, 480);
  const Surface s = makeSurface();
  DirtyRectList dirty;
  dirty.setBounds(640, 480);
  for (auto _ : state) {
    present(display, s, dirty, PresentArea::DirtyRects, 0, 0);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PresentRawEmptyList);

}  // namespace
}  // namespace sorel

BENCHMARK_MAIN();
