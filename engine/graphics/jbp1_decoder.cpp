#include "engine/graphics/jbp1_decoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/graphics/jbp1_format.h"
#include "engine/resources/byte_io.h"

namespace sorel {
namespace {

using jbp1::CodeTree;

// Symbols are found with a table indexed by the next kLookupBits stream bits (the first bit in
// the lowest position): it yields the leaf, or the inner node reached after kLookupBits bits
// from which the walk continues bit by bit. The symbols are exactly those of the bit-by-bit walk
// from the root; on q90 pictures nearly every code is shorter than 10 bits.
constexpr int kLookupBits = 10;
constexpr uint32_t kLookupMask = (1u << kLookupBits) - 1;

struct LookupTable {
  // node in the low 16 bits, bits consumed above.
  std::array<uint32_t, 1u << kLookupBits> entry{};
};

void fillLookup(const CodeTree& tree, LookupTable& table) {
  struct Item {
    int node;
    int depth;
    uint32_t bits;
  };
  Item stack[2 * jbp1::kAcSymbols];
  int top = 0;
  stack[top++] = {tree.root, 0, 0};
  while (top > 0) {
    Item it = stack[--top];
    if (it.node < tree.symbols || it.depth == kLookupBits) {
      uint32_t value = static_cast<uint32_t>(it.node) | (static_cast<uint32_t>(it.depth) << 16);
      for (uint32_t high = 0; high < (1u << (kLookupBits - it.depth)); ++high)
        table.entry[it.bits | (high << it.depth)] = value;
      continue;
    }
    stack[top++] = {tree.child0[static_cast<size_t>(it.node)], it.depth + 1, it.bits};
    stack[top++] = {tree.child1[static_cast<size_t>(it.node)], it.depth + 1, it.bits | (1u << it.depth)};
  }
}

// The stream's 32-bit words, bits from bit 0 upwards. Past the end it delivers zero words and
// remembers how many, so a stream that runs out is reported once its decoding ends.
class BitReader {
 public:
  BitReader(const uint8_t* p, size_t bytes) : m_p(p), m_end(p + bytes), m_totalBits(uint64_t(bytes) * 8) {}

  void refill() {
    if (m_count <= 32) {
      uint32_t w = 0;
      if (m_p < m_end) {
        w = loadU32(m_p);
        m_p += 4;
      }
      m_buf |= static_cast<uint64_t>(w) << m_count;
      m_count += 32;
      m_loadedBits += 32;
    }
  }
  uint32_t peek() const { return static_cast<uint32_t>(m_buf); }
  void consume(int n) {
    m_buf >>= n;
    m_count -= n;
  }
  // n <= 16 bits, the first read being the most significant (refill done by the caller).
  int magnitude(int n) {
    uint32_t raw = static_cast<uint32_t>(m_buf) & ((1u << n) - 1);
    consume(n);
    return static_cast<int>(reverse16(raw) >> (16 - n));
  }
  bool overran() const { return m_loadedBits - static_cast<uint64_t>(m_count) > m_totalBits; }

 private:
  static uint32_t reverse16(uint32_t v) {
    static constexpr auto kRev = [] {
      std::array<uint8_t, 256> t{};
      for (int i = 0; i < 256; ++i) {
        int r = 0;
        for (int b = 0; b < 8; ++b)
          if (i & (1 << b)) r |= 1 << (7 - b);
        t[static_cast<size_t>(i)] = static_cast<uint8_t>(r);
      }
      return t;
    }();
    return (static_cast<uint32_t>(kRev[v & 0xFF]) << 8) | kRev[(v >> 8) & 0xFF];
  }

  const uint8_t* m_p;
  const uint8_t* m_end;
  uint64_t m_buf = 0;
  int m_count = 0;
  uint64_t m_loadedBits = 0;
  uint64_t m_totalBits;
};

// One symbol: the table gives it at once for short codes; longer codes walk on from the node
// the table reached.
inline int readSymbol(BitReader& in, const LookupTable& table, const CodeTree& tree) {
  in.refill();
  uint32_t e = table.entry[in.peek() & kLookupMask];
  in.consume(static_cast<int>(e >> 16));
  int node = static_cast<int>(e & 0xFFFF);
  while (node >= tree.symbols) {
    in.refill();
    uint32_t bit = in.peek() & 1u;
    in.consume(1);
    node = bit ? tree.child1[static_cast<size_t>(node)] : tree.child0[static_cast<size_t>(node)];
  }
  return node;
}

// (x × k) >> 16 as a 32-bit signed product: the transform's arithmetic is defined on 32-bit
// registers, so overflow wraps instead of widening.
inline int32_t mul16(int32_t x, int32_t k) {
  return static_cast<int32_t>(static_cast<uint32_t>(x) * static_cast<uint32_t>(k)) >> 16;
}

// One 1-D pass of the integer transform (16 fraction bits, no rounding).
inline void idctPass(int32_t x0, int32_t x1, int32_t x2, int32_t x3, int32_t x4, int32_t x5, int32_t x6,
                     int32_t x7, int32_t y[8]) {
  int32_t z1 = mul16(x2 + x6, 35467);
  int32_t t2 = z1 + mul16(x6, -121094);
  int32_t t3 = z1 + mul16(x2, 50159);
  int32_t t0 = x0 + x4;
  int32_t t1 = x0 - x4;
  int32_t e0 = t0 + t3, e3 = t0 - t3, e1 = t1 + t2, e2 = t1 - t2;

  int32_t q1 = x7 + x1, q2 = x5 + x3, q3 = x7 + x3, q4 = x5 + x1;
  int32_t z5 = mul16(q3 + q4, 77062);
  int32_t p1 = mul16(q1, -58980);
  int32_t p2 = mul16(q2, -167963);
  int32_t p3 = z5 + mul16(q3, -128553);
  int32_t p4 = z5 + mul16(q4, -25570);
  int32_t b0 = mul16(x7, 19571) + p1 + p3;
  int32_t b1 = mul16(x5, 134553) + p2 + p4;
  int32_t b2 = mul16(x3, 201373) + p2 + p3;
  int32_t b3 = mul16(x1, 98390) + p1 + p4;

  y[0] = e0 + b3;
  y[7] = e0 - b3;
  y[1] = e1 + b2;
  y[6] = e1 - b2;
  y[2] = e2 + b1;
  y[5] = e2 - b1;
  y[3] = e3 + b0;
  y[4] = e3 - b0;
}

constexpr uint64_t kColumn0 = 0x0101010101010101ull;

// Inverse transform of one block. nonZero has bit i set for every natural index i > 0 holding a
// non-zero coefficient. A column whose rows 1..7 are zero gives its DC product eight times; a row
// whose columns 1..7 are zero gives x0 >> 3 eight times; both are what the full pass computes
// for such inputs, so the shortcuts change no output.
void inverseTransform(const int16_t coef[64], uint64_t nonZero, const uint16_t quant[64], int16_t out[64]) {
  if (nonZero == 0) {
    int16_t v = static_cast<int16_t>(static_cast<int16_t>(coef[0] * quant[0]) >> 3);
    for (int i = 0; i < 64; ++i) out[i] = v;
    return;
  }
  int16_t ws[64];
  for (int c = 0; c < 8; ++c) {
    if ((nonZero & ((kColumn0 << c) & ~0xFFull)) == 0) {
      int16_t v = static_cast<int16_t>(coef[c] * quant[c]);
      for (int r = 0; r < 8; ++r) ws[r * 8 + c] = v;
      continue;
    }
    int32_t y[8];
    idctPass(coef[c] * quant[c], coef[8 + c] * quant[8 + c], coef[16 + c] * quant[16 + c],
             coef[24 + c] * quant[24 + c], coef[32 + c] * quant[32 + c], coef[40 + c] * quant[40 + c],
             coef[48 + c] * quant[48 + c], coef[56 + c] * quant[56 + c], y);
    for (int r = 0; r < 8; ++r) ws[r * 8 + c] = static_cast<int16_t>(y[r]);
  }
  const bool onlyColumn0 = (nonZero & ~kColumn0) == 0;
  for (int r = 0; r < 8; ++r) {
    const int16_t* x = ws + r * 8;
    int16_t* o = out + r * 8;
    if (onlyColumn0) {
      int16_t v = static_cast<int16_t>(x[0] >> 3);
      for (int c = 0; c < 8; ++c) o[c] = v;
      continue;
    }
    int32_t y[8];
    idctPass(x[0], x[1], x[2], x[3], x[4], x[5], x[6], x[7], y);
    for (int c = 0; c < 8; ++c) o[c] = static_cast<int16_t>(y[c] >> 3);
  }
}

// The colour packing of the format: an index below 256 packs to 0, above 511 to full intensity,
// in between the top bits of (index - 256). Clamping the index to 0..255 above 256 gives the
// same values as the three 768-entry packing tables, and defines indices the tables lack.
inline uint16_t packPixel(int y, int redTerm, int greenTerm, int blueTerm) {
  int base = y + 128;  // y + 384 as a table index, minus the 256 the tables start from
  int r = std::clamp(base + redTerm, 0, 255);
  int g = std::clamp(base - greenTerm, 0, 255);
  int b = std::clamp(base + blueTerm, 0, 255);
  return static_cast<uint16_t>(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
}

// Colour conversion of one macroblock: Y holds the four luma blocks, c1 and c2 the chroma
// blocks; each chroma sample serves a 2 × 2 group of luma samples.
void convertMacroblock(const int16_t y[4][64], const int16_t c1[64], const int16_t c2[64], uint16_t* out,
                       size_t stride) {
  for (int cy = 0; cy < 8; ++cy) {
    int redTerm[16], greenTerm[16], blueTerm[16];
    for (int cx = 0; cx < 8; ++cx) {
      int32_t a = c1[cy * 8 + cx], b = c2[cy * 8 + cx];
      int rt = mul16(b, 116129);
      int bt = mul16(a, 91881);
      int gt = static_cast<int32_t>(static_cast<uint32_t>(b) * 22553u + static_cast<uint32_t>(a) * 46801u) >> 16;
      redTerm[2 * cx] = redTerm[2 * cx + 1] = rt;
      greenTerm[2 * cx] = greenTerm[2 * cx + 1] = gt;
      blueTerm[2 * cx] = blueTerm[2 * cx + 1] = bt;
    }
    for (int dy = 0; dy < 2; ++dy) {
      int row = cy * 2 + dy;
      const int16_t* left = y[row < 8 ? 0 : 2] + (row & 7) * 8;
      const int16_t* right = y[row < 8 ? 1 : 3] + (row & 7) * 8;
      uint16_t* o = out + static_cast<size_t>(row) * stride;
      for (int x = 0; x < 8; ++x) o[x] = packPixel(left[x], redTerm[x], greenTerm[x], blueTerm[x]);
      for (int x = 0; x < 8; ++x)
        o[8 + x] = packPixel(right[x], redTerm[8 + x], greenTerm[8 + x], blueTerm[8 + x]);
    }
  }
}

// The body of a stream, located and checked.
struct Body {
  std::array<uint32_t, jbp1::kDcSymbols> dcCounts{};
  std::array<uint32_t, jbp1::kAcSymbols> acCounts{};
  const uint8_t* quant = nullptr;  // 128 bytes, or null when the stream has no tables
  const uint8_t* dc = nullptr;
  size_t dcBytes = 0;
  const uint8_t* ac = nullptr;
  size_t acBytes = 0;
};

bool locateBody(std::span<const uint8_t> in, uint32_t flags, uint64_t blocks, Body& body) {
  ByteReader r(in);
  r.skip(jbp1::kDcLengthOffset);
  uint32_t dcBytes = r.u32();
  uint32_t acBytes = r.u32();
  r.seek(loadU32(in.data() + jbp1::kHeaderSizeOffset));
  uint64_t dcTotal = 0;
  for (auto& c : body.dcCounts) {
    c = r.u32();
    dcTotal += c;
  }
  if (!r.ok()) return false;

  // AC counts: 1,024 bytes run-length coded, the section padded to a multiple of 4.
  size_t start = r.pos();
  uint8_t raw[jbp1::kAcCountBytes];
  size_t filled = 0;
  while (filled < sizeof raw) {
    uint8_t b = r.u8();
    if (!r.ok()) return false;
    if (b != 0) {
      raw[filled++] = b;
      continue;
    }
    size_t run = size_t(r.u8()) + 1;
    if (!r.ok() || run > sizeof raw - filled) return false;
    std::memset(raw + filled, 0, run);
    filled += run;
  }
  r.skip((4 - (r.pos() - start) % 4) % 4);
  uint64_t acTotal = 0;
  for (int i = 0; i < jbp1::kAcSymbols; ++i) {
    body.acCounts[static_cast<size_t>(i)] = loadU32(raw + i * 4);
    acTotal += body.acCounts[static_cast<size_t>(i)];
  }
  // Every block has exactly one DC symbol and between 1 and 63 AC symbols; other totals cannot
  // come from a picture of this size.
  if (dcTotal != blocks || acTotal < blocks || acTotal > blocks * 63) return false;

  if (flags & jbp1::kFlagQuantTables) body.quant = r.bytes(2 * jbp1::kQuantTableBytes).data();
  if (dcBytes % 4 != 0 || acBytes % 4 != 0) return false;
  body.dcBytes = dcBytes;
  body.acBytes = acBytes;
  body.dc = r.bytes(dcBytes).data();
  body.ac = r.bytes(acBytes).data();
  return r.ok();
}

// Decodes the stream into pixels, or (coefficients given) into the quantised coefficients of
// every block without transforming them.
bool decodeStream(Jbp1Decoder& d, std::span<uint16_t> out, std::vector<int16_t>* coefficients = nullptr) {
  const uint32_t mbWide = d.alignedWidth / 16, mbHigh = d.alignedHeight / 16;
  const uint64_t blocks = uint64_t(mbWide) * mbHigh * jbp1::kBlocksPerMacroblock;
  const size_t stride = d.alignedWidth;
  if (!coefficients && out.size() < size_t(d.alignedWidth) * d.alignedHeight) return false;
  if (coefficients) coefficients->assign(blocks * 64, 0);

  Body body;
  if (!locateBody(d.input, d.flags, blocks, body)) return false;
  if (body.quant) {
    for (int i = 0; i < 64; ++i) {
      d.lumaQuant[static_cast<size_t>(i)] = body.quant[i];
      d.chromaQuant[static_cast<size_t>(i)] = body.quant[64 + i];
    }
    d.hasTables = true;
  } else if (!d.hasTables) {
    return false;
  }

  CodeTree dcTree = jbp1::buildCodeTree(body.dcCounts);
  CodeTree acTree = jbp1::buildCodeTree(body.acCounts);
  if (dcTree.root < 0 || acTree.root < 0) return false;
  auto dcTable = std::make_unique<LookupTable>();
  auto acTable = std::make_unique<LookupTable>();
  fillLookup(dcTree, *dcTable);
  fillLookup(acTree, *acTable);

  BitReader dcIn(body.dc, body.dcBytes);
  BitReader acIn(body.ac, body.acBytes);
  int16_t dc = 0;  // the first block's value is its DC: the chain starts from 0
  alignas(16) int16_t coef[64];
  alignas(16) int16_t pixels[jbp1::kBlocksPerMacroblock][64];

  for (uint32_t my = 0; my < mbHigh; ++my) {
    for (uint32_t mx = 0; mx < mbWide; ++mx) {
      for (int b = 0; b < jbp1::kBlocksPerMacroblock; ++b) {
        // DC: the category, its magnitude bits, then the chain through every block.
        int s = readSymbol(dcIn, *dcTable, dcTree);
        dcIn.refill();
        int value = s == 0 ? 0 : jbp1::extendValue(dcIn.magnitude(s), s);
        dc = static_cast<int16_t>(dc + value);

        std::memset(coef, 0, sizeof coef);
        coef[0] = dc;
        uint64_t nonZero = 0;
        int k = 0;
        while (k < 63) {
          int sym = readSymbol(acIn, *acTable, acTree);
          if (sym == jbp1::kEndOfBlock) break;
          int run = sym >> 4, size = sym & 15;
          if (sym >= jbp1::kFirstRunSymbol) {
            run = size + jbp1::kRunSymbolBase;
            if (k + run > 63) return false;
            k += run;
            continue;
          }
          k += run;
          if (k >= 63) return false;
          int v = 0;
          if (size > 0) {
            acIn.refill();
            v = jbp1::extendValue(acIn.magnitude(size), size);
          }
          int at = jbp1::kZigzag[static_cast<size_t>(k + 1)];
          coef[at] = static_cast<int16_t>(v);
          if (v != 0) nonZero |= 1ull << at;
          ++k;
        }
        if (coefficients) {
          size_t at = ((size_t(my) * mbWide + mx) * jbp1::kBlocksPerMacroblock + size_t(b)) * 64;
          std::memcpy(coefficients->data() + at, coef, sizeof coef);
          continue;
        }
        inverseTransform(coef, nonZero, b < 4 ? d.lumaQuant.data() : d.chromaQuant.data(), pixels[b]);
      }
      if (coefficients) continue;
      uint16_t* dst = out.data() + size_t(my) * 16 * stride + size_t(mx) * 16;
      convertMacroblock(pixels, pixels[4], pixels[5], dst, stride);
    }
  }
  return !dcIn.overran() && !acIn.overran();
}

}  // namespace

void initDecoder(Jbp1Decoder& d) {
  d.width = 0;
  d.height = 0;
  d.bitsPerPixel = 24;
  d.flags = 0;
  d.quality = 80;
  d.hasTables = false;
  d.alignedWidth = d.alignedHeight = 0;
  d.multipleOf16 = true;
  d.input = {};
  d.output = {};
  d.ownedOutput.clear();
  d.rowBytes = d.totalBytes = 0;
}

int parseHeader(Jbp1Decoder& d) {
  if (d.input.empty()) return 0;
  ByteReader r(d.input);
  auto magic = r.bytes(4);
  uint32_t headerSize = r.u32();
  d.flags = r.u32();
  d.quality = r.u32();
  d.width = r.u16();
  d.height = r.u16();
  d.bitsPerPixel = r.u32();
  if (!r.ok() || std::memcmp(magic.data(), "JBP1", 4) != 0 || headerSize < jbp1::kHeaderSize ||
      d.input.size() < jbp1::kHeaderSize)
    return 0;
  if (d.width == 0 || d.height == 0 || d.width > kJbp1MaxSide || d.height > kJbp1MaxSide) return 0;
  d.alignedWidth = (d.width + 15) & ~15u;
  d.alignedHeight = (d.height + 15) & ~15u;
  d.multipleOf16 = d.width % 16 == 0 && d.height % 16 == 0;
  d.rowBytes = size_t(d.bitsPerPixel) * d.alignedWidth / 8;
  return 1;
}

int decodePicture(Jbp1Decoder& d) {
  if (d.alignedWidth == 0 || d.alignedHeight == 0) return 0;
  size_t pixels = size_t(d.alignedWidth) * d.alignedHeight;
  if (d.output.empty()) {
    d.ownedOutput.assign(pixels, 0);
    d.output = d.ownedOutput;
  }
  if (!decodeStream(d, d.output)) return 0;
  d.bitsPerPixel = 16;
  d.rowBytes = size_t(d.alignedWidth) * 2;
  d.totalBytes = pixels * 2;
  return 1;
}

int decodeCoefficients(Jbp1Decoder& d, std::vector<int16_t>& coefficients) {
  if (d.alignedWidth == 0 || d.alignedHeight == 0) return 0;
  return decodeStream(d, {}, &coefficients) ? 1 : 0;
}

int decodeMovieFrame(Jbp1Decoder& d, std::span<const uint8_t> frame) {
  d.input = frame;
  if (!parseHeader(d)) return 0;
  if (uint64_t(d.alignedWidth / 16) * (d.alignedHeight / 16) > kJbp1MaxMovieMacroblocks) return 0;
  if (d.output.empty()) return 0;
  if (!decodeStream(d, d.output)) return 0;
  d.bitsPerPixel = 16;
  d.rowBytes = size_t(d.alignedWidth) * 2;
  d.totalBytes = size_t(d.alignedWidth) * d.alignedHeight * 2;
  return 1;
}

}  // namespace sorel
