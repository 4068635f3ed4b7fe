// The software window picture: redrawing only changed rectangles gives the window exactly the
// pixels of a whole redraw, and every window pixel shows the logical pixel a tap there reaches.
#include "platform/screen_scaler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace platform {
namespace {

struct Window {
  int w, h, bpp;
  std::vector<uint8_t> pixels;
  Window(int w_, int h_, int bpp_) : w(w_), h(h_), bpp(bpp_), pixels(size_t(w_) * size_t(h_) * size_t(bpp_), 0xAB) {}
  int pitch() const { return w * bpp; }
};

std::vector<uint16_t> picture(int lw, int lh, uint32_t seed) {
  std::vector<uint16_t> p(size_t(lw) * size_t(lh));
  for (auto& v : p) {
    seed ^= seed << 13, seed ^= seed >> 17, seed ^= seed << 5;
    v = uint16_t(seed);
  }
  return p;
}

PixelTable identityTable() {
  PixelTable t(65536);
  for (uint32_t v = 0; v < 65536; ++v) t[v] = v * 0x00010001u ^ 0x5A000000u;  // every byte says which value
  return t;
}

TEST(ScreenScaler, ChangedRectanglesGiveTheWholeRedrawsPixels) {
  struct Case {
    int lw, lh, ww, wh;
    ScaleSteps steps;
  };
  const Case cases[] = {
      {640, 480, 640, 480, ScaleSteps::Any},    // 1×
      {320, 240, 1280, 800, ScaleSteps::Whole},  // 3× with bars
      {640, 480, 1280, 800, ScaleSteps::Any},   // 1.67×, bars left and right
      {640, 480, 1024, 768, ScaleSteps::Any},   // 1.6×
      {640, 480, 333, 251, ScaleSteps::Any},    // shrunk: some logical pixels are not shown at all
  };
  const PixelTable table = identityTable();
  const ScreenRect changes[] = {{0, 0, 1, 1}, {5, 7, 83, 61}, {100, 33, 101, 200}, {-20, -5, 30, 9000},
                                {200, 100, 200, 300}, {17, 3, 320, 240}};
  for (const Case& c : cases)
    for (int bpp : {2, 3, 4}) {
      SCOPED_TRACE(::testing::Message() << c.lw << "x" << c.lh << " in " << c.ww << "x" << c.wh << " bpp " << bpp);
      ScreenScaler s;
      s.setup(c.lw, c.lh, letterbox(c.ww, c.wh, c.lw, c.lh, c.steps));
      const ScreenRect all{0, 0, c.lw, c.lh};
      std::vector<uint16_t> before = picture(c.lw, c.lh, 1), after = before;
      // The new picture differs from the old one inside the changed rectangles only.
      const std::vector<uint16_t> fresh = picture(c.lw, c.lh, 2);
      for (const ScreenRect& r : changes)
        for (int y = std::max(r.top, 0); y < std::min(r.bottom, c.lh); ++y)
          for (int x = std::max(r.left, 0); x < std::min(r.right, c.lw); ++x)
            after[size_t(y) * size_t(c.lw) + size_t(x)] = fresh[size_t(y) * size_t(c.lw) + size_t(x)];

      Window whole(c.ww, c.wh, bpp), partial(c.ww, c.wh, bpp);
      s.draw(after.data(), all, whole.pixels.data(), whole.pitch(), bpp, table);
      s.draw(before.data(), all, partial.pixels.data(), partial.pitch(), bpp, table);
      for (const ScreenRect& r : changes) {
        // Nothing outside the rectangle's window area is touched.
        const std::vector<uint8_t> old = partial.pixels;
        s.draw(after.data(), r, partial.pixels.data(), partial.pitch(), bpp, table);
        const ViewRect area = s.windowRect(r);
        for (int y = 0; y < c.wh; ++y)
          for (int x = 0; x < c.ww; ++x) {
            if (x >= area.x && x < area.x + area.w && y >= area.y && y < area.y + area.h) continue;
            const size_t at = size_t(y) * size_t(partial.pitch()) + size_t(x) * size_t(bpp);
            ASSERT_EQ(std::memcmp(&old[at], &partial.pixels[at], size_t(bpp)), 0) << x << "," << y;
          }
      }
      EXPECT_EQ(partial.pixels, whole.pixels);

      // Each picture pixel shows the logical pixel a tap on it reaches; the bars stay untouched.
      const ViewRect v = s.view();
      for (int y = 0; y < c.wh; y += 3)
        for (int x = 0; x < c.ww; x += 3) {
          int lx, ly;
          const bool on = windowToLogical(v, c.lw, c.lh, x, y, lx, ly);
          uint32_t got = 0;
          std::memcpy(&got, &whole.pixels[size_t(y) * size_t(whole.pitch()) + size_t(x) * size_t(bpp)], size_t(bpp));
          const uint32_t mask = bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1;
          const uint32_t want = on ? table[after[size_t(ly) * size_t(c.lw) + size_t(lx)]] & mask : 0xABABABABu & mask;
          ASSERT_EQ(got, want) << "window pixel " << x << "," << y;
        }
    }
}

TEST(ScreenScaler, ChannelsWidenByRepeatingTheirTopBits) {
  uint8_t r, g, b;
  rgb565Channels(0xFFFF, r, g, b);
  EXPECT_EQ(r | g << 8 | b << 16, 0xFFFFFF);
  rgb565Channels(0x0000, r, g, b);
  EXPECT_EQ(r | g << 8 | b << 16, 0);
  rgb565Channels(uint16_t(0x10 << 11 | 0x20 << 5 | 0x01), r, g, b);  // the top bit of each, the bottom of blue
  EXPECT_EQ(r, 0x84);
  EXPECT_EQ(g, 0x82);
  EXPECT_EQ(b, 0x08);
}

}  // namespace
}  // namespace platform
