// The working bitmap: reading bitmaps as they are laid out, keys, compositing, shrinking and the
// RBP image.
#include <gtest/gtest.h>

#include <array>
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
  auto rle = bmp;
  rle[30] = 1;  // RLE8 on a 24-bit picture
  EXPECT_FALSE(d.load(rle, &why));
  EXPECT_EQ(why, DibError::Unsupported);
  EXPECT_FALSE(d.load(std::vector<uint8_t>{'B', 'M', 0}, &why));
  for (size_t n = 0; n < bmp.size() - 3; ++n) EXPECT_FALSE(d.load(std::span(bmp).first(n))) << n;
}

// A bitmap file built field by field, for the variants the game's own pictures do not use.
struct BmpSpec {
  uint32_t headerSize = 40;  // 12 core (OS/2), 40 info, 52/56 V2/V3, 108 V4, 124 V5
  int32_t width = 3;
  int32_t height = 2;  // negative: top-down rows
  uint16_t bits = 8;
  uint32_t compression = 0;
  uint32_t colorsUsed = 0;
  std::vector<std::array<uint8_t, 3>> palette;  // blue, green, red
  std::array<uint32_t, 3> masks = {0, 0, 0};     // red, green, blue, for bit fields
  std::vector<uint8_t> pixels;                   // as stored, rows in file order
};

std::vector<uint8_t> buildBmp(const BmpSpec& s) {
  const bool core = s.headerSize == 12;
  const bool fieldsBehind = s.headerSize == 40 && (s.compression == 3 || s.compression == 6);
  const uint32_t paletteBytes = static_cast<uint32_t>(s.palette.size()) * (core ? 3 : 4);
  const uint32_t offset = 14 + s.headerSize + (fieldsBehind ? 12 : 0) + paletteBytes;
  std::vector<uint8_t> o = {'B', 'M'};
  put32(o, offset + static_cast<uint32_t>(s.pixels.size()));  // bfSize
  put32(o, 0);                                                // bfReserved1, bfReserved2
  put32(o, offset);                                           // bfOffBits
  put32(o, s.headerSize);                                     // biSize / bcSize
  if (core) {
    put16(o, static_cast<uint16_t>(s.width));   // bcWidth
    put16(o, static_cast<uint16_t>(s.height));  // bcHeight
    put16(o, 1);                                // bcPlanes
    put16(o, s.bits);                           // bcBitCount
  } else {
    put32(o, static_cast<uint32_t>(s.width));   // biWidth
    put32(o, static_cast<uint32_t>(s.height));  // biHeight
    put16(o, 1);                                // biPlanes
    put16(o, s.bits);                           // biBitCount
    put32(o, s.compression);                    // biCompression
    put32(o, static_cast<uint32_t>(s.pixels.size()));  // biSizeImage
    put32(o, 2835), put32(o, 2835);             // biXPelsPerMeter, biYPelsPerMeter
    put32(o, s.colorsUsed);                     // biClrUsed
    put32(o, 0);                                // biClrImportant
    if (s.headerSize > 40 || fieldsBehind) {
      put32(o, s.masks[0]), put32(o, s.masks[1]), put32(o, s.masks[2]);  // red, green, blue
    }
    if (s.headerSize > 52) put32(o, 0xFF000000u);  // alpha mask (V3 on)
    o.resize(14 + s.headerSize + (fieldsBehind ? 12 : 0), 0);  // V4/V5 colour space: zeros
  }
  for (const auto& c : s.palette) {
    o.insert(o.end(), c.begin(), c.end());
    if (!core) o.push_back(0);
  }
  o.insert(o.end(), s.pixels.begin(), s.pixels.end());
  return o;
}

// Palette indices of a picture packed into rows of 1, 4 or 8 bits, 4-byte aligned, in file order.
std::vector<uint8_t> packIndices(const std::vector<std::vector<int>>& topDown, int bits, bool bottomUp) {
  const size_t w = topDown[0].size(), stride = (w * size_t(bits) + 31) / 32 * 4;
  std::vector<uint8_t> o;
  for (size_t k = 0; k < topDown.size(); ++k) {
    const auto& row = topDown[bottomUp ? topDown.size() - 1 - k : k];
    std::vector<uint8_t> bytes(stride, 0);
    for (size_t x = 0; x < w; ++x)
      bytes[x * size_t(bits) / 8] |= static_cast<uint8_t>(row[x] << (8 - bits - int(x * size_t(bits) % 8)));
    o.insert(o.end(), bytes.begin(), bytes.end());
  }
  return o;
}

using Bgr = std::array<uint8_t, 3>;
const std::vector<Bgr> kPalette = {Bgr{10, 20, 30}, Bgr{40, 50, 60}, Bgr{70, 80, 90}, Bgr{100, 110, 120}};
const std::vector<std::vector<int>> kIndices = {{3, 0, 2}, {1, 2, 3}};  // top row first
const std::vector<std::vector<int>> kBits = {{1, 0, 1}, {0, 1, 1}};

std::vector<uint8_t> words16(std::initializer_list<uint16_t> v) {
  std::vector<uint8_t> o;
  for (uint16_t x : v) put16(o, x);
  return o;
}

TEST(DibLoad, EveryStandardVariantGivesTheSamePixels) {
  std::vector<Bgr> pal4(kPalette), pal2(kPalette.begin(), kPalette.begin() + 2);
  std::vector<Bgr> pal16(16, Bgr{0, 0, 0}), pal256(256, Bgr{0, 0, 0});
  std::copy(kPalette.begin(), kPalette.end(), pal16.begin());
  std::copy(kPalette.begin(), kPalette.end(), pal256.begin());
  // The picture of kIndices (or kBits) in palette colours, top row first.
  std::vector<Bgr> want;
  for (const auto& row : kIndices)
    for (int i : row) want.push_back(kPalette[size_t(i)]);
  std::vector<Bgr> wantBits;
  for (const auto& row : kBits)
    for (int i : row) wantBits.push_back(kPalette[size_t(i)]);

  // Row order of the 24-bit-style variants: bottom row (1 2 3) first in the file.
  std::vector<uint8_t> rows24;
  for (int k : {1, 0}) {
    for (int i : kIndices[size_t(k)]) rows24.insert(rows24.end(), kPalette[size_t(i)].begin(), kPalette[size_t(i)].end());
    rows24.resize(rows24.size() + 3, 0);  // 9 bytes padded to 12
  }
  std::vector<uint8_t> rows32;
  for (int k : {1, 0})
    for (int i : kIndices[size_t(k)]) {
      rows32.insert(rows32.end(), kPalette[size_t(i)].begin(), kPalette[size_t(i)].end());
      rows32.push_back(0xAB);  // unused
    }
  // 10-10-10 bit fields: each 8-bit value v stored as v << 2 | 3 in its ten bits.
  std::vector<uint8_t> rows101010;
  for (int k : {1, 0})
    for (int i : kIndices[size_t(k)]) {
      const Bgr& c = kPalette[size_t(i)];
      put32(rows101010, (uint32_t(c[2]) << 2 | 3) << 20 | (uint32_t(c[1]) << 2 | 3) << 10 | (uint32_t(c[0]) << 2 | 3));
    }

  struct Case {
    const char* what;
    BmpSpec spec;
    const std::vector<Bgr>* expected;
  };
  const Case cases[] = {
      {"1-bit", {40, 3, 2, 1, 0, 2, pal2, {}, packIndices(kBits, 1, true)}, &wantBits},
      {"4-bit", {40, 3, 2, 4, 0, 0, pal16, {}, packIndices(kIndices, 4, true)}, &want},
      {"8-bit, short palette", {40, 3, 2, 8, 0, 4, pal4, {}, packIndices(kIndices, 8, true)}, &want},
      {"8-bit top-down", {40, 3, -2, 8, 0, 0, pal256, {}, packIndices(kIndices, 8, false)}, &want},
      // File order: bottom row first. RLE8: absolute run of 3 (1 2 3, padded), end of line,
      // three runs of one (3, 0, 2), end of bitmap.
      {"RLE8", {40, 3, 2, 8, 1, 4, pal4, {}, {0, 3, 1, 2, 3, 0, 0, 0, 1, 3, 1, 0, 1, 2, 0, 1}}, &want},
      // RLE4: absolute run of 3 nibbles (0x12 0x30), end of line, a run of two alternating
      // nibbles 3 0, a run of one 2, end of bitmap.
      {"RLE4", {40, 3, 2, 4, 2, 4, pal4, {}, {0, 3, 0x12, 0x30, 0, 0, 2, 0x30, 1, 0x20, 0, 1}}, &want},
      {"OS/2 core 8-bit", {12, 3, 2, 8, 0, 0, pal256, {}, packIndices(kIndices, 8, true)}, &want},
      {"OS/2 core 24-bit", {12, 3, 2, 24, 0, 0, {}, {}, rows24}, &want},
      {"32-bit", {40, 3, 2, 32, 0, 0, {}, {}, rows32}, &want},
      {"32-bit 10-10-10 bit fields", {40, 3, 2, 32, 3, 0, {}, {0x3FF00000, 0x000FFC00, 0x000003FF}, rows101010}, &want},
      {"V4 header 24-bit", {108, 3, 2, 24, 0, 0, {}, {}, rows24}, &want},
      {"V5 header 32-bit bit fields", {124, 3, 2, 32, 3, 0, {}, {0x00FF0000, 0x0000FF00, 0x000000FF}, rows32}, &want},
      {"V3 header 32-bit", {56, 3, 2, 32, 0, 0, {}, {}, rows32}, &want},
  };
  for (const Case& c : cases) {
    DibImage d;
    DibError why;
    ASSERT_TRUE(d.load(buildBmp(c.spec), &why)) << c.what << ": " << dibErrorText(why);
    ASSERT_EQ(d.bitsPerPixel(), 24) << c.what;
    ASSERT_EQ(d.width(), 3u) << c.what;
    ASSERT_EQ(d.height(), 2u) << c.what;
    for (uint32_t i = 0; i < 6; ++i) {
      const Bgr& e = (*c.expected)[i];
      EXPECT_EQ(at(d, i % 3, i / 3), (std::vector<int>{e[0], e[1], e[2]})) << c.what << " pixel " << i;
    }
  }
}

TEST(DibLoad, SixteenBitFieldsOfAnyMaskAndRleSkips) {
  // 16-bit fields: 5-6-5 given explicitly, 5-5-5, 4-4-4 in a V4 header; kept at 16 bits (the
  // plain rule expands them) and expanded with low bits zero.
  struct Case {
    const char* what;
    uint32_t headerSize;
    std::array<uint32_t, 3> masks;
    uint16_t pixel;
    std::vector<int> bgr;
  };
  const Case cases[] = {
      {"565", 40, {0xF800, 0x07E0, 0x001F}, 0xFFFF, {0xF8, 0xFC, 0xF8}},
      {"555", 40, {0x7C00, 0x03E0, 0x001F}, 0x7C1F, {0xF8, 0, 0xF8}},
      {"444 in a V4 header", 108, {0x0F00, 0x00F0, 0x000F}, 0x0A5F, {0xF0, 0x50, 0xA0}},
  };
  for (const Case& c : cases) {
    DibImage d;
    ASSERT_TRUE(d.load(buildBmp({c.headerSize, 1, 1, 16, 3, 0, {}, c.masks, words16({c.pixel, 0})}))) << c.what;
    EXPECT_EQ(d.bitsPerPixel(), 16) << c.what;
    d.expand16To24();
    EXPECT_EQ(at(d, 0, 0), c.bgr) << c.what;
  }
  // RLE8 with a delta (right 1, up 1) from the bottom row's start, then a run of 2 that ends
  // the picture early: every skipped pixel is black.
  DibImage d;
  ASSERT_TRUE(d.load(buildBmp({40, 3, 2, 8, 1, 4, kPalette, {}, {0, 2, 1, 1, 2, 3, 0, 1}})));
  EXPECT_EQ(at(d, 0, 0), (std::vector<int>{0, 0, 0}));
  EXPECT_EQ(at(d, 1, 0), (std::vector<int>{100, 110, 120}));
  EXPECT_EQ(at(d, 2, 0), (std::vector<int>{100, 110, 120}));
  for (uint32_t x = 0; x < 3; ++x) EXPECT_EQ(at(d, x, 1), (std::vector<int>{0, 0, 0}));
}

TEST(DibLoad, MalformedBitmapsAreRefusedWithTheirReason) {
  const std::vector<Bgr> pal4(kPalette);
  struct Case {
    const char* what;
    BmpSpec spec;
    DibError why;
  };
  const Case cases[] = {
      // Two palette entries; index 3 in the picture.
      {"palette index", {40, 3, 2, 8, 0, 2, {kPalette[0], kPalette[1]}, {}, packIndices(kIndices, 8, true)},
       DibError::PaletteIndex},
      {"RLE palette index", {40, 3, 2, 8, 1, 2, {kPalette[0], kPalette[1]}, {}, {1, 3, 0, 1}}, DibError::PaletteIndex},
      // A run of 4 in a row of 3.
      {"RLE run past the row", {40, 3, 2, 8, 1, 4, pal4, {}, {4, 1, 0, 1}}, DibError::RlePastPicture},
      // An absolute run of 4 in a row of 3.
      {"RLE absolute past the row", {40, 3, 2, 4, 2, 4, pal4, {}, {0, 4, 0x12, 0x30, 0, 1}}, DibError::RlePastPicture},
      // A delta 3 rows up in a picture of 2.
      {"RLE delta past the picture", {40, 3, 2, 8, 1, 4, pal4, {}, {0, 2, 0, 3, 0, 1}}, DibError::RlePastPicture},
      // Two ends of line, then a pixel above the top row.
      {"RLE rows past the picture", {40, 3, 2, 8, 1, 4, pal4, {}, {0, 0, 0, 0, 1, 1, 0, 1}}, DibError::RlePastPicture},
      // An absolute run of 3 with only one byte left.
      {"RLE cut short", {40, 3, 2, 8, 1, 4, pal4, {}, {0, 3, 1}}, DibError::Truncated},
      {"RLE delta cut short", {40, 3, 2, 8, 1, 4, pal4, {}, {0, 2, 1}}, DibError::Truncated},
      // biClrUsed 0 means 256 entries; four are stored before the file ends.
      {"palette past the file", {40, 3, 2, 8, 0, 0, pal4, {}, {}}, DibError::Truncated},
      {"pixels past the file", {40, 3, 2, 8, 0, 4, pal4, {}, {1, 2, 3}}, DibError::Truncated},
      {"masks with a gap", {40, 1, 1, 16, 3, 0, {}, {0xF00F, 0x00F0, 0x0F00}, words16({0, 0})}, DibError::BadMasks},
      {"2 bits per pixel", {40, 3, 2, 2, 0, 4, pal4, {}, std::vector<uint8_t>(8, 0)}, DibError::Unsupported},
      {"RLE4 on 8 bits", {40, 3, 2, 8, 2, 4, pal4, {}, {0, 1}}, DibError::Unsupported},
      {"JPEG inside", {40, 3, 2, 24, 4, 0, {}, {}, std::vector<uint8_t>(24, 0)}, DibError::Unsupported},
      {"zero width", {40, 0, 2, 24, 0, 0, {}, {}, {}}, DibError::NotBitmap},
      {"too wide", {40, 8193, 1, 24, 0, 0, {}, {}, {}}, DibError::TooLarge},
      {"header of 20 bytes", {20, 3, 2, 24, 0, 0, {}, {}, {}}, DibError::NotBitmap},
  };
  for (const Case& c : cases) {
    DibImage d;
    DibError why = DibError::None;
    EXPECT_FALSE(d.load(buildBmp(c.spec), &why)) << c.what;
    EXPECT_EQ(why, c.why) << c.what << ": " << dibErrorText(why);
    EXPECT_FALSE(dibErrorText(why).empty()) << c.what;
  }
  // The pixel offset pointing past the end of the file.
  auto bmp = buildBmp({40, 3, 2, 24, 0, 0, {}, {}, std::vector<uint8_t>(24, 0)});
  bmp[10] = 0xFF, bmp[11] = 0xFF;
  DibImage d;
  DibError why;
  EXPECT_FALSE(d.load(bmp, &why));
  EXPECT_EQ(why, DibError::Truncated);
  // Every cut of an RLE4 file is refused or read within its bytes (the sanitizers watch).
  auto rle = buildBmp({40, 3, 2, 4, 2, 4, pal4, {}, {0, 3, 0x12, 0x30, 0, 0, 2, 0x30, 1, 0x20, 0, 1}});
  for (size_t n = 0; n < rle.size(); ++n) d.load(std::span(rle).first(n));
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

  // The players take JBP1 pictures of at most 4096 pixels a side, raw ones up to 8192: a wider
  // picture is written raw. Either way one the players load.
  for (auto [w, h] : {std::pair{4096u, 32u}, {4097u, 32u}, {32u, 4097u}}) {
    auto rbp = DibImage::fromPixels(w, h, 24, std::vector<uint8_t>(size_t(w) * h * 3, 0x40)).toRbp(2, 0, 0);
    EXPECT_EQ(rbp[4], w == 4096 ? 30 : 13) << w << " x " << h;
    EXPECT_TRUE(decodeRbp(rbp, p)) << w << " x " << h;
  }
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
