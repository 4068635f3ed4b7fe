#pragma once
// The classic binary-tree LZSS compressor, shared by the two ring sizes the system meets: the
// engine archives' (2048-byte ring, matches 2..17) and the PC archives' (4096, 3..18). The ring
// starts zero-filled with the first write position at N - F; references name absolute ring
// positions; flag bits are assigned from the least significant bit up. Among equally long
// matches the one met first on the way down a tree is kept, so the same input always gives the
// same bytes.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

namespace sorel::lzss {

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;  // little-endian host: byte 0 in the low bits
}

/// Ring size N, longest match F, shortest match MinMatch (the references store length - MinMatch
/// in four bits, so F - MinMatch must be 15).
template <int N, int F, int MinMatch>
class TreeEncoder {
  static_assert((N & (N - 1)) == 0 && F - MinMatch == 15, "ring of a power of two, 4-bit lengths");
  static constexpr int NIL = N;
  static constexpr int kThreshold = MinMatch - 1;

 public:
  /// Compresses input into output (at least 9/8 of the input plus one byte); returns the bytes
  /// written, 0 for an empty input.
  static size_t encode(uint8_t* output, std::span<const uint8_t> input) {
    if (input.empty()) return 0;
    // Value-initialised: the ring, its mirror and the links start as zeros on every call.
    auto enc = std::make_unique<TreeEncoder>();
    return enc->run(output, input);
  }

 private:
  // The ring, with a mirror of its first F - 1 bytes behind the end so comparisons can run past
  // the wrap; binary search trees of ring positions, one per first byte (roots N+1..N+256).
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
      // Bytes 1..F-1 compared eight at a time where whole words fit: the first differing byte
      // (lowest in a little-endian load) gives both the common length and the branch. This
      // word-wise compare made the match finder about a quarter faster on picture data.
      const uint8_t* other = &text[p];
      int i = 1;
      cmp = 0;
      for (; i + 8 <= F; i += 8) {
        uint64_t diff = load64(key + i) ^ load64(other + i);
        if (diff != 0) {
          i += __builtin_ctzll(diff) >> 3;
          cmp = key[i] - other[i];
          break;
        }
      }
      if (cmp == 0)
        for (; i < F; ++i)
          if ((cmp = key[i] - other[i]) != 0) break;
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

  size_t run(uint8_t* output, std::span<const uint8_t> input) {
    initTree();
    const uint8_t* in = input.data();
    const uint8_t* const inEnd = in + input.size();
    uint8_t* out = output;

    uint8_t group[1 + 2 * 8];
    group[0] = 0;
    int groupPos = 1;
    uint8_t mask = 1;

    int s = 0;
    int r = N - F;
    int len = 0;
    for (; len < F && in < inEnd; ++len) text[r + len] = *in++;
    for (int i = 1; i <= F; ++i) insertNode(r - i);
    insertNode(r);

    do {
      if (matchLength > len) matchLength = len;
      if (matchLength <= kThreshold) {
        matchLength = 1;
        group[0] |= mask;
        group[groupPos++] = text[r];
      } else {
        group[groupPos++] = static_cast<uint8_t>(matchPosition);
        group[groupPos++] =
            static_cast<uint8_t>(((matchPosition >> 4) & 0xF0) | (matchLength - (kThreshold + 1)));
      }
      mask = static_cast<uint8_t>(mask << 1);
      if (mask == 0) {
        std::memcpy(out, group, static_cast<size_t>(groupPos));
        out += groupPos;
        group[0] = 0;
        groupPos = 1;
        mask = 1;
      }
      int last = matchLength;
      int i = 0;
      for (; i < last && in < inEnd; ++i) {
        uint8_t c = *in++;
        deleteNode(s);
        text[s] = c;
        if (s < F - 1) text[s + N] = c;
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        insertNode(r);
      }
      while (i++ < last) {
        deleteNode(s);
        s = (s + 1) & (N - 1);
        r = (r + 1) & (N - 1);
        if (--len) insertNode(r);
      }
    } while (len > 0);

    if (groupPos > 1) {
      std::memcpy(out, group, static_cast<size_t>(groupPos));
      out += groupPos;
    }
    return static_cast<size_t>(out - output);
  }
};

}  // namespace sorel::lzss
