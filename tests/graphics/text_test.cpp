// Text drawing: coverage masks with and without smoothing, the mark strip, blending with the
// shadow, the cells' redraw states, text into pictures and the status line.
#include "engine/graphics/text.h"

#include <gtest/gtest.h>

#include <set>

#include "engine/resources/screen.h"

namespace sorel {
namespace {

constexpr uint16_t kA = 0xA082;      // あ, first byte low
constexpr uint16_t kYen = 0x8F81;    // ￥
constexpr uint16_t kSemi = 0x4781;   // ；

class Text : public ::testing::Test {
 protected:
  void SetUp() override {
    screenWidth = 640;
    screenHeight = 480;
  }
  static Picture markPicture() {
    Picture p;
    p.width = 18 * 7;
    p.height = 22;
    p.pixels.assign(size_t(p.width) * p.height * 4, 0);
    // Mark k is a filled square of alpha 100 + k in its cell's top-left 4 × 4 pixels.
    for (int k = 0; k < 7; ++k)
      for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) p.pixel(uint32_t(k * 18 + x), uint32_t(y))[3] = uint8_t(100 + k);
    return p;
  }
  TextRenderer renderer;
};

TEST_F(Text, CoverageIsSolidWithoutSmoothingAndBlendedWithIt) {
  auto plain = renderer.coverage(kA, 22, 1);
  ASSERT_EQ(plain.size(), 22u * 22u);
  std::set<int> levels(plain.begin(), plain.end());
  EXPECT_EQ(levels, (std::set<int>{0, 255})) << "a monochrome glyph";
  auto smooth = renderer.coverage(kA, 22, 4);
  std::set<int> more(smooth.begin(), smooth.end());
  EXPECT_GT(more.size(), 2u);
  // Every smoothed level is the mean of 16 pixels of 0 or 255: n × 255 / 16.
  std::set<int> possible;
  for (int n = 0; n <= 16; ++n) possible.insert(n * 255 / 16);
  for (int v : more) EXPECT_TRUE(possible.count(v)) << v;
}

TEST_F(Text, MasksAreCachedAndOversizedRequestsRefused) {
  renderer.coverage(kA, 22, 1);
  uint64_t calls = renderer.rasterCalls();
  renderer.coverage(kA, 22, 1);
  EXPECT_EQ(renderer.rasterCalls(), calls);
  EXPECT_TRUE(renderer.coverage(kA, 300, 1).empty()) << "larger than the scratch bitmap";
  EXPECT_EQ(renderer.coverage(kA, 100, 4).size(), 100u * 100u) << "smoothing lowered to fit";
}

TEST_F(Text, MarksComeFromTheStripNeverFromTheFont) {
  EXPECT_EQ(MarkStrip::markIndex(kYen), 0);
  EXPECT_EQ(MarkStrip::markIndex(kSemi), 4);
  EXPECT_EQ(MarkStrip::markIndex(kA), -1);
  MarkStrip marks;
  ASSERT_TRUE(marks.load(markPicture(), 640, 480));
  TextCells cells;
  cells.enabled = true;
  CharCell c;
  c.state = CharCell::kNew;
  c.code = kYen;
  c.size = 22;
  c.colour = 0x0000FF;  // red
  c.rect = {10, 10, 33, 33};
  cells.add(c);
  Surface s;
  s.resize(64, 64);
  uint64_t calls = renderer.rasterCalls();
  cells.marks = marks;
  drawTextCells(cells, renderer, s, 1, false);
  EXPECT_EQ(renderer.rasterCalls(), calls);
  // Mark 0 has alpha 100 at (left + 1, top): D = (100 × 255) >> 8 on red.
  const uint8_t* p = s.row(10) + 11 * 3;
  EXPECT_EQ(p[2], (100 * 255) >> 8);
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(cells.cells[0].state, CharCell::kDrawn);
}

TEST_F(Text, ShadowIsDrawnBeforeTheGlyphAndOnlyWhenAsked) {
  Surface plain, shaded;
  plain.resize(40, 40);
  std::fill(plain.pixels.begin(), plain.pixels.end(), 200);
  shaded = plain;
  CharCell c;
  c.code = kA;
  c.size = 22;
  c.colour = 0xFFFFFF;
  c.rect = {5, 5, 28, 28};
  MarkStrip none;
  drawCell(c, renderer, none, plain, 1, false);
  drawCell(c, renderer, none, shaded, 1, true);
  auto mask = renderer.coverage(kA, 22, 1);
  int black = 0;
  for (int y = 0; y < 22; ++y)
    for (int x = 0; x < 22; ++x) {
      bool glyph = mask[size_t(y * 22 + x)] == 255;
      const uint8_t* a = plain.row(5 + y) + (5 + x) * 3;
      EXPECT_EQ(a[0], glyph ? 255 : 200);
      const uint8_t* b = shaded.row(6 + y) + (6 + x) * 3;
      bool ownGlyph = y + 1 < 22 && x + 1 < 22 && mask[size_t((y + 1) * 22 + x + 1)] == 255;
      if (glyph && !ownGlyph) {
        EXPECT_EQ(b[0], 0) << "shadow where the glyph does not cover it";
        ++black;
      }
    }
  EXPECT_GT(black, 0);
}

TEST_F(Text, CellsRedrawOnlyWhereMarked) {
  TextCells cells;
  cells.enabled = true;
  for (int i = 0; i < 3; ++i) {
    CharCell c;
    c.code = kA;
    c.size = 22;
    c.rect = {i * 22, 0, i * 22 + 23, 23};
    cells.add(c);
  }
  Rect r{44, 0, 50, 10};
  markCellsInRects(cells, std::span<const Rect>(&r, 1));
  EXPECT_EQ(cells.cells[0].state, CharCell::kDrawn);
  EXPECT_EQ(cells.cells[1].state, CharCell::kRedraw) << "touches at its right edge";
  EXPECT_EQ(cells.cells[2].state, CharCell::kRedraw);
  markCellsForRedraw(cells, false);
  EXPECT_EQ(cells.cells[2].state, CharCell::kDrawn);
  markCellsForRedraw(cells, true);
  EXPECT_EQ(cells.cells[0].state, CharCell::kRedraw);
  cells.enabled = false;
  markCellsForRedraw(cells, false);
  EXPECT_EQ(cells.cells[0].state, CharCell::kRedraw) << "only for an enabled window";
  for (int i = 0; i < 300; ++i) cells.add(CharCell());
  EXPECT_EQ(cells.count, TextCells::kMaxCells);
}

TEST_F(Text, TextIntoAPictureWritesColourAndCoverage) {
  Picture p;
  p.width = 100;
  p.height = 30;
  p.pixels.assign(100 * 30 * 4, 0);
  MarkStrip marks;
  marks.load(markPicture(), 640, 480);
  drawTextToPicture(renderer, marks, p, "a\x82\xa0\x81\x8f", 20, 100, 0, 0x00FF00, 0, 0, 1);
  // "a" advances 10, あ 20, so the mark lands at x 30 + 1.
  EXPECT_EQ(p.pixel(31, 0)[3], 100);
  EXPECT_EQ(p.pixel(31, 0)[1], 0xFF);
  bool glyphSeen = false;
  for (uint32_t y = 0; y < 20; ++y)
    for (uint32_t x = 10; x < 30; ++x) glyphSeen |= p.pixel(x, y)[3] == 255;
  EXPECT_TRUE(glyphSeen);
}

TEST_F(Text, StatusLineIsWrittenRotated) {
  std::vector<uint8_t> rotated(size_t(640) * 480 * 3, 0);
  drawStatusText(renderer, rotated, 640, 480, "\x82\xa0", 0, 0, 0x0000FF, 12);
  int set = 0;
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 12; ++x) {
      const uint8_t* d = rotated.data() + (size_t(639 - x) * 480 + size_t(y)) * 3;
      if (d[2] == 0xFF) ++set;
    }
  EXPECT_GT(set, 10);
}

TEST_F(Text, TextSpriteIsAsLargeAsItsText) {
  Picture p;
  drawTextSprite(renderer, p, "\x82\xa0\x82\xa2" "a", 20, 0xFFFFFF);
  EXPECT_EQ(p.width, 50u);
  EXPECT_EQ(p.height, 20u);
  screenWidth = 320;
  screenHeight = 240;
  drawTextSprite(renderer, p, "\x82\xa0", 20, 0xFFFFFF);
  EXPECT_EQ(p.width, 10u);
  EXPECT_EQ(p.designWidth, 20);
}

}  // namespace
}  // namespace sorel
