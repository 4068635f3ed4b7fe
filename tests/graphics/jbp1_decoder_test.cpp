// The JBP1 decoder against a plain transcription of the format's rules (bit-by-bit tree walk,
// literal transform and 768-entry colour tables), on hand-built streams and on encoder output.
#include <gtest/gtest.h>

#include <array>
#include <algorithm>
#include <cstring>
#include <functional>
#include <tuple>
#include <random>
#include <vector>

#include "converter/jbp1_encoder.h"
#include "engine/graphics/jbp1_decoder.h"
#include "engine/graphics/jbp1_format.h"
#include "engine/graphics/jbp1_kernels.h"

namespace sorel {
namespace {

constexpr int kZz[64] = {0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
                         41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
                         30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// ---- The rules, written out plainly -------------------------------------------------------

struct RefTree {
  int n = 0, root = -1;
  std::vector<int> c0, c1;
};

// Linear scans over every node made so far, lowest number first on ties.
RefTree refTree(const std::vector<uint32_t>& counts) {
  RefTree t;
  t.n = static_cast<int>(counts.size());
  std::vector<int64_t> w(counts.begin(), counts.end());
  w.resize(2 * counts.size());
  t.c0.assign(w.size(), -1);
  t.c1.assign(w.size(), -1);
  int next = t.n;
  for (;;) {
    int a = -1, b = -1;
    for (int i = 0; i < next; ++i)
      if (w[i] < 2099999999 && (a < 0 || w[i] < w[a])) a = i;
    for (int i = 0; i < next; ++i)
      if (i != a && w[i] < 2099999999 && (b < 0 || w[i] < w[b])) b = i;
    if (a < 0 || b < 0) break;
    t.c0[next] = a;
    t.c1[next] = b;
    w[next] = w[a] + w[b];
    w[a] = w[b] = 2100000000;
    t.root = next++;
  }
  return t;
}

std::vector<int> refCode(const RefTree& t, int symbol) {
  // Path from the root, found by searching down.
  std::vector<int> path;
  std::function<bool(int)> find = [&](int node) {
    if (node == symbol) return true;
    if (node < t.n) return false;
    path.push_back(0);
    if (find(t.c0[node])) return true;
    path.back() = 1;
    if (find(t.c1[node])) return true;
    path.pop_back();
    return false;
  };
  find(t.root);
  return path;
}

struct RefBits {
  const uint8_t* p;
  size_t bytes;
  size_t pos = 0;  // in bits
  int bit() {
    size_t word = pos / 32;
    int b = 0;
    if (word * 4 + 4 <= bytes) {
      uint32_t w = p[word * 4] | (p[word * 4 + 1] << 8) | (p[word * 4 + 2] << 16) | (uint32_t(p[word * 4 + 3]) << 24);
      b = (w >> (pos % 32)) & 1;
    }
    ++pos;
    return b;
  }
  int bits(int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | bit();
    return v;
  }
  int symbol(const RefTree& t) {
    int node = t.root;
    while (node >= t.n) node = bit() ? t.c1[node] : t.c0[node];
    return node;
  }
};

int extend(int m, int s) { return s > 0 && m < (1 << (s - 1)) ? m - (1 << s) + 1 : m; }
uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

int32_t m16(int64_t x, int64_t k) { return static_cast<int32_t>((x * k) >> 16); }

void refPass(const int32_t* x, int32_t* y) {
  int32_t z1 = m16(x[2] + x[6], 35467), t2 = z1 + m16(x[6], -121094), t3 = z1 + m16(x[2], 50159);
  int32_t t0 = x[0] + x[4], t1 = x[0] - x[4];
  int32_t e0 = t0 + t3, e3 = t0 - t3, e1 = t1 + t2, e2 = t1 - t2;
  int32_t q1 = x[7] + x[1], q2 = x[5] + x[3], q3 = x[7] + x[3], q4 = x[5] + x[1];
  int32_t z5 = m16(q3 + q4, 77062), p1 = m16(q1, -58980), p2 = m16(q2, -167963);
  int32_t p3 = z5 + m16(q3, -128553), p4 = z5 + m16(q4, -25570);
  int32_t b0 = m16(x[7], 19571) + p1 + p3, b1 = m16(x[5], 134553) + p2 + p4;
  int32_t b2 = m16(x[3], 201373) + p2 + p3, b3 = m16(x[1], 98390) + p1 + p4;
  y[0] = e0 + b3, y[7] = e0 - b3, y[1] = e1 + b2, y[6] = e1 - b2;
  y[2] = e2 + b1, y[5] = e2 - b1, y[3] = e3 + b0, y[4] = e3 - b0;
}

void refIdct(const int16_t* coef, const uint8_t* q, int16_t* out) {
  int16_t ws[64];
  for (int c = 0; c < 8; ++c) {
    int32_t x[8], y[8];
    bool zero = true;
    for (int r = 0; r < 8; ++r) {
      x[r] = coef[r * 8 + c] * q[r * 8 + c];
      if (r > 0 && coef[r * 8 + c] != 0) zero = false;
    }
    if (zero)
      for (int r = 0; r < 8; ++r) y[r] = x[0];
    else
      refPass(x, y);
    for (int r = 0; r < 8; ++r) ws[r * 8 + c] = static_cast<int16_t>(y[r]);
  }
  for (int r = 0; r < 8; ++r) {
    int32_t x[8], y[8];
    for (int c = 0; c < 8; ++c) x[c] = ws[r * 8 + c];
    refPass(x, y);
    for (int c = 0; c < 8; ++c) out[r * 8 + c] = static_cast<int16_t>(y[c] >> 3);
  }
}

struct RefDecoded {
  int width = 0, height = 0, alignedW = 0, alignedH = 0;
  std::vector<int16_t> coef;
  std::vector<uint16_t> pixels;
};

RefDecoded refDecode(const std::vector<uint8_t>& s) {
  static std::array<uint16_t, 768> red, green, blue;
  for (int i = 0; i < 768; ++i) {
    int v = i - 256;
    red[i] = i < 256 ? 0 : i < 512 ? (v & 0xF8) << 8 : 0xF800;
    green[i] = i < 256 ? 0 : i < 512 ? (v & 0xFC) << 3 : 0x07E0;
    blue[i] = i < 256 ? 0 : i < 512 ? v >> 3 : 0x001F;
  }
  RefDecoded r;
  r.width = s[16] | (s[17] << 8);
  r.height = s[18] | (s[19] << 8);
  r.alignedW = (r.width + 15) & ~15;
  r.alignedH = (r.height + 15) & ~15;
  size_t at = le32(&s[4]);
  std::vector<uint32_t> dcCounts(16), acCounts(256);
  for (int i = 0; i < 16; ++i, at += 4) dcCounts[i] = le32(&s[at]);
  std::vector<uint8_t> raw;
  size_t start = at;
  while (raw.size() < 1024) {
    uint8_t b = s[at++];
    if (b) raw.push_back(b);
    else raw.insert(raw.end(), s[at++] + 1u, 0);
  }
  at += (4 - (at - start) % 4) % 4;
  for (int i = 0; i < 256; ++i) acCounts[i] = le32(&raw[i * 4]);
  const uint8_t* lq = &s[at];
  const uint8_t* cq = &s[at + 64];
  at += 128;
  RefTree dcT = refTree(dcCounts), acT = refTree(acCounts);
  RefBits dcIn{&s[at], le32(&s[28])}, acIn{&s[at + le32(&s[28])], le32(&s[32])};
  int mbW = r.alignedW / 16, mbH = r.alignedH / 16;
  r.pixels.assign(size_t(r.alignedW) * r.alignedH, 0);
  int16_t dc = 0;
  for (int my = 0; my < mbH; ++my)
    for (int mx = 0; mx < mbW; ++mx) {
      int16_t blk[6][64];
      for (int b = 0; b < 6; ++b) {
        int sym = dcIn.symbol(dcT);
        int v = sym ? extend(dcIn.bits(sym), sym) : 0;
        dc = static_cast<int16_t>(dc + v);
        int16_t c[64] = {};
        c[0] = dc;
        int k = 0;
        while (k < 63) {
          int a = acIn.symbol(acT);
          if (a == 0) break;
          if (a >= 240) {
            k += (a & 15) + 15;
          } else {
            k += a >> 4;
            int z = a & 15;
            c[kZz[k + 1]] = static_cast<int16_t>(z ? extend(acIn.bits(z), z) : 0);
            k += 1;
          }
        }
        r.coef.insert(r.coef.end(), c, c + 64);
        refIdct(c, b < 4 ? lq : cq, blk[b]);
      }
      for (int py = 0; py < 16; ++py)
        for (int px = 0; px < 16; ++px) {
          int yb = (py < 8 ? 0 : 2) + (px < 8 ? 0 : 1);
          int y = blk[yb][(py & 7) * 8 + (px & 7)];
          int c1 = blk[4][(py / 2) * 8 + px / 2], c2 = blk[5][(py / 2) * 8 + px / 2];
          int base = y + 384;
          auto ix = [](int i) { return std::clamp(i, 0, 767); };
          int rt = m16(c2, 116129), bt = m16(c1, 91881);
          int gt = static_cast<int32_t>((int64_t(c2) * 22553 + int64_t(c1) * 46801) >> 16);
          r.pixels[size_t(my * 16 + py) * r.alignedW + mx * 16 + px] =
              red[ix(base + rt)] | green[ix(base - gt)] | blue[ix(base + bt)];
        }
    }
  return r;
}

// ---- A test-side writer of hand-made streams ----------------------------------------------

struct Sym {
  int symbol;
  int bitCount;
  int bits;
};

class BitOut {
 public:
  void bit(int b) {
    if (m_n % 32 == 0) m_words.push_back(0);
    m_words.back() |= uint32_t(b & 1) << (m_n % 32);
    ++m_n;
  }
  std::vector<uint8_t> bytes() const {
    std::vector<uint8_t> out;
    for (uint32_t w : m_words)
      for (int i = 0; i < 4; ++i) out.push_back(uint8_t(w >> (8 * i)));
    return out;
  }

 private:
  std::vector<uint32_t> m_words;
  size_t m_n = 0;
};

Sym value(int high, int v) {
  int m = v < 0 ? -v : v, cat = 0;
  while (m) m >>= 1, ++cat;
  return {high | cat, cat, (v < 0 ? v - 1 : v) & ((1 << cat) - 1)};
}

void put32(std::vector<uint8_t>& o, uint32_t v) {
  for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> writeStream(int w, int h, const std::vector<Sym>& dc, const std::vector<Sym>& ac,
                                 const uint8_t quant[128], bool tables = true) {
  std::vector<uint32_t> dcCounts(16), acCounts(256);
  for (auto& s : dc) ++dcCounts[s.symbol];
  for (auto& s : ac) ++acCounts[s.symbol];
  auto code = [](const std::vector<Sym>& items, const std::vector<uint32_t>& counts) {
    RefTree t = refTree(counts);
    BitOut out;
    for (auto& s : items) {
      for (int b : refCode(t, s.symbol)) out.bit(b);
      for (int i = s.bitCount - 1; i >= 0; --i) out.bit((s.bits >> i) & 1);
    }
    return out.bytes();
  };
  auto dcBytes = code(dc, dcCounts), acBytes = code(ac, acCounts);
  std::vector<uint8_t> o = {'J', 'B', 'P', '1'};
  put32(o, 44);
  put32(o, tables ? 0x08000001 : 1);
  put32(o, 90);
  o.push_back(uint8_t(w)), o.push_back(uint8_t(w >> 8)), o.push_back(uint8_t(h)), o.push_back(uint8_t(h >> 8));
  put32(o, 24);
  put32(o, 0);
  put32(o, uint32_t(dcBytes.size()));
  put32(o, uint32_t(acBytes.size()));
  put32(o, 0);
  put32(o, 0);
  for (auto c : dcCounts) put32(o, c);
  size_t start = o.size();
  std::vector<uint8_t> raw;
  for (auto c : acCounts) put32(raw, c);
  for (size_t i = 0; i < raw.size();) {
    if (raw[i]) {
      o.push_back(raw[i++]);
      continue;
    }
    size_t n = 0;
    while (i < raw.size() && raw[i] == 0 && n < 256) ++n, ++i;
    o.push_back(0), o.push_back(uint8_t(n - 1));
  }
  while ((o.size() - start) % 4) o.push_back(0);
  if (tables) o.insert(o.end(), quant, quant + 128);
  o.insert(o.end(), dcBytes.begin(), dcBytes.end());
  o.insert(o.end(), acBytes.begin(), acBytes.end());
  return o;
}

std::vector<uint8_t> flatQuant(uint8_t v) { return std::vector<uint8_t>(128, v); }

struct Decoded {
  int ok = 0;
  Jbp1Decoder d;
};

Decoded decode(const std::vector<uint8_t>& s) {
  Decoded r;
  initDecoder(r.d);
  r.d.input = s;
  r.ok = parseHeader(r.d) && decodePicture(r.d);
  return r;
}

std::vector<int16_t> coefficientsOf(const std::vector<uint8_t>& s) {
  Jbp1Decoder d;
  initDecoder(d);
  d.input = s;
  std::vector<int16_t> c;
  if (!parseHeader(d) || !decodeCoefficients(d, c)) return {};
  return c;
}

// A picture with gradients, edges and noise, the kind of content the game has.
std::vector<uint8_t> testPicture(uint32_t w, uint32_t h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> p(size_t(w) * h * 3);
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      uint8_t* q = &p[(size_t(y) * w + x) * 3];
      bool box = (x / 37 + y / 29) % 3 == 0;
      q[0] = uint8_t((x * 255) / w ^ (box ? 0x80 : 0));
      q[1] = uint8_t((y * 255) / h + (rng() % 24));
      q[2] = uint8_t(box ? 250 : (x + y) / 3);
    }
  return p;
}

// ---- Tests ------------------------------------------------------------------------------

TEST(Jbp1Tree, TiesGoToTheLowestNodeAndMatchTheLinearScan) {
  std::array<uint32_t, 3> three = {5, 5, 5};
  jbp1::CodeTree t = jbp1::buildCodeTree(three);
  EXPECT_EQ(t.root, 4);
  EXPECT_EQ(t.child0[3], 0);  // first merge joins symbols 0 and 1
  EXPECT_EQ(t.child1[3], 1);
  EXPECT_EQ(t.child0[4], 2);  // weight 5 before the merged 10
  EXPECT_EQ(t.child1[4], 3);

  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    int n = round % 2 ? 256 : 16;
    std::vector<uint32_t> counts(static_cast<size_t>(n), 0u);
    for (auto& c : counts) c = rng() % 4 == 0 ? 0 : rng() % (round % 3 ? 9 : 5000);
    if (round % 17 == 0) counts[3] = 2100000000u;  // never picked
    RefTree ref = refTree(counts);
    jbp1::CodeTree fast = jbp1::buildCodeTree(counts);
    ASSERT_EQ(fast.root, ref.root);
    for (int i = n; i <= ref.root; ++i) {
      ASSERT_EQ(fast.child0[size_t(i)], ref.c0[size_t(i)]) << "round " << round << " node " << i;
      ASSERT_EQ(fast.child1[size_t(i)], ref.c1[size_t(i)]);
    }
  }
}

TEST(Jbp1Decoder, HandBuiltBlocksRunSymbolsAndEndOfBlock) {
  // One macroblock. Y0: DC 3, then 0xF0 (15 zeros) and a 1 at zigzag position 16. Y1: DC +0
  // (category 0 repeats the DC), 0xFF (30 zeros) then run 1 and -3: zigzag position 33. Y2: a
  // value in all 63 AC positions (no end of block). Y3, C1, C2: end of block at once.
  std::vector<Sym> dc = {value(0, 3), {0, 0, 0}, value(0, -5), value(0, 2), value(0, 1), value(0, -1)};
  std::vector<Sym> ac = {{0xF0, 0, 0}, value(0, 1), {0, 0, 0}, {0xFF, 0, 0}, value(1 << 4, -3), {0, 0, 0}};
  for (int k = 1; k < 64; ++k) ac.push_back(value(0, k % 2 ? k : -k));
  ac.push_back({0, 0, 0});
  ac.push_back({0, 0, 0});
  ac.push_back({0, 0, 0});
  auto q = flatQuant(2);
  auto s = writeStream(16, 16, dc, ac, q.data());
  auto c = coefficientsOf(s);
  ASSERT_EQ(c.size(), 6u * 64);
  EXPECT_EQ(c[0], 3);
  EXPECT_EQ(c[12], 1);  // zigzag 16 is natural 12
  for (int i = 1; i < 64; ++i) EXPECT_EQ(c[i], i == 12 ? 1 : 0) << i;
  EXPECT_EQ(c[64], 3);             // DC chain: 3 + 0
  EXPECT_EQ(c[64 + kZz[32]], -3);  // 30 + 1 zeros, then position 32
  EXPECT_EQ(c[128], -2);           // 3 - 5
  for (int k = 1; k < 64; ++k) EXPECT_EQ(c[128 + kZz[k]], k % 2 ? k : -k);
  EXPECT_EQ(c[192], 0);
  EXPECT_EQ(c[256], 1);
  EXPECT_EQ(c[320], 0);

  Decoded d = decode(s);
  ASSERT_TRUE(d.ok);
  RefDecoded ref = refDecode(s);
  EXPECT_EQ(ref.coef, c);
  EXPECT_EQ(std::vector<uint16_t>(d.d.output.begin(), d.d.output.end()), ref.pixels);
}

TEST(Jbp1Decoder, GreyExtremesAndGeometry) {
  // 17 × 17: 2 × 2 macroblocks, 24 blocks. Luma DC -128 / 8 per unit... with quant 8 and DC
  // -128, the column product is -1024 and the output -1024 >> 3 = -128: index 256, black. DC 127
  // gives 1016 >> 3 = 127: index 511, white.
  std::vector<Sym> dc, ac;
  int prev = 0;
  for (int mb = 0; mb < 4; ++mb)
    for (int b = 0; b < 6; ++b) {
      int want = b >= 4 ? 0 : (mb % 2 ? 127 : -128);
      dc.push_back(value(0, want - prev));
      prev = want;
      ac.push_back({0, 0, 0});
    }
  auto q = flatQuant(8);
  auto s = writeStream(17, 17, dc, ac, q.data());
  Decoded d = decode(s);
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.d.alignedWidth, 32u);
  EXPECT_EQ(d.d.alignedHeight, 32u);
  EXPECT_FALSE(d.d.multipleOf16);
  EXPECT_EQ(d.d.rowBytes, 64u);
  EXPECT_EQ(d.d.totalBytes, 32u * 32 * 2);
  EXPECT_EQ(d.d.bitsPerPixel, 16u);
  EXPECT_EQ(d.d.output[0], 0x0000);
  EXPECT_EQ(d.d.output[16], 0xFFFF);
  EXPECT_EQ(d.d.output[31 * 32 + 31], 0xFFFF);
  EXPECT_EQ(d.d.output[31 * 32 + 0], 0x0000);
}

TEST(Jbp1Decoder, EncoderOutputMatchesThePlainRulesBitForBit) {
  for (auto [w, h, q] : {std::tuple{640u, 480u, 90}, {100u, 37u, 100}, {33u, 65u, 80}, {48u, 48u, 90}}) {
    auto pic = testPicture(w, h, w + h);
    Jbp1Encoder enc;
    auto s = enc.encode({pic.data(), w, h, size_t(w) * 3}, q);
    ASSERT_FALSE(s.empty());
    // The decoder reads back exactly the coefficients the encoder took from the JPEG.
    EXPECT_EQ(coefficientsOf(s), enc.coefficients()) << w << "x" << h;
    Decoded d = decode(s);
    ASSERT_TRUE(d.ok);
    RefDecoded ref = refDecode(s);
    EXPECT_EQ(ref.coef, enc.coefficients());
    ASSERT_EQ(std::vector<uint16_t>(d.d.output.begin(), d.d.output.end()), ref.pixels) << w << "x" << h;
  }
}

TEST(Jbp1Kernels, EveryVariantGivesTheSameBytes) {
  // Random blocks, from sparse to extreme (products that wrap 32 bits), through every kernel
  // variant; the baseline one is also held against the plain transform.
  std::vector<const Jbp1Kernels*> variants = {&jbp1GenericKernels()};
  if (jbp1Avx2Kernels()) variants.push_back(jbp1Avx2Kernels());
  EXPECT_NE(jbp1Kernels().name, nullptr);
  if (!SOREL_SIMD_KERNELS) {
    // SOREL_SIMD=OFF, or a processor other than x86-64: the baseline kernels only.
    EXPECT_EQ(jbp1Avx2Kernels(), nullptr);
    EXPECT_EQ(&jbp1Kernels(), &jbp1GenericKernels());
  }
  std::mt19937 rng(99);
  for (int round = 0; round < 3000; ++round) {
    int16_t coef[64] = {};
    uint16_t quant[64];
    uint8_t q8[64];
    const bool extreme = round % 10 == 0, column0 = round % 3 == 0;
    for (int i = 0; i < 64; ++i) {
      q8[i] = uint8_t(1 + rng() % (extreme ? 255 : 40));
      quant[i] = q8[i];
      if (column0 && i % 8 != 0) continue;
      if (rng() % 4 == 0) coef[i] = int16_t(extreme ? int(rng() % 65536) - 32768 : int(rng() % 200) - 100);
    }
    int16_t want[64];
    variants[0]->inverseTransform(coef, quant, want);
    if (!extreme) {
      int16_t ref[64];
      refIdct(coef, q8, ref);
      ASSERT_EQ(std::vector<int16_t>(want, want + 64), std::vector<int16_t>(ref, ref + 64)) << round;
    }
    for (const Jbp1Kernels* k : variants) {
      int16_t got[64];
      k->inverseTransform(coef, quant, got);
      ASSERT_EQ(std::vector<int16_t>(got, got + 64), std::vector<int16_t>(want, want + 64)) << k->name << round;
      if (column0) {
        k->inverseTransformColumn0(coef, quant, got);
        ASSERT_EQ(std::vector<int16_t>(got, got + 64), std::vector<int16_t>(want, want + 64)) << k->name << round;
      }
    }
    // Colour conversion, with samples far outside the usual range.
    int16_t luma[4][64], c1[64], c2[64];
    for (auto& blk : luma)
      for (int16_t& v : blk) v = int16_t(extreme ? int(rng() % 65536) - 32768 : int(rng() % 400) - 200);
    for (int i = 0; i < 64; ++i) {
      c1[i] = int16_t(extreme ? int(rng() % 65536) - 32768 : int(rng() % 300) - 150);
      c2[i] = int16_t(extreme ? int(rng() % 65536) - 32768 : int(rng() % 300) - 150);
    }
    std::vector<uint16_t> a(16 * 20, 0x1234), b(16 * 20, 0x1234);
    variants[0]->convertMacroblock(luma, c1, c2, a.data(), 20);
    for (const Jbp1Kernels* k : variants) {
      std::fill(b.begin(), b.end(), 0x1234);
      k->convertMacroblock(luma, c1, c2, b.data(), 20);
      ASSERT_EQ(a, b) << k->name << round;
    }
    EXPECT_EQ(a[16], 0x1234);  // nothing written beside the macroblock
  }
}

TEST(Jbp1Decoder, MovieFramesCarryTablesOverAndAreCapped) {
  std::vector<Sym> dc(6, Sym{0, 0, 0}), ac(6, Sym{0, 0, 0});
  dc[0] = value(0, 10);
  auto q = flatQuant(4);
  auto first = writeStream(16, 16, dc, ac, q.data(), true);
  auto second = writeStream(16, 16, dc, ac, q.data(), false);
  std::vector<uint16_t> frame(16 * 16);
  Jbp1Decoder d;
  initDecoder(d);
  d.output = frame;
  EXPECT_EQ(decodeMovieFrame(d, second), 0);  // no tables held yet
  ASSERT_EQ(decodeMovieFrame(d, first), 1);
  auto a = frame;
  std::fill(frame.begin(), frame.end(), 0);
  ASSERT_EQ(decodeMovieFrame(d, second), 1);
  EXPECT_EQ(frame, a);
  EXPECT_EQ(d.lumaQuant[5], 4);

  // 640 × 240 is 600 macroblocks; 640 × 256 is 640.
  std::vector<uint16_t> big(640 * 256);
  std::vector<Sym> dcBig(640 * 6, Sym{0, 0, 0}), acBig(640 * 6, Sym{0, 0, 0});
  auto tooBig = writeStream(640, 256, dcBig, acBig, q.data());
  d.output = big;
  EXPECT_EQ(decodeMovieFrame(d, tooBig), 0);
  dcBig.resize(600 * 6), acBig.resize(600 * 6);
  EXPECT_EQ(decodeMovieFrame(d, writeStream(640, 240, dcBig, acBig, q.data())), 1);
  // A frame larger than the player's buffer is refused.
  d.output = std::span<uint16_t>(big).first(100);
  EXPECT_EQ(decodeMovieFrame(d, first), 0);
}

TEST(Jbp1Decoder, HostileStreamsFailWithoutTouchingOtherMemory) {
  auto pic = testPicture(64, 48, 3);
  Jbp1Encoder enc;
  auto good = enc.encode({pic.data(), 64, 48, 64 * 3}, 90);
  ASSERT_TRUE(decode(good).ok);

  // Every cut of the stream fails (or, cut only inside the trailing bits, still decodes); the
  // cut copy sits in a buffer of exactly its size so the sanitizers see any overread.
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<uint8_t> cut(good.begin(), good.begin() + long(n));
    EXPECT_FALSE(decode(cut).ok) << n;
  }
  auto patched = [&](size_t at, uint32_t v) {
    auto s = good;
    for (int i = 0; i < 4; ++i) s[at + size_t(i)] = uint8_t(v >> (8 * i));
    return s;
  };
  EXPECT_FALSE(decode(patched(0, 0x3150424A ^ 1)).ok);  // magic
  EXPECT_FALSE(decode(patched(28, 0xFFFFFFF0)).ok);     // DC length past the end
  EXPECT_FALSE(decode(patched(32, 0x7FFFFFFC)).ok);     // AC length past the end
  EXPECT_FALSE(decode(patched(28, 6)).ok);              // not whole words
  EXPECT_FALSE(decode(patched(44, 0xFFFFFFFF)).ok);     // DC counts that cannot add up
  EXPECT_FALSE(decode(patched(4, 0x7FFFFFFF)).ok);      // counts past the end
  EXPECT_FALSE(decode(patched(16, 0)).ok);              // no size
  EXPECT_FALSE(decode(patched(16, 0x10001000 + 1)).ok); // larger than the cap

  // Random damage anywhere: must never crash or read outside (checked under the sanitizers).
  std::mt19937 rng(11);
  for (int i = 0; i < 2000; ++i) {
    auto s = good;
    for (int k = 0; k < 1 + int(rng() % 4); ++k) s[rng() % s.size()] ^= uint8_t(1 << (rng() % 8));
    decode(s);
  }

  // A value symbol after 62 coefficients runs past the block; so does a run of 30 at k = 40.
  auto q = flatQuant(1);
  std::vector<Sym> dc(6, Sym{0, 0, 0}), ac;
  ac.push_back(value(0, 1));
  for (int i = 0; i < 3; ++i) ac.push_back({0xF4, 0, 0});  // 19 zeros each: k = 58
  ac.push_back(value(5 << 4, 1));                             // k + 5 = 63: past the end
  for (int i = 0; i < 5; ++i) ac.push_back({0, 0, 0});
  EXPECT_FALSE(decode(writeStream(16, 16, dc, ac, q.data())).ok);
  ac = {value(0, 1), {0xF0 | 10, 0, 0}, {0xF0 | 15, 0, 0}, {0xF0 | 15, 0, 0}};
  for (int i = 0; i < 5; ++i) ac.push_back({0, 0, 0});
  EXPECT_FALSE(decode(writeStream(16, 16, dc, ac, q.data())).ok);
  // A still picture without tables has nothing to dequantise with.
  ac.assign(6, Sym{0, 0, 0});
  EXPECT_FALSE(decode(writeStream(16, 16, dc, ac, q.data(), false)).ok);
  EXPECT_TRUE(decode(writeStream(16, 16, dc, ac, q.data(), true)).ok);
}

}  // namespace
}  // namespace sorel
