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

}  // namespace
}  // namespace platform
