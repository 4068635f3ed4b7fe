#include "platform/screenshot.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(Screenshot, ExpansionReplicatesTheTopBits) {
  uint8_t r, g, b;
  expandRgb565(0xFFFF, r, g, b);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 255);
  EXPECT_EQ(b, 255);
  expandRgb565(0x0000, r, g, b);
  EXPECT_EQ(r + g + b, 0);
  expandRgb565(0x8410, r, g, b);  // 10000 100000 10000
  EXPECT_EQ(r, 0x84);
  EXPECT_EQ(g, 0x82);
  EXPECT_EQ(b, 0x84);
}

TEST(Screenshot, EncodesAPngOfTheGivenSize) {
  std::vector<uint16_t> px(4 * 3, 0xF800);
  auto png = encodeRgb565Png(px, 4, 3);
  ASSERT_GT(png.size(), 33u);
  EXPECT_EQ(png[1], 'P');
  EXPECT_EQ(png[19], 4);  // IHDR width (big-endian, low byte)
  EXPECT_EQ(png[23], 3);  // IHDR height
  EXPECT_TRUE(encodeRgb565Png(px, 5, 3).empty());  // fewer pixels than the size needs
}

TEST(Screenshot, DecodesWhatItEncodedAndRefusesDamage) {
  std::vector<uint16_t> px{0xF800, 0x07E0, 0x001F, 0xFFFF, 0x0000, 0x8410};
  auto png = encodeRgb565Png(px, 3, 2);
  std::vector<uint8_t> rgb;
  int w = 0, h = 0;
  ASSERT_TRUE(decodePngRgb(png, rgb, w, h));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  ASSERT_EQ(rgb.size(), 18u);
  for (size_t i = 0; i < px.size(); ++i) {
    uint8_t r, g, b;
    expandRgb565(px[i], r, g, b);
    EXPECT_EQ(rgb[i * 3], r) << i;
    EXPECT_EQ(rgb[i * 3 + 1], g) << i;
    EXPECT_EQ(rgb[i * 3 + 2], b) << i;
  }
  png.resize(png.size() / 2);
  EXPECT_FALSE(decodePngRgb(png, rgb, w, h));
  EXPECT_FALSE(decodePngRgb({}, rgb, w, h));
  EXPECT_EQ(rgb.size(), 18u) << "left as it was";
}

}  // namespace
}  // namespace platform
