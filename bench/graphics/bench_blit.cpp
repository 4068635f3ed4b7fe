// The blitters on a 640 × 480 back buffer: the alpha-blend plain loop against memcpy of the
// same bytes, then every family and variant, straight and transformed.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/graphics/blit.h"

namespace sorel {
namespace {

constexpr int kW = 640, kH = 480;

uint32_t nextRandom(uint32_t& s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// Opaque: a background. Mixed: a third each of transparent, opaque and partial pixels, far
// harder than a real sprite, whose partial pixels are only its outline.
Picture makePicture(bool opaque) {
  Picture p;
  p.width = kW, p.height = kH;
  p.pixels.resize(size_t(kW) * kH * 4);
  uint32_t s = 0x9E3779B9u;
  for (size_t i = 0; i < p.pixels.size(); i += 4) {
    for (int c = 0; c < 3; ++c) p.pixels[i + c] = uint8_t(nextRandom(s));
    const uint32_t r = nextRandom(s) % 3;
    p.pixels[i + 3] = opaque ? 255 : r == 0 ? 0 : r == 1 ? 255 : uint8_t(1 + nextRandom(s) % 254);
  }
  return p;
}

Surface makeSurface() {
  Surface s;
  s.resize(kW, kH);
  uint32_t r = 12345;
  for (auto& b : s.pixels) b = uint8_t(nextRandom(r));
  return s;
}

void BM_MemcpySurfaceBytes(benchmark::State& state) {
  std::vector<uint8_t> a(size_t(kW) * kH * 3, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.size()));
}
BENCHMARK(BM_MemcpySurfaceBytes);

void BM_MemcpyPictureBytes(benchmark::State& state) {
  std::vector<uint8_t> a(size_t(kW) * kH * 4, 1), b(a.size());
  for (auto _ : state) {
    std::memcpy(b.data(), a.data(), a.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(a.size()));
}
BENCHMARK(BM_MemcpyPictureBytes);

// Straight picture blits: range(0) = mode (0 blend, 1 additive), range(1) = variant,
// range(2) = 1 for an opaque picture.
void BM_PictureBlit(benchmark::State& state) {
  const Picture pic = makePicture(state.range(2) != 0);
  Surface s = makeSurface();
  const int v = int(state.range(1));
  const int opacity = (v & 1) ? 160 : 256, brightness = (v & 2) ? 384 : 256;
  const Mix mix = state.range(0) == 0 ? Mix::Blend : Mix::Add;
  for (auto _ : state) {
    pictureBlit(pic, {0, 0, kW, kH}, s, 0, 0, opacity, brightness, mix);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
}
BENCHMARK(BM_PictureBlit)
    ->ArgNames({"mode", "variant", "opaque"})
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}, {0, 1}});

// Colour rectangles: range(0) = mode (0 fill, 1 add), range(1) = variant.
void BM_ColourRect(benchmark::State& state) {
  Surface s = makeSurface();
  const int v = int(state.range(1));
  const int opacity = (v & 1) ? 160 : 256, brightness = (v & 2) ? 384 : 256;
  const Mix mix = state.range(0) == 0 ? Mix::Blend : Mix::Add;
  for (auto _ : state) {
    colourRect(0x00406080, {0, 0, kW, kH}, s, 0, 0, opacity, brightness, mix);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
}
BENCHMARK(BM_ColourRect)->ArgNames({"mode", "variant"})->ArgsProduct({{0, 1}, {0, 1, 2, 3}});

// Transformed: a full-screen box rotated a little (steps of a 10-degree turn), every sample
// inside the source. range(0) = family (0 blend, 1 additive, 2 fill), range(1) = variant,
// range(2) = 1 for an opaque picture.
void BM_Transformed(benchmark::State& state) {
  const Picture pic = makePicture(state.range(2) != 0);
  Surface s = makeSurface();
  const int v = int(state.range(1));
  const int opacity = (v & 1) ? 160 : 256, brightness = (v & 2) ? 384 : 256;
  BlitTransform t;
  t.x0 = 0, t.y0 = 0, t.x1 = kW, t.y1 = kH, t.width = kW, t.height = kH;
  t.dudx = 1008, t.dvdx = -177, t.dudy = 177, t.dvdy = 1008;
  t.startU = 40 << 10, t.startV = 60 << 10;
  for (auto _ : state) {
    if (state.range(0) == 2)
      colourRectTransformed(0x00406080, {0, 0, kW, kH}, s, t, opacity, brightness);
    else
      pictureBlitTransformed(pic, {0, 0, kW, kH}, s, t, opacity, brightness,
                             state.range(0) == 0 ? Mix::Blend : Mix::Add);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
}
BENCHMARK(BM_Transformed)
    ->ArgNames({"family", "variant", "opaque"})
    ->ArgsProduct({{0, 1}, {0, 1, 2, 3}, {0, 1}});
BENCHMARK(BM_Transformed)->ArgNames({"family", "variant", "opaque"})->ArgsProduct({{2}, {0, 1, 2, 3}, {1}});

void BM_FillRectSurface(benchmark::State& state) {
  Surface s = makeSurface();
  for (auto _ : state) {
    fillRect(s, {0, 0, kW, kH}, 0x00808080);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * kW * kH);
}
BENCHMARK(BM_FillRectSurface);

}  // namespace
}  // namespace sorel

BENCHMARK_MAIN();
