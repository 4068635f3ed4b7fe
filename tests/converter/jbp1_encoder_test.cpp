// The JBP1 encoder's stream layout and symbol choice; decoding of its output is pinned by the
// decoder tests.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "converter/jbp1_encoder.h"
#include "engine/graphics/jbp1_decoder.h"
#include "engine/graphics/jbp1_format.h"

namespace sorel {
namespace {

uint32_t le32(const std::vector<uint8_t>& s, size_t at) {
  return s[at] | (s[at + 1] << 8) | (s[at + 2] << 16) | (uint32_t(s[at + 3]) << 24);
}

struct Layout {
  std::vector<uint32_t> dc, ac;
  size_t countsEnd = 0;
};

// Reads the count tables back by the format's rules.
Layout layoutOf(const std::vector<uint8_t>& s) {
  Layout l;
  size_t at = 44;
  for (int i = 0; i < 16; ++i, at += 4) l.dc.push_back(le32(s, at));
  std::vector<uint8_t> raw;
  size_t start = at;
  while (raw.size() < 1024) {
    if (s[at]) raw.push_back(s[at++]);
    else raw.insert(raw.end(), size_t(s[at + 1]) + 1, 0), at += 2;
  }
  EXPECT_EQ(raw.size(), 1024u);
  at += (4 - (at - start) % 4) % 4;
  for (int i = 0; i < 256; ++i) l.ac.push_back(le32(raw, size_t(i) * 4));
  l.countsEnd = at;
  return l;
}

TEST(Jbp1Encoder, HeaderCountsAndSizes) {
  const uint32_t w = 40, h = 33;  // 3 × 3 macroblocks, 54 blocks
  std::vector<uint8_t> grey(w * h * 3, 128);
  Jbp1Encoder enc;
  auto s = enc.encode({grey.data(), w, h, w * 3}, 80);
  ASSERT_FALSE(s.empty());
  EXPECT_EQ(std::string(s.begin(), s.begin() + 4), "JBP1");
  EXPECT_EQ(le32(s, 4), 44u);
  EXPECT_EQ(le32(s, 8), 0x08000001u);
  EXPECT_EQ(le32(s, 12), 80u);
  EXPECT_EQ(le32(s, 16), w | (h << 16));
  EXPECT_EQ(le32(s, 20), 24u);
  EXPECT_EQ(le32(s, 24), 0u);
  EXPECT_EQ(le32(s, 36), 0u);
  EXPECT_EQ(le32(s, 40), 0u);
  Layout l = layoutOf(s);
  // A flat grey picture: every block ends at once, every DC but the first repeats.
  EXPECT_EQ(l.ac[0], 54u);
  for (int i = 1; i < 256; ++i) EXPECT_EQ(l.ac[size_t(i)], 0u);
  uint32_t dcTotal = 0;
  for (uint32_t c : l.dc) dcTotal += c;
  EXPECT_EQ(dcTotal, 54u);
  EXPECT_GE(l.dc[0], 52u);
  const uint32_t dcBytes = le32(s, 28), acBytes = le32(s, 32);
  EXPECT_EQ(dcBytes % 4, 0u);
  EXPECT_EQ(acBytes % 4, 0u);
  EXPECT_EQ(s.size(), l.countsEnd + 128 + dcBytes + acBytes);
  EXPECT_EQ(enc.coefficients().size(), 54u * 64);
  // The quantisation tables follow the counts; the flat picture's DC carries the table's step.
  EXPECT_GT(s[l.countsEnd], 0);
  EXPECT_GT(s[l.countsEnd + 64], 0);
}

TEST(Jbp1Encoder, RunSymbolsAndValueSymbolsAgreeWithTheCoefficients) {
  // Grey cosine patterns of the highest horizontal (left half) and the highest horizontal and
  // vertical frequency (right half): the blocks hold few coefficients far down the zigzag, so
  // long zero runs (0xF0..0xFF symbols) come out. A little noise gives the other symbols.
  const uint32_t w = 64, h = 64;
  std::vector<uint8_t> pic(w * h * 3);
  std::mt19937 rng(5);
  const double pi = 3.14159265358979;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      double cx = std::cos(pi * (2 * (x % 8) + 1) * 7 / 16), cy = std::cos(pi * (2 * (y % 8) + 1) * 7 / 16);
      double v = 128 + 60 * (x < 32 ? cx : cx * cy) + (y > 48 ? int(rng() % 5) - 2 : 0);
      for (int c = 0; c < 3; ++c) pic[(y * w + x) * 3 + c] = uint8_t(v);
    }
  Jbp1Encoder enc;
  auto s = enc.encode({pic.data(), w, h, w * 3}, 100);
  ASSERT_FALSE(s.empty());
  Layout l = layoutOf(s);

  // Count the symbols the rules give for the coefficients and compare.
  std::vector<uint32_t> ac(256, 0), dc(16, 0);
  const auto& c = enc.coefficients();
  int prev = 0;
  for (size_t b = 0; b < c.size() / 64; ++b) {
    ++dc[size_t(jbp1::category(c[b * 64] - prev))];
    prev = c[b * 64];
    int run = 0;
    for (int k = 1; k < 64; ++k) {
      int v = c[b * 64 + jbp1::kZigzag[size_t(k)]];
      if (v == 0) {
        ++run;
        continue;
      }
      for (; run > 30; run -= 30) ++ac[0xFF];
      if (run >= 15) ++ac[size_t(0xF0 | (run - 15))], run = 0;
      ++ac[size_t((run << 4) | jbp1::category(v))];
      run = 0;
    }
    if (run) ++ac[0];
  }
  EXPECT_EQ(l.ac, ac);
  EXPECT_EQ(l.dc, dc);
  uint32_t runSymbols = 0;
  for (int i = 0xF0; i <= 0xFF; ++i) runSymbols += ac[size_t(i)];
  EXPECT_GT(runSymbols, 0u);

  // And the decoder reads the same coefficients back.
  Jbp1Decoder d;
  initDecoder(d);
  d.input = s;
  std::vector<int16_t> back;
  ASSERT_TRUE(parseHeader(d) && decodeCoefficients(d, back));
  EXPECT_EQ(back, c);
}

TEST(Jbp1Encoder, RefusesWhatItCannotEncode) {
  std::vector<uint8_t> pic(3 * 5000, 1);
  Jbp1Encoder enc;
  EXPECT_TRUE(enc.encode({pic.data(), 5000, 1, 5000 * 3}, 90).empty());  // wider than the decoder takes
  EXPECT_TRUE(enc.encode({pic.data(), 0, 1, 0}, 90).empty());
  EXPECT_TRUE(enc.encode({nullptr, 1, 1, 3}, 90).empty());
  EXPECT_TRUE(enc.encode({pic.data(), 1, 1, 3}, 0).empty());
  EXPECT_FALSE(enc.encode({pic.data(), 1, 1, 3}, 90).empty());  // one pixel still makes a stream
}

}  // namespace
}  // namespace sorel
