// Presenting the 640 × 480 frame to the two back-ends: the whole screen, a typical set of dirty
// rectangles, and an empty list; then the window's software path scaling it to a 1280 × 800
// screen, whole and one sparkle's rectangle.
#include <benchmark/benchmark.h>

#include "engine/graphics/backends/display_backend.h"
#include "platform/screen_scaler.h"

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

void scaleToFullScreen(benchmark::State& state, platform::ScreenRect r) {
  platform::ScreenScaler scaler;
  scaler.setup(640, 480, platform::letterbox(1280, 800, 640, 480, platform::ScaleSteps::Any));
  std::vector<uint16_t> logical(640 * 480);
  for (size_t i = 0; i < logical.size(); ++i) logical[i] = uint16_t(i * 2654435761u >> 16);
  platform::PixelTable table(65536);
  for (uint32_t v = 0; v < 65536; ++v) table[v] = v * 0x0101u;
  std::vector<uint8_t> window(1280 * 800 * 4);
  for (auto _ : state) {
    scaler.draw(logical.data(), r, window.data(), 1280 * 4, 4, table);
    benchmark::ClobberMemory();
  }
}
BENCHMARK_CAPTURE(scaleToFullScreen, WholeScreen, platform::ScreenRect{0, 0, 640, 480});
BENCHMARK_CAPTURE(scaleToFullScreen, Sparkle16x16, platform::ScreenRect{300, 200, 316, 216});

}  // namespace
}  // namespace sorel

BENCHMARK_MAIN();
