#include "platform/glyphs.h"

#include <gtest/gtest.h>

#include <vector>

namespace platform {
namespace {

const std::string_view kMsGothic = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";

int whitePixels(const std::vector<uint8_t>& bgr) {
  int n = 0;
  for (size_t i = 0; i < bgr.size(); i += 3) {
    EXPECT_TRUE((bgr[i] == 0 && bgr[i + 1] == 0 && bgr[i + 2] == 0) ||
                (bgr[i] == 255 && bgr[i + 1] == 255 && bgr[i + 2] == 255));
    n += bgr[i] == 255;
  }
  return n;
}

TEST(Glyphs, TheDevicesJapaneseFaceResolvesToAFontWithKana) {
  GlyphFont font;
  ASSERT_TRUE(font.open(kMsGothic, 24));
  EXPECT_FALSE(font.resolvedFamily().empty());
  std::vector<uint8_t> bmp(64 * 64 * 3, 0);
  int advance = font.drawCp932(0x82A0, bmp.data(), 64 * 3, 64, 64);  // あ
  EXPECT_GT(advance, 0);
  int on = whitePixels(bmp);  // monochrome: only black and white
  EXPECT_GT(on, 20);
  // Nothing lands outside the cell.
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x)
      if (x >= 26 || y >= 26) {
        EXPECT_EQ(bmp[size_t(y * 64 + x) * 3], 0) << x << "," << y;
      }
}

TEST(Glyphs, BoldIsHeavierAndDrawingIsClipped) {
  GlyphFont regular, bold;
  ASSERT_TRUE(regular.open(kMsGothic, 32, 400));
  ASSERT_TRUE(bold.open(kMsGothic, 32, 900));
  std::vector<uint8_t> a(40 * 40 * 3, 0), b(40 * 40 * 3, 0);
  regular.drawChar(U'\u6F22', a.data(), 40 * 3, 40, 40);
  bold.drawChar(U'\u6F22', b.data(), 40 * 3, 40, 40);
  EXPECT_GT(whitePixels(b), whitePixels(a));
  // A 4 × 4 target takes only what fits.
  std::vector<uint8_t> tiny(4 * 4 * 3 + 3, 0x11);
  tiny.assign(4 * 4 * 3, 0);
  tiny.push_back(0x11);
  bold.drawChar(U'\u6F22', tiny.data(), 4 * 3, 4, 4);
  EXPECT_EQ(tiny.back(), 0x11);
}

TEST(Glyphs, SizesOutsideTheRangeAreRefused) {
  GlyphFont font;
  EXPECT_FALSE(font.open(kMsGothic, 0));
  EXPECT_FALSE(font.open(kMsGothic, 513));
  EXPECT_FALSE(font.isOpen());
  std::vector<uint8_t> bmp(12, 0);
  EXPECT_EQ(font.drawChar(U'A', bmp.data(), 6, 2, 2), -1);
}

TEST(Glyphs, InstalledFamiliesAreCp932NamesJapaneseFirst) {
  auto families = installedFontFamilies();
  ASSERT_FALSE(families.empty());
  // The stand-in for the device's face comes first, so the default message font has kana.
  GlyphFont font;
  ASSERT_TRUE(font.open(families[0], 16));
  std::vector<uint8_t> bmp(32 * 32 * 3, 0);
  EXPECT_GT(font.drawCp932(0x82A0, bmp.data(), 32 * 3, 32, 32), 0);
}

}  // namespace
}  // namespace platform
