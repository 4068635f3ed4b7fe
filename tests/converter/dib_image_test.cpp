// The working bitmap: reading bitmaps as they are laid out, keys, compositing, shrinking and the
// RBP image.
#include <gtest/gtest.h>

#include <tuple>

#include "converter/dib_image.h"
#include "engine/graphics/picture_loader.h"
#include "test_game.h"

namespace sorel {
namespace {

using namespace testgame;

std::vector<int> at(const DibImage& d, uint32_t x, uint32_t y) {
  int bpp = d.bitsPerPixel() / 8;
  const uint8_t* p = d.pixels().data() + (size_t(y) * d.width() + x) * size_t(bpp);
  return std::vector<int>(p, p + bpp);
}

DibImage image32(uint32_t w, uint32_t h, std::vector<uint8_t> bgra) {
  return DibImage::fromPixels(w, h, 32, std::move(bgra));
}

TEST(DibLoad, RowsOffsetsMasksAndRefusals) {
  // 3 × 2, bottom-up, rows padded to 12 bytes: the top row comes last in the file.
  auto bmp = bitmap(3, 2, 24, [](int x, int y) { return std::tuple{x, y, 7}; });
  DibImage d;
  ASSERT_TRUE(d.load(bmp));
  EXPECT_EQ(d.width(), 3u);
  EXPECT_EQ(d.sourceHeight(), 2);
  EXPECT_EQ(at(d, 2, 0), (std::vector<int>{2, 0, 7}));
  EXPECT_EQ(at(d, 1, 1), (std::vector<int>{1, 1, 7}));

  // A negative height means top-down rows; the pixel offset may leave a gap.
  auto topDown = bmp;
  topDown[22] = 0xFE, topDown[23] = topDown[24] = topDown[25] = 0xFF;  // height -2
  topDown.insert(topDown.begin() + 54, {9, 9, 9, 9});
  topDown[10] = 58;
  ASSERT_TRUE(d.load(topDown));
  EXPECT_EQ(at(d, 2, 0), (std::vector<int>{2, 1, 7}));  // the file's first row is now the top

  // 16 bits: RGB565 without masks, the masks' layout with BI_BITFIELDS (here 5-5-5).
  auto b16 = bitmap(2, 1, 16, [](int x, int) { return x ? std::tuple{0xFF, 0xFF, 0} : std::tuple{0x1F, 0x00, 0}; });
  ASSERT_TRUE(d.load(b16));
  EXPECT_EQ(d.bitsPerPixel(), 16);
  d.expand16To24();
  EXPECT_EQ(at(d, 1, 0), (std::vector<int>{0xF8, 0xFC, 0xF8}));
  EXPECT_EQ(at(d, 0, 0), (std::vector<int>{0xF8, 0, 0}));
  auto b555 = b16;
  b555[30] = 3;  // BI_BITFIELDS, masks right behind the 40-byte header
  std::vector<uint8_t> masks;
  put32(masks, 0x7C00), put32(masks, 0x03E0), put32(masks, 0x001F);
  b555.insert(b555.begin() + 54, masks.begin(), masks.end());
  b555[10] = 66;
  b555[54 + 12 + 2] = 0xE0, b555[54 + 12 + 3] = 0x03;  // pixel 1 = 0x03E0: green only
  ASSERT_TRUE(d.load(b555));
  d.expand16To24();
  EXPECT_EQ(at(d, 1, 0), (std::vector<int>{0, 0xF8, 0}));
  EXPECT_EQ(at(d, 0, 0), (std::vector<int>{0xF8, 0, 0}));

  DibError why;
  auto cut = bmp;
  cut.resize(cut.size() - 3);  // the last row's padding may go ...
  EXPECT_TRUE(d.load(cut, &why));
  cut.pop_back();  // ... its pixels may not
  EXPECT_FALSE(d.load(cut, &why));
  EXPECT_EQ(why, DibError::Truncated);
  auto eight = bmp;
  eight[28] = 8;
  EXPECT_FALSE(d.load(eight, &why));
  EXPECT_EQ(why, DibError::LowDepth);
  auto rle = bmp;
  rle[30] = 1;
  EXPECT_FALSE(d.load(rle, &why));
  EXPECT_EQ(why, DibError::Unsupported);
  EXPECT_FALSE(d.load(std::vector<uint8_t>{'B', 'M', 0}, &why));
  for (size_t n = 0; n < bmp.size() - 3; ++n) EXPECT_FALSE(d.load(std::span(bmp).first(n))) << n;
}

TEST(DibKeys, NearBlackSoftensEdgesExactBlackDoesNot) {
  // 4 × 3: a near-black hole at (1, 1); (3, 1) is not next to it.
  auto bmp = bitmap(4, 3, 24, [](int x, int y) {
    if (x == 1 && y == 1) return std::tuple{6, 6, 6};
    return std::tuple{30 + x, 60, 90 + y};
  });
  DibImage d;
  ASSERT_TRUE(d.load(bmp));
  d.keyNearBlack();
  EXPECT_EQ(d.bitsPerPixel(), 32);
  EXPECT_EQ(at(d, 1, 1)[3], 0);
  EXPECT_EQ(at(d, 0, 0)[3], (30 + 60 + 90) / 3);
  EXPECT_EQ(at(d, 2, 2)[3], (32 + 60 + 91) / 3);
  EXPECT_EQ(at(d, 3, 1)[3], 255);

  ASSERT_TRUE(d.load(bitmap(2, 1, 24, [](int x, int) { return std::tuple{0, 0, x}; })));
  d.keyBlack();
  EXPECT_EQ(at(d, 0, 0)[3], 0);
  EXPECT_EQ(at(d, 1, 0)[3], 255);
  // A 16-bit picture is expanded first.
  ASSERT_TRUE(d.load(bitmap(1, 1, 16, [](int, int) { return std::tuple{1, 0, 0}; })));
  d.keyBlack();
  EXPECT_EQ(at(d, 0, 0), (std::vector<int>{8, 0, 0, 255}));

  // Magenta becomes half-transparent blue; other colours keep theirs.
  ASSERT_TRUE(d.load(bitmap(2, 1, 24, [](int x, int) { return x ? std::tuple{255, 0, 255} : std::tuple{255, 0, 254}; })));
  d.setColourAlpha(0xFF00FF, 128, 0x0000FF);
  EXPECT_EQ(at(d, 1, 0), (std::vector<int>{255, 0, 0, 128}));
  EXPECT_EQ(at(d, 0, 0), (std::vector<int>{255, 0, 254, 255}));
}

TEST(DibCompose, BlendOntoAndPasteOpaque) {
  DibImage base;
  ASSERT_TRUE(base.load(solid(4, 1, 100, 100, 100)));
  // Alpha 0 keeps the base, 255 takes the source, 64 mixes ((256 − 64) × 100 + 64 × 200) >> 8.
  DibImage over = image32(3, 1, {1, 1, 1, 0, 200, 10, 20, 255, 200, 200, 200, 64});
  over.blendOnto(std::move(base), 1, 0);
  EXPECT_EQ(over.bitsPerPixel(), 24);
  EXPECT_EQ(over.width(), 4u);
  EXPECT_EQ(over.sourceWidth(), 4);
  EXPECT_EQ(at(over, 0, 0), (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(at(over, 1, 0), (std::vector<int>{100, 100, 100}));
  EXPECT_EQ(at(over, 2, 0), (std::vector<int>{200, 10, 20}));
  EXPECT_EQ(at(over, 3, 0), (std::vector<int>{125, 125, 125}));

  // Outside the base: skipped, whichever side.
  DibImage b2;
  ASSERT_TRUE(b2.load(solid(2, 2, 1, 2, 3)));
  DibImage o2 = image32(2, 2, std::vector<uint8_t>(16, 255));
  o2.blendOnto(std::move(b2), -1, 1);
  EXPECT_EQ(at(o2, 0, 1), (std::vector<int>{255, 255, 255}));
  EXPECT_EQ(at(o2, 1, 1), (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(at(o2, 0, 0), (std::vector<int>{1, 2, 3}));

  DibImage p;
  ASSERT_TRUE(p.load(solid(3, 1, 50, 50, 50)));
  DibImage ov;
  ASSERT_TRUE(ov.load(bitmap(2, 1, 24, [](int x, int) { return x ? std::tuple{0, 0, 0} : std::tuple{0, 0, 9}; })));
  p.pasteOpaque(ov, 1, 0);
  EXPECT_EQ(at(p, 1, 0), (std::vector<int>{0, 0, 9}));
  EXPECT_EQ(at(p, 2, 0), (std::vector<int>{50, 50, 50}));  // black is not pasted
  p.pasteOpaque(ov, 5, 5);                                  // wholly outside: nothing
}

TEST(DibShrink, BoxesFromStepsInTenBitFixedPoint) {
  // 641 × 480 by 50: 320 × 240, dx = 641 × 1024 / 320 = 2051, so 3 × 2 boxes.
  auto value = [](int x, int y) { return std::tuple{x % 256, y % 256, (x * 3 + y) % 256}; };
  DibImage d;
  ASSERT_TRUE(d.load(bitmap(641, 480, 24, value)));
  d.shrink(false, 50);
  ASSERT_EQ(d.width(), 320u);
  ASSERT_EQ(d.height(), 240u);
  for (auto [ox, oy] : {std::pair{0, 0}, {1, 0}, {319, 239}, {100, 57}}) {
    int sx0 = (ox * 2051) >> 10, sy0 = oy * 2;
    int sum[3] = {}, n = 0;
    for (int sy = sy0; sy < sy0 + 2; ++sy)
      for (int sx = sx0; sx < sx0 + 3 && sx < 641; ++sx) {
        auto [b, g, r] = value(sx, sy);
        sum[0] += b, sum[1] += g, sum[2] += r, ++n;
      }
    EXPECT_EQ(at(d, uint32_t(ox), uint32_t(oy)), (std::vector<int>{sum[0] / n, sum[1] / n, sum[2] / n})) << ox;
  }

  // Alpha weighting: transparent pixels are left out; a box of only transparent pixels is
  // transparent black. Without weighting they count.
  std::vector<uint8_t> px = {10, 20, 30, 255, 90, 90, 90, 0, 50, 60, 70, 0, 50, 60, 70, 0};
  DibImage w = image32(4, 1, px), u = image32(4, 1, px);
  w.shrink(true, 50);
  u.shrink(false, 50);
  EXPECT_EQ(at(w, 0, 0), (std::vector<int>{10, 20, 30, 255}));
  EXPECT_EQ(at(w, 1, 0), (std::vector<int>{0, 0, 0, 0}));
  EXPECT_EQ(at(u, 0, 0), (std::vector<int>{50, 55, 60, 127}));
  EXPECT_EQ(at(u, 1, 0), (std::vector<int>{50, 60, 70, 0}));

  DibImage tiny = image32(1, 1, {1, 2, 3, 4});
  tiny.shrink(false, 50);  // never below one pixel
  EXPECT_EQ(tiny.width(), 1u);
  DibImage same;
  ASSERT_TRUE(same.load(solid(3, 3, 1, 1, 1)));
  same.shrink(false, 100);
  EXPECT_EQ(same.width(), 3u);
}

TEST(DibRbp, RawAndJbp1ImagesAndThe32PixelRule) {
  DibImage d;
  ASSERT_TRUE(d.load(bitmap(2, 1, 24, [](int x, int) { return x ? std::tuple{0xFF, 0xFF, 0xFF} : std::tuple{0x10, 0x20, 0x30}; })));
  auto raw = d.toRbp(0, 12, -3);
  ASSERT_EQ(raw.size(), 36u + 4);
  EXPECT_EQ(std::string(raw.begin(), raw.begin() + 4), "RBP5");
  EXPECT_EQ(raw[4], 13);
  EXPECT_EQ(raw[16], 36);
  EXPECT_EQ(raw[20], 2);  // source width
  EXPECT_EQ(raw[24], 12);
  EXPECT_EQ(raw[26], 0xFD);
  EXPECT_EQ(raw[27], 0xFF);
  EXPECT_EQ(raw[36] | (raw[37] << 8), ((0x30 >> 3) << 11) | ((0x20 >> 2) << 5) | (0x10 >> 3));
  EXPECT_EQ(raw[38] | (raw[39] << 8), 0xFFFF);

  d.keyBlack();
  auto withAlpha = d.toRbp(3, 0, 0);  // 2 × 1 is below 32 pixels: raw whatever the quality
  EXPECT_EQ(withAlpha[4], 1);
  EXPECT_EQ(withAlpha.size(), 36u + 6);
  EXPECT_EQ(withAlpha[38], 255);

  ASSERT_TRUE(d.load(solid(31, 200, 1, 2, 3)));
  EXPECT_EQ(d.toRbp(2, 0, 0)[4], 13);
  ASSERT_TRUE(d.load(solid(32, 32, 1, 2, 3)));
  auto j = d.toRbp(2, 0, 0);
  EXPECT_EQ(std::string(j.begin(), j.begin() + 4), "RBP7");
  EXPECT_EQ(j[4], 30);
  uint32_t jbpLength = j[28] | (j[29] << 8) | (j[30] << 16) | (uint32_t(j[31]) << 24);
  EXPECT_EQ(j.size(), 36 + jbpLength);
  EXPECT_EQ(std::string(j.begin() + 36, j.begin() + 40), "JBP1");
  EXPECT_EQ(j[36 + 12], 90);
  d.keyNearBlack();
  auto j31 = d.toRbp(1, 0, 0);
  EXPECT_EQ(j31[4], 31);
  jbpLength = j31[28] | (j31[29] << 8) | (j31[30] << 16) | (uint32_t(j31[31]) << 24);
  EXPECT_EQ(j31.size(), 36 + jbpLength + 32 * 32);
  EXPECT_EQ(j31[36 + 12], 100);
  Picture p;
  ASSERT_TRUE(decodeRbp(j31, p));
  EXPECT_EQ(p.pixel(5, 5)[3], 0);  // (1, 2, 3) is near black
}

TEST(DibRbp, PrimaryColoursSurviveJbp1) {
  // Four 32 × 32 patches: red, green, blue, grey. The decoded colours must be those colours, not
  // their channel-swapped cousins.
  struct Patch {
    int b, g, r;
  };
  const Patch patches[4] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {128, 128, 128}};
  auto bmp = bitmap(64, 64, 24, [&](int x, int y) {
    const Patch& p = patches[(y / 32) * 2 + x / 32];
    return std::tuple{p.b, p.g, p.r};
  });
  for (int quality : {1, 2, 3}) {
    DibImage d;
    ASSERT_TRUE(d.load(bmp));
    auto rbp = d.toRbp(quality, 0, 0);
    ASSERT_EQ(rbp[4], 30);
    Picture pic;
    ASSERT_TRUE(decodeRbp(rbp, pic));
    for (int i = 0; i < 4; ++i) {
      const uint8_t* q = pic.pixel(uint32_t(16 + (i % 2) * 32), uint32_t(16 + (i / 2) * 32));
      const Patch& want = patches[i];
      EXPECT_NEAR(q[0], want.b, 16) << "patch " << i << " quality " << quality;
      EXPECT_NEAR(q[1], want.g, 16) << "patch " << i << " quality " << quality;
      EXPECT_NEAR(q[2], want.r, 16) << "patch " << i << " quality " << quality;
    }
  }
}

}  // namespace
}  // namespace sorel
