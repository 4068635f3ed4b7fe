// Recomposing and presenting a typical 640 × 480 story frame: background, three character
// sprites, the message window, a face, and the 100 rectangles of the message text cells.
#include <benchmark/benchmark.h>

#include <memory>

#include "engine/graphics/backends/display_backend.h"
#include "engine/graphics/draw_item.h"

namespace sorel {
namespace {

// A picture whose pixels are opaque inside an ellipse, fade out over a 3-pixel rim and are
// transparent outside: the shape of a character sprite or a face. alphaInside below 255 makes
// a translucent window.
std::unique_ptr<Picture> shape(int w, int h, uint8_t alphaInside, uint32_t seed) {
  auto p = std::make_unique<Picture>();
  p->width = uint32_t(w), p->height = uint32_t(h);
  p->pixels.resize(size_t(w) * h * 4);
  const double cx = w / 2.0, cy = h / 2.0;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* q = p->pixel(uint32_t(x), uint32_t(y));
      seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
      q[0] = uint8_t(seed), q[1] = uint8_t(seed >> 8), q[2] = uint8_t(seed >> 16);
      const double dx = (x - cx) / cx, dy = (y - cy) / cy, d = (1.0 - (dx * dx + dy * dy)) * cx;
      q[3] = d <= 0 ? 0 : d >= 3 ? alphaInside : uint8_t(d / 3 * alphaInside);
    }
  return p;
}

struct StoryFrame {
  Surface surface;
  PictureTable pictures;
  FrameState frame;
  FrameTarget target{surface, pictures, frame};
  DrawItem items[6];
  platform::RawFrameBuffer device;
  RawFrameBufferBackend display{device};

  StoryFrame() {
    surface.resize(640, 480);
    device.open(480, 640);
    display.open(640, 480);
    auto bg = shape(640, 480, 255, 1);
    for (size_t i = 3; i < bg->pixels.size(); i += 4) bg->pixels[i] = 255;  // a background is opaque
    pictures.put(28, std::move(bg));
    pictures.put(24, shape(300, 460, 255, 2));
    pictures.put(25, shape(300, 460, 255, 3));
    pictures.put(26, shape(300, 460, 255, 4));
    pictures.put(128, shape(620, 150, 200, 5));
    pictures.put(21, shape(160, 160, 255, 6));
    struct Place {
      int slot, x, y;
    };
    // Drawn in chain order: the items of higher order number first.
    const Place places[6] = {{28, 0, 0}, {24, 170, 20}, {25, 10, 20}, {26, 330, 20}, {128, 10, 325}, {21, 0, 320}};
    for (int i = 0; i < 6; ++i) {
      const Picture& p = *pictures.get(places[i].slot);
      items[i].kind = kItemPicture;
      items[i].slot = places[i].slot;
      items[i].setSource({0, 0, int32_t(p.width), int32_t(p.height)});
      items[i].x = places[i].x, items[i].y = places[i].y;
      items[i].next = i < 5 ? &items[i + 1] : nullptr;
    }
  }

  // The text cells of a full message: four lines of 25 cells of 24 × 24.
  void addTextCells(DirtyRectList& dirty) {
    for (int i = 0; i < 100; ++i) {
      const int x = 170 + (i % 25) * 18, y = 350 + (i / 25) * 28;
      addDirtyRect(dirty, {x, y, x + 24, y + 24}, false);
    }
  }
};

void BM_WholeFrameComposeAndPresent(benchmark::State& state) {
  StoryFrame f;
  DirtyRectList dirty;
  dirty.setBounds(640, 480);
  for (auto _ : state) {
    addDirtyRect(dirty, {0, 0, 640, 480}, true);
    f.addTextCells(dirty);
    drawFrame(f.target, dirty, f.items, 256);
    present(f.display, f.surface, dirty, PresentArea::DirtyRects);
    clearDirtyRects(dirty);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_WholeFrameComposeAndPresent)->Unit(benchmark::kMicrosecond);

// A frame of typing: only the message cells change.
void BM_TextCellsComposeAndPresent(benchmark::State& state) {
  StoryFrame f;
  DirtyRectList dirty;
  dirty.setBounds(640, 480);
  for (auto _ : state) {
    f.addTextCells(dirty);
    drawFrame(f.target, dirty, f.items, 256);
    present(f.display, f.surface, dirty, PresentArea::DirtyRects);
    clearDirtyRects(dirty);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_TextCellsComposeAndPresent)->Unit(benchmark::kMicrosecond);

// A whole frame during a scene change: the screen tone and the transition's opacity apply.
void BM_WholeFrameToneAndFade(benchmark::State& state) {
  StoryFrame f;
  f.items[0].opacity = 140;
  DirtyRectList dirty;
  dirty.setBounds(640, 480);
  for (auto _ : state) {
    addDirtyRect(dirty, {0, 0, 640, 480}, true);
    drawFrame(f.target, dirty, f.items, 200);
    present(f.display, f.surface, dirty, PresentArea::DirtyRects);
    clearDirtyRects(dirty);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_WholeFrameToneAndFade)->Unit(benchmark::kMicrosecond);

void BM_FrameWithoutDirtyRectangles(benchmark::State& state) {
  StoryFrame f;
  DirtyRectList dirty;
  dirty.setBounds(640, 480);
  for (auto _ : state) {
    drawFrame(f.target, dirty, f.items, 256);
    present(f.display, f.surface, dirty, PresentArea::DirtyRects);
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_FrameWithoutDirtyRectangles);

}  // namespace
}  // namespace sorel

BENCHMARK_MAIN();
