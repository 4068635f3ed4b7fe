#include "engine/graphics/jbp1_decoder.h"

#include <cstring>
#include <memory>

#include "engine/graphics/jbp1_format.h"
#include "engine/graphics/jbp1_kernels.h"
#include "engine/resources/byte_io.h"

namespace sorel {
namespace {

using jbp1::CodeTree;

// Symbols are found with a table indexed by the next kLookupBits stream bits (the first bit in
// the lowest position): it yields the leaf, or the inner node reached after kLookupBits bits
// from which the walk continues bit by bit. The symbols are exactly those of the bit-by-bit walk
// from the root; on q90 pictures nearly every code is shorter than 10 bits.
constexpr int kLookupBits = 11;
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
  // Bits of the stream left unread (0 when it overran).
  uint64_t bitsLeft() const {
    uint64_t used = m_loadedBits - static_cast<uint64_t>(m_count);
    return used >= m_totalBits ? 0 : m_totalBits - used;
  }

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

// Symbol and value bits at once: for a code of length L whose symbol carries z value bits, with
// L + z within the lookup bits, the entry holds the finished value, the run of zeros before it
// and L + z. Other entries have length 0 and the symbol is decoded the long way.
struct FastEntry {
  int16_t value;
  uint8_t run;
  uint8_t length;
};
struct FastTable {
  std::array<FastEntry, 1u << kLookupBits> entry{};
};

}  // namespace

struct Jbp1Tables {
  LookupTable dcTable;
  LookupTable acTable;
  FastTable dcFast;
  FastTable acFast;
};

namespace {

uint32_t reverseBits(uint32_t v, int n) {
  uint32_t r = 0;
  for (int i = 0; i < n; ++i) r |= ((v >> i) & 1u) << (n - 1 - i);
  return r;
}

// dc: every symbol is a size (DC categories); else AC symbols, where 0 and 0xF0..0xFF stay
// unresolved.
void fillFast(const CodeTree& tree, const LookupTable& lookup, bool dc, FastTable& fast) {
  for (uint32_t i = 0; i < (1u << kLookupBits); ++i) {
    uint32_t e = lookup.entry[i];
    int node = static_cast<int>(e & 0xFFFF), length = static_cast<int>(e >> 16);
    FastEntry f{0, 0, 0};
    if (node < tree.symbols) {
      int run = dc ? 0 : node >> 4, size = dc ? node : node & 15;
      bool valueSymbol = dc || (node != jbp1::kEndOfBlock && node < jbp1::kFirstRunSymbol);
      if (valueSymbol && length + size <= kLookupBits) {
        int m = static_cast<int>(reverseBits((i >> length) & ((1u << size) - 1), size));
        f = {static_cast<int16_t>(size ? jbp1::extendValue(m, size) : 0), static_cast<uint8_t>(run),
             static_cast<uint8_t>(length + size)};
      }
    }
    fast.entry[i] = f;
  }
}

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
int bitLength(int v) {
  unsigned m = static_cast<unsigned>(v < 0 ? -v : v);
  int n = 0;
  for (; m; m >>= 1) ++n;
  return n;
}

// With kStrict (a compile-time choice, so the engine's decoding loop carries no extra work) the
// symbols decoded must also match the stored symbol counts one for one, and both bit streams
// must be used up to their last 32-bit word as the writer pads them: damage that still decodes
// shows in one or the other.
template <bool kStrict = false>
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
  if (!d.tables) d.tables = std::make_shared<Jbp1Tables>();
  LookupTable* dcTable = &d.tables->dcTable;
  LookupTable* acTable = &d.tables->acTable;
  FastTable* dcFast = &d.tables->dcFast;
  FastTable* acFast = &d.tables->acFast;
  fillLookup(dcTree, *dcTable);
  fillLookup(acTree, *acTable);
  fillFast(dcTree, *dcTable, true, *dcFast);
  fillFast(acTree, *acTable, false, *acFast);

  BitReader dcIn(body.dc, body.dcBytes);
  BitReader acIn(body.ac, body.acBytes);
  std::array<uint32_t, jbp1::kDcSymbols> dcSeen{};
  std::array<uint32_t, jbp1::kAcSymbols> acSeen{};
  int16_t dc = 0;  // the first block's value is its DC: the chain starts from 0
  const Jbp1Kernels& kernels = jbp1Kernels();
  alignas(16) int16_t coef[64];
  alignas(16) int16_t pixels[jbp1::kBlocksPerMacroblock][64];

  for (uint32_t my = 0; my < mbHigh; ++my) {
    for (uint32_t mx = 0; mx < mbWide; ++mx) {
      for (int b = 0; b < jbp1::kBlocksPerMacroblock; ++b) {
        // DC: the category, its magnitude bits, then the chain through every block.
        dcIn.refill();
        int value;
        const FastEntry f = dcFast->entry[dcIn.peek() & kLookupMask];
        if (f.length != 0) {
          dcIn.consume(f.length);
          value = f.value;
        } else {
          int s = readSymbol(dcIn, *dcTable, dcTree);
          dcIn.refill();
          value = s == 0 ? 0 : jbp1::extendValue(dcIn.magnitude(s), s);
        }
        dc = static_cast<int16_t>(dc + value);
        if constexpr (kStrict) {
          const int category = bitLength(value);
          if (category >= jbp1::kDcSymbols) return false;
          ++dcSeen[static_cast<size_t>(category)];
        }

        std::memset(coef, 0, sizeof coef);
        coef[0] = dc;
        bool anyAc = false;
        bool offColumn0 = false;  // a non-zero coefficient outside column 0
        int k = 0;
        while (k < 63) {
          acIn.refill();
          const FastEntry f = acFast->entry[acIn.peek() & kLookupMask];
          if (f.length != 0) {
            acIn.consume(f.length);
            if constexpr (kStrict) ++acSeen[static_cast<size_t>((f.run << 4) | bitLength(f.value)) & 0xFF];
            k += f.run;
            if (k >= 63) return false;
            const int at = jbp1::kZigzag[static_cast<size_t>(k + 1)];
            coef[at] = f.value;
            anyAc |= f.value != 0;
            offColumn0 |= f.value != 0 && (at & 7) != 0;
            ++k;
            continue;
          }
          int sym = readSymbol(acIn, *acTable, acTree);
          if constexpr (kStrict) ++acSeen[static_cast<size_t>(sym) & 0xFF];
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
          anyAc |= v != 0;
          offColumn0 |= v != 0 && (at & 7) != 0;
          ++k;
        }
        if (coefficients) {
          size_t at = ((size_t(my) * mbWide + mx) * jbp1::kBlocksPerMacroblock + size_t(b)) * 64;
          std::memcpy(coefficients->data() + at, coef, sizeof coef);
          continue;
        }
        const uint16_t* quant = b < 4 ? d.lumaQuant.data() : d.chromaQuant.data();
        if (offColumn0) {
          kernels.inverseTransform(coef, quant, pixels[b]);
        } else if (anyAc) {
          kernels.inverseTransformColumn0(coef, quant, pixels[b]);
        } else {
          // Only the DC: both passes give (DC × q, kept to 16 bits) >> 3 everywhere.
          int16_t v = static_cast<int16_t>(static_cast<int16_t>(coef[0] * quant[0]) >> 3);
          for (int16_t& p : pixels[b]) p = v;
        }
      }
      if (coefficients) continue;
      uint16_t* dst = out.data() + size_t(my) * 16 * stride + size_t(mx) * 16;
      kernels.convertMacroblock(pixels, pixels[4], pixels[5], dst, stride);
    }
  }
  if constexpr (kStrict) {
    if (dcSeen != body.dcCounts || acSeen != body.acCounts) return false;
    if (dcIn.bitsLeft() >= 32 || acIn.bitsLeft() >= 32) return false;
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

int verifyStream(Jbp1Decoder& d) {
  if (d.alignedWidth == 0 || d.alignedHeight == 0) return 0;
  std::vector<int16_t> coefficients;
  return decodeStream<true>(d, {}, &coefficients) ? 1 : 0;
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
