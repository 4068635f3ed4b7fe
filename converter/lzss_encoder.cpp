#include "converter/lzss_encoder.h"

#include <cstring>
#include <memory>
#include <memory>

#include "engine/resources/mlz_format.h"

namespace sorel {
namespace {

constexpr int N = static_cast<int>(mlz::kRingSize);   // 2048
constexpr int F = static_cast<int>(mlz::kLookAhead);  // 17
constexpr int kThreshold = static_cast<int>(mlz::kMinMatch) - 1;
constexpr int NIL = N;
inline uint64_t load64(const uint8_t* p) { uint64_t v; std::memcpy(&v, p, 8); return v; }

// The match finder's state: the ring with a mirror of its first F-1 bytes behind the end so
// comparisons can run past it, and binary search trees of ring positions, one per first byte
// (roots at N+1..N+256). One per call: no allocation per byte.
struct Encoder {
  uint8_t text[N + F - 1];
  int lson[N + 1];
  int rson[N + 257];
  int dad[N + 1];
  int matchPosition = 0;
  int matchLength = 0;

  void initTree() {
    for (int i = N + 1; i <= N + 256; ++i) rson[i] = NIL;
    for (int i = 0; i < N; ++i) dad[i] = NIL;
  }

  // Inserts the string at r into its tree and finds the longest match on the way down. Among
  // equally long matches the one met first wins; a full-length match takes the old node's place.
  void insertNode(int r) {
    int cmp = 1;
    const uint8_t* key = &text[r];
    int p = N + 1 + key[0];
    rson[r] = lson[r] = NIL;
    matchLength = 0;
    for (;;) {
      if (cmp >= 0) {
        if (rson[p] != NIL) {
          p = rson[p];
        } else {
          rson[p] = r;
          dad[r] = p;
          return;
        }
      } else {
        if (lson[p] != NIL) {
          p = lson[p];
        } else {
          lson[p] = r;
          dad[r] = p;
          return;
        }
      }
      int i;
      const uint8_t* other = &text[p];
      uint64_t diff = load64(key + 1) ^ load64(other + 1);
      if (diff != 0) {
        i = 1 + (__builtin_ctzll(diff) >> 3);
        cmp = key[i] - other[i];
      } else {
        diff = load64(key + 9) ^ load64(other + 9);
        if (diff != 0) {
          i = 9 + (__builtin_ctzll(diff) >> 3);
          cmp = key[i] - other[i];
        } else {
          i = F;
          cmp = 0;
        }
      }
      if (i > matchLength) {
        matchPosition = p;
        if ((matchLength = i) >= F) break;
      }
    }
    dad[r] = dad[p];
    lson[r] = lson[p];
    rson[r] = rson[p];
    dad[lson[p]] = r;
    dad[rson[p]] = r;
    if (rson[dad[p]] == p) rson[dad[p]] = r;
    else lson[dad[p]] = r;
    dad[p] = NIL;
  }

  void deleteNode(int p) {
    if (dad[p] == NIL) return;
    int q;
    if (rson[p] == NIL) {
      q = lson[p];
    } else if (lson[p] == NIL) {
      q = rson[p];
    } else {
      q = lson[p];
      if (rson[q] != NIL) {
        do {
          q = rson[q];
        } while (rson[q] != NIL);
        rson[dad[q]] = lson[q];
        dad[lson[q]] = dad[q];
        lson[q] = lson[p];
        dad[lson[p]] = q;
      }
      rson[q] = rson[p];
      dad[rson[p]] = q;
    }
    dad[q] = dad[p];
    if (rson[dad[p]] == p) rson[dad[p]] = q;
    else lson[dad[p]] = q;
    dad[p] = NIL;
  }
};

}  // namespace

size_t encodeLzss(uint8_t* output, std::span<const uint8_t> input) {
  if (input.empty()) return 0;
  auto enc = std::make_unique<Encoder>();
  Encoder& e = *enc;
  e.initTree();

  const uint8_t* in = input.data();
  const uint8_t* const inEnd = in + input.size();
  uint8_t* out = output;

  uint8_t group[1 + 2 * 8];
  group[0] = 0;
  int groupPos = 1;
  uint8_t mask = 1;

  int s = 0;
  int r = N - F;
  std::memset(e.text, 0, static_cast<size_t>(r));
  int len = 0;
  for (; len < F && in < inEnd; ++len) e.text[r + len] = *in++;
  for (int i = 1; i <= F; ++i) e.insertNode(r - i);
  e.insertNode(r);

  do {
    if (e.matchLength > len) e.matchLength = len;
    if (e.matchLength <= kThreshold) {
      e.matchLength = 1;
      group[0] |= mask;
      group[groupPos++] = e.text[r];
    } else {
      group[groupPos++] = static_cast<uint8_t>(e.matchPosition);
      group[groupPos++] = static_cast<uint8_t>(((e.matchPosition >> 4) & 0xF0) |
                                               (e.matchLength - (kThreshold + 1)));
    }
    mask = static_cast<uint8_t>(mask << 1);
    if (mask == 0) {
      std::memcpy(out, group, static_cast<size_t>(groupPos));
      out += groupPos;
      group[0] = 0;
      groupPos = 1;
      mask = 1;
    }
    int last = e.matchLength;
    int i = 0;
    for (; i < last && in < inEnd; ++i) {
      uint8_t c = *in++;
      e.deleteNode(s);
      e.text[s] = c;
      if (s < F - 1) e.text[s + N] = c;
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      e.insertNode(r);
    }
    while (i++ < last) {
      e.deleteNode(s);
      s = (s + 1) & (N - 1);
      r = (r + 1) & (N - 1);
      if (--len) e.insertNode(r);
    }
  } while (len > 0);

  if (groupPos > 1) {
    std::memcpy(out, group, static_cast<size_t>(groupPos));
    out += groupPos;
  }
  return static_cast<size_t>(out - output);
}

std::vector<uint8_t> encodeLzss(std::span<const uint8_t> input) {
  std::vector<uint8_t> out(input.size() * 2 + 2);
  out.resize(encodeLzss(out.data(), input));
  return out;
}

}  // namespace sorel
