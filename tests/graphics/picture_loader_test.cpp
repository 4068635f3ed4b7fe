// RBP loading: the four kinds, the six-bit alpha of version '1' files, tint, names, archive and
// loose-file locations, damaged files, and the save thumbnail.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "converter/jbp1_encoder.h"
#include "converter/mlz_writer.h"
#include "engine/graphics/jbp1_decoder.h"
#include "engine/graphics/picture_loader.h"
#include "engine/resources/mlz_archive.h"
#include "platform/files.h"

namespace sorel {
namespace {

void put16(std::vector<uint8_t>& o, uint16_t v) { o.push_back(uint8_t(v)), o.push_back(uint8_t(v >> 8)); }
void put32(std::vector<uint8_t>& o, uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> rbpHeader(char version, uint32_t kind, uint32_t w, uint32_t h, uint32_t jbpLength = 0) {
  std::vector<uint8_t> o = {'R', 'B', 'P', uint8_t(version)};
  put32(o, kind);
  put32(o, w);
  put32(o, h);
  put32(o, 36);
  put16(o, 640);          // design width
  put16(o, 480);          // design height
  put16(o, 100);          // x
  put16(o, uint16_t(-7)); // y
  put32(o, jbpLength);
  put32(o, 0);
  return o;
}

const uint8_t* px(const Picture& p, uint32_t x, uint32_t y) { return p.pixel(x, y); }

std::string tmpHost(const std::string& name) { return std::string(SOREL_TEST_TMP) + "/picture_loader_" + name; }
std::string sys(const std::string& host) { return *platform::systemPath(host); }

TEST(Rbp, RawKindsExpandWithoutReplicatingLowBits) {
  auto f = rbpHeader('5', 13, 2, 1);
  put16(f, 0xFFFF);
  put16(f, 0x0841);  // red 1, green 2, blue 1 in their fields
  Picture p;
  int x = 0, y = 0;
  ASSERT_TRUE(decodeRbp(f, p, &x, &y));
  EXPECT_EQ(p.width, 2u);
  EXPECT_EQ(p.designWidth, 640);
  EXPECT_EQ(x, 100);
  EXPECT_EQ(y, -7);
  EXPECT_EQ(std::vector<uint8_t>(px(p, 0, 0), px(p, 0, 0) + 4), (std::vector<uint8_t>{0xF8, 0xFC, 0xF8, 255}));
  EXPECT_EQ(std::vector<uint8_t>(px(p, 1, 0), px(p, 1, 0) + 4), (std::vector<uint8_t>{8, 8, 8, 255}));

  // Kind 1: the third byte is alpha; version '1' files store 0..63.
  for (char version : {'5', '1'}) {
    auto g = rbpHeader(version, 1, 3, 1);
    for (uint8_t a : {63, 1, 0}) put16(g, 0x001F), g.push_back(a);
    ASSERT_TRUE(decodeRbp(g, p));
    std::vector<int> alpha = {p.pixel(0, 0)[3], p.pixel(1, 0)[3], p.pixel(2, 0)[3]};
    EXPECT_EQ(alpha, version == '1' ? std::vector<int>({255, 7, 0}) : std::vector<int>({63, 1, 0}));
    EXPECT_EQ(p.pixel(0, 0)[0], 0xF8);
  }
}

TEST(Rbp, Jbp1KindsUseOnlyThePicturesColumnsAndRows) {
  const uint32_t w = 100, h = 40;
  std::vector<uint8_t> bgr(w * h * 3);
  for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = uint8_t((i * 7) ^ (i >> 5));
  Jbp1Encoder enc;
  auto stream = enc.encode({bgr.data(), w, h, w * 3}, 90);
  ASSERT_FALSE(stream.empty());
  Jbp1Decoder d;
  initDecoder(d);
  d.input = stream;
  ASSERT_TRUE(parseHeader(d) && decodePicture(d));
  EXPECT_EQ(d.alignedWidth, 112u);

  auto f30 = rbpHeader('7', 30, w, h, uint32_t(stream.size()));
  f30.insert(f30.end(), stream.begin(), stream.end());
  auto f31 = f30;
  f31[4] = 31;
  for (uint32_t i = 0; i < w * h; ++i) f31.push_back(uint8_t(i));
  Picture p30, p31;
  ASSERT_TRUE(decodeRbp(f30, p30));
  ASSERT_TRUE(decodeRbp(f31, p31));
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint16_t v = d.output[y * d.alignedWidth + x];
      const uint8_t* q = p30.pixel(x, y);
      ASSERT_EQ(q[0], (v << 3) & 0xFF);
      ASSERT_EQ(q[1], (v >> 3) & 0xFC);
      ASSERT_EQ(q[2], (v >> 8) & 0xF8);
      ASSERT_EQ(q[3], 255);
      ASSERT_EQ(p31.pixel(x, y)[3], uint8_t(y * w + x));
      ASSERT_EQ(p31.pixel(x, y)[1], q[1]);
    }

  // Sizes that disagree with the stream or the file.
  auto wrongWidth = f30;
  wrongWidth[8] = 99;
  EXPECT_FALSE(decodeRbp(wrongWidth, p30));
  auto shortAlpha = f31;
  shortAlpha.pop_back();
  EXPECT_FALSE(decodeRbp(shortAlpha, p30));
  auto longStream = f30;
  longStream[28] = 0xFF, longStream[29] = 0xFF, longStream[30] = 0xFF;
  EXPECT_FALSE(decodeRbp(longStream, p30));
}

TEST(Rbp, DamagedFilesFailAndLeaveThePictureAlone) {
  Picture p;
  p.width = 5;
  auto f = rbpHeader('5', 13, 4, 4);
  f.resize(f.size() + 31);  // one byte short
  EXPECT_FALSE(decodeRbp(f, p));
  f.push_back(0);
  EXPECT_TRUE(decodeRbp(f, p));
  p.width = 5;
  for (uint32_t kind : {0u, 2u, 29u, 32u}) {
    auto g = f;
    g[4] = uint8_t(kind);
    EXPECT_FALSE(decodeRbp(g, p)) << kind;
  }
  auto huge = rbpHeader('5', 13, 0x10000000, 0x10000000);
  EXPECT_FALSE(decodeRbp(huge, p));
  auto badOffset = f;
  badOffset[16] = 10;
  EXPECT_FALSE(decodeRbp(badOffset, p));
  for (size_t n = 0; n < 36; ++n) EXPECT_FALSE(decodeRbp(std::span(f).first(n), p));
  EXPECT_EQ(p.width, 5u);
}

TEST(Rbp, TintMakesTintColouredGreyLevels) {
  auto f = rbpHeader('5', 13, 1, 1);
  put16(f, 0xF81F);  // red 0xF8, green 0, blue 0xF8: g = (0xF8 + 0 + 0xF8) / 3 = 165
  Picture p;
  ASSERT_TRUE(decodeRbp(f, p));
  applyTint(p, 0x00FFFFFF);
  EXPECT_EQ(p.pixel(0, 0)[0], 165);
  EXPECT_EQ(p.pixel(0, 0)[1], 165);
  EXPECT_EQ(p.pixel(0, 0)[2], 165);
  ASSERT_TRUE(decodeRbp(f, p));
  applyTint(p, 0x00806040);  // red 0x80, green 0x60, blue 0x40
  EXPECT_EQ(p.pixel(0, 0)[0], 0x40 * 165 / 255);
  EXPECT_EQ(p.pixel(0, 0)[1], 0x60 * 165 / 255);
  EXPECT_EQ(p.pixel(0, 0)[2], 0x80 * 165 / 255);
  EXPECT_EQ(p.pixel(0, 0)[3], 255);
  EXPECT_EQ(p.tint, 0x00806040u);
}

TEST(LoadPicture, NamesLocationsAndMarks) {
  auto f = rbpHeader('5', 13, 1, 1);
  put16(f, 0x07E0);
  const std::string archiveHost = tmpHost("pics.mlz");
  MlzWriter w;
  ASSERT_TRUE(w.open(sys(archiveHost), 2));
  ASSERT_TRUE(w.add("Title.rbp", f, true));
  ASSERT_TRUE(w.add("Other.RBP", f, false));
  ASSERT_TRUE(w.close());

  MlzArchive archive;
  Picture p;
  std::string name = "Title.bmp";
  int x = 0;
  ASSERT_EQ(loadPicture(p, name, sys(archiveHost), 1, &archive, 0, &x), 1);
  EXPECT_EQ(name, "Title.rbp");  // the caller's name is rewritten
  EXPECT_EQ(p.name, "Title.rbp");
  EXPECT_EQ(x, 100);
  EXPECT_EQ(p.flags & Picture::kFlagMarked, Picture::kFlagMarked);
  EXPECT_EQ(p.pixel(0, 0)[1], 0xFC);

  name = "Other.RBP";
  EXPECT_EQ(loadPicture(p, name, sys(archiveHost), 0, &archive, 0x00FF0000), 1);
  EXPECT_EQ(name, "Other.RBP");
  EXPECT_EQ(p.pixel(0, 0)[2], 0xFC / 3);  // red tint over grey 84

  name = "Missing.bmp";
  EXPECT_EQ(loadPicture(p, name, sys(archiveHost), 0, &archive, 0), 0);
  name = "NoDot";
  EXPECT_EQ(loadPicture(p, name, sys(archiveHost), 0, &archive, 0), 0);
  name = std::string(60, 'a') + ".bmp";  // 64 bytes
  EXPECT_EQ(loadPicture(p, name, sys(archiveHost), 0, &archive, 0), 0);

  // A location ending in '\' is a folder of loose files.
  ASSERT_TRUE(platform::writeWholeFile(sys(tmpHost("Loose.rbp")), f));
  std::string folder = sys(std::string(SOREL_TEST_TMP)) + "\\";
  name = "picture_loader_Loose.bmp";
  EXPECT_EQ(loadPicture(p, name, folder, 0, nullptr, 0), 1);
}

TEST(Thumbnail, SixteenBitBmpOfBlockMeans) {
  // 4 × 2 surface to a 2 × 1 thumbnail: each pixel the mean of a 2 × 2 block.
  Surface s;
  s.resize(4, 2);
  const uint8_t left[4][3] = {{10, 20, 30}, {20, 30, 40}, {30, 40, 50}, {41, 50, 60}};
  for (int i = 0; i < 4; ++i) std::memcpy(s.row(i / 2) + (i % 2) * 3, left[i], 3);
  for (int y = 0; y < 2; ++y)
    for (int x = 2; x < 4; ++x) s.row(y)[x * 3 + 2] = 255;
  auto bmp = makeThumbnail(s, 2, 1);
  ASSERT_EQ(bmp.size(), (2u * 1 + 27) * 2);
  EXPECT_EQ(bmp[0], 'B');
  EXPECT_EQ(bmp[2] | (bmp[3] << 8), int(bmp.size()));
  EXPECT_EQ(bmp[10], 54);
  EXPECT_EQ(bmp[14], 40);
  EXPECT_EQ(bmp[28], 16);
  EXPECT_EQ(bmp[34], 4);  // image size 2 × 1 × 2
  // Means: blue (10+20+30+41)/4 = 25, green 35, red 45.
  uint16_t a = uint16_t(bmp[54] | (bmp[55] << 8)), b = uint16_t(bmp[56] | (bmp[57] << 8));
  EXPECT_EQ(a, ((45 & 0xF8) << 8) | ((35 >> 2) << 5) | (25 >> 3));
  EXPECT_EQ(b, 0xF800);

  // Bottom row first; a thumbnail larger than the surface has empty blocks.
  Surface t;
  t.resize(1, 2);
  t.row(0)[0] = 0xFF;  // top pixel blue
  auto tall = makeThumbnail(t, 1, 2);
  EXPECT_EQ(tall[54] | (tall[55] << 8), 0);       // bottom row first
  EXPECT_EQ(tall[56] | (tall[57] << 8), 0x001F);  // then the top row
  auto big = makeThumbnail(t, 4, 4);
  for (size_t i = 54; i < big.size(); ++i) EXPECT_EQ(big[i], 0);
  EXPECT_TRUE(makeThumbnail(t, 0, 4).empty());
}

}  // namespace
}  // namespace sorel
