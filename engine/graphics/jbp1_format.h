#pragma once
// Layout of the JBP1 picture stream, shared by the engine's decoder and the converter's encoder.
//
//   header      44 bytes (fields below), all integers little-endian
//   DC counts   16 × u32: how often each DC category 0..15 occurs
//   AC counts   256 × u32 as 1,024 bytes, byte run-length coded (a zero byte is followed by n and
//               stands for n + 1 zero bytes), then 0..3 zero bytes up to a multiple of 4
//               counted from the start of this section
//   quant       only with kFlagQuantTables: 64 luminance then 64 chrominance bytes, natural order
//   DC stream   (length at kDcLengthOffset) then the AC stream (length at kAcLengthOffset), each
//               a whole number of 32-bit little-endian words, bits taken from bit 0 upwards
//
// The picture is a raster of 16 × 16 macroblocks, six 8 × 8 blocks each: Y0 Y1 Y2 Y3 (top-left,
// top-right, bottom-left, bottom-right luma), C1 (pairs with blue), C2 (pairs with red).
#include <algorithm>
#include <array>
#include <functional>
#include <cstdint>
#include <queue>
#include <span>
#include <vector>

namespace sorel::jbp1 {

constexpr uint32_t kHeaderSize = 44;

// Header fields.
constexpr uint32_t kMagicOffset = 0;        // "JBP1"
constexpr uint32_t kHeaderSizeOffset = 4;   // 44: the DC counts start here
constexpr uint32_t kFlagsOffset = 8;
constexpr uint32_t kQualityOffset = 12;     // JPEG quality the writer used; not read back
constexpr uint32_t kWidthOffset = 16;       // u16
constexpr uint32_t kHeightOffset = 18;      // u16
constexpr uint32_t kBitsOffset = 20;        // source bits per pixel, 24
constexpr uint32_t kReserved1Offset = 24;
constexpr uint32_t kDcLengthOffset = 28;    // bytes of the DC bit stream
constexpr uint32_t kAcLengthOffset = 32;    // bytes of the AC bit stream
constexpr uint32_t kReserved2Offset = 36;
constexpr uint32_t kZeroOffset = 40;

constexpr uint32_t kFlagQuantTables = 0x08000000;  // the two quantisation tables follow the counts
constexpr uint32_t kFlagWriter = 0x00000001;       // always set by the writer
constexpr uint32_t kWrittenFlags = kFlagQuantTables | kFlagWriter;

constexpr int kDcSymbols = 16;
constexpr int kAcSymbols = 256;
constexpr uint32_t kDcCountBytes = kDcSymbols * 4;
constexpr uint32_t kAcCountBytes = kAcSymbols * 4;
constexpr uint32_t kQuantTableBytes = 64;

constexpr int kBlocksPerMacroblock = 6;

/// Natural (row-major) index of zigzag positions 0..63.
constexpr std::array<uint8_t, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

/// AC symbols: 0 ends a block; 1..15 a value of that size with no zero before it; 0xF0..0xFF a
/// run of (s & 15) + 15 zeros alone; other symbols a run (s >> 4) and a size (s & 15).
constexpr int kEndOfBlock = 0x00;
constexpr int kFirstRunSymbol = 0xF0;
constexpr int kRunSymbolBase = 15;  // 0xF0 stands for 15 zeros, 0xFF for 30

/// Weights at or above this are never picked when the code tree is built; picked nodes are
/// marked with kUsedWeight.
constexpr uint64_t kUnpickable = 2099999999;
constexpr uint64_t kUsedWeight = 2100000000;

/// The Huffman code tree both sides rebuild from the symbol counts. Leaves are nodes 0..n-1;
/// inner nodes are numbered n, n+1, ... in the order they are made; child[0] is taken for a 0
/// bit, child[1] for a 1 bit.
struct CodeTree {
  int symbols = 0;
  int root = -1;  ///< -1 when fewer than two nodes could be picked
  std::array<uint16_t, 2 * kAcSymbols> child0{};
  std::array<uint16_t, 2 * kAcSymbols> child1{};
};

/// Builds the tree: repeatedly the lightest live node (lowest number on ties), then the lightest
/// of the rest, become children 0 and 1 of a new node weighing their sum. Both sides must agree
/// on every tie, so the queue orders by (weight, node number), which picks exactly the node the
/// linear scan over all nodes would.
inline CodeTree buildCodeTree(std::span<const uint32_t> counts) {
  CodeTree tree;
  const int n = static_cast<int>(counts.size());
  tree.symbols = n;
  // A fixed-size heap instead of a growing queue: a movie decodes a tree pair per frame and must
  // not allocate for it. (weight, node) pairs are unique, so any min-heap picks the same nodes.
  using Item = std::pair<uint64_t, int>;  // weight, node
  std::array<Item, 2 * kAcSymbols> heap;
  size_t live = 0;
  const auto later = std::greater<Item>();
  auto push = [&](Item item) {
    heap[live++] = item;
    std::push_heap(heap.begin(), heap.begin() + static_cast<std::ptrdiff_t>(live), later);
  };
  auto pop = [&] {
    std::pop_heap(heap.begin(), heap.begin() + static_cast<std::ptrdiff_t>(live), later);
    return heap[--live];
  };
  for (int i = 0; i < n && i < 2 * kAcSymbols; ++i)
    if (counts[static_cast<size_t>(i)] < kUnpickable) push({counts[static_cast<size_t>(i)], i});
  int next = n;
  while (live >= 2 && next < 2 * n) {
    Item first = pop();
    Item second = pop();
    tree.child0[static_cast<size_t>(next)] = static_cast<uint16_t>(first.second);
    tree.child1[static_cast<size_t>(next)] = static_cast<uint16_t>(second.second);
    uint64_t sum = first.first + second.first;
    if (sum < kUnpickable) push({sum, next});
    tree.root = next++;
  }
  return tree;
}

/// Number of bits that the value v needs (the JPEG category): 0 for 0, 1 for ±1, 2 for ±2..3,
/// ... capped at 15.
constexpr int category(int v) {
  unsigned m = static_cast<unsigned>(v < 0 ? -v : v);
  int c = 0;
  while (m != 0 && c < 15) {
    m >>= 1;
    ++c;
  }
  return c;
}

/// The value an s-bit magnitude m stands for (JPEG sign extension).
constexpr int extendValue(int m, int s) { return s > 0 && m < (1 << (s - 1)) ? m - (1 << s) + 1 : m; }

}  // namespace sorel::jbp1
