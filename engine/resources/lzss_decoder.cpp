#include "engine/resources/lzss_decoder.h"

#include <cstring>

#include "engine/resources/mlz_format.h"

namespace sorel {

// The stream names ring positions, but the ring only ever holds the last 2048 output bytes
// (behind 2031 zeros), so the decoder reads straight from its output: ring position p seen at
// output index o is output index o - d with d = ((2031 + o - p - 1) mod 2048) + 1, and a negative
// index means a ring byte not yet written, which starts as zero. This drops the ring copy of
// every byte and lets non-overlapping references copy in one go; the bytes produced are those
// of the ring decoder. (The ring's tail 2031..2047 is treated as zero; the writer never refers to
// it before writing it.)
UnpackResult unpackMember(std::span<uint8_t> dst, std::span<const uint8_t> src) {
  using namespace mlz;
  uint8_t* const out = dst.data();
  const size_t outSize = dst.size();
  const uint8_t* in = src.data();
  const uint8_t* const inEnd = src.data() + src.size();
  size_t o = 0;

  auto finish = [&](bool overran) {
    UnpackResult r;
    r.produced = o;
    r.consumed = static_cast<size_t>(in - src.data());
    r.overran = overran;
    r.complete = !overran && in == inEnd && o == outSize;
    return r;
  };

  for (;;) {
    // Fast path: a whole group of eight items fits in what is left of both buffers, so no item
    // needs its own bounds test.
    while (inEnd - in >= 17 && outSize - o >= 8 * 17) {
      unsigned flags = *in++;
      for (int k = 0; k < 8; ++k, flags >>= 1) {
        if (flags & 1) {
          out[o++] = *in++;
          continue;
        }
        unsigned b0 = in[0], b1 = in[1];
        in += 2;
        unsigned p = b0 | ((b1 & 0xF0u) << 4);
        unsigned len = (b1 & 0x0Fu) + kMinMatch;
        size_t d = ((kRingStart + o - p - 1) & (kRingSize - 1)) + 1;
        if (d <= o) {
          const uint8_t* from = out + o - d;
          uint8_t* to = out + o;
          if (d >= len) {
            std::memcpy(to, from, len);
          } else {
            for (unsigned j = 0; j < len; ++j) to[j] = from[j];  // overlap repeats fresh bytes
          }
        } else {
          for (unsigned j = 0; j < len; ++j) {
            ptrdiff_t at = static_cast<ptrdiff_t>(o + j) - static_cast<ptrdiff_t>(d);
            out[o + j] = at < 0 ? 0 : out[at];
          }
        }
        o += len;
      }
    }

    // Careful path near the ends.
    if (in >= inEnd) return finish(false);
    unsigned flags = *in++;
    for (int k = 0; k < 8; ++k, flags >>= 1) {
      if (flags & 1) {
        if (in >= inEnd) return finish(false);
        if (o >= outSize) return finish(true);
        out[o++] = *in++;
        continue;
      }
      if (inEnd - in < 2) {
        in = inEnd;  // half a reference: the stream is over
        return finish(false);
      }
      unsigned b0 = in[0], b1 = in[1];
      in += 2;
      unsigned p = b0 | ((b1 & 0xF0u) << 4);
      unsigned len = (b1 & 0x0Fu) + kMinMatch;
      const bool overrun = len > outSize - o;
      if (overrun) len = static_cast<unsigned>(outSize - o);
      size_t d = ((kRingStart + o - p - 1) & (kRingSize - 1)) + 1;
      for (unsigned j = 0; j < len; ++j) {
        ptrdiff_t at = static_cast<ptrdiff_t>(o + j) - static_cast<ptrdiff_t>(d);
        out[o + j] = at < 0 ? 0 : out[at];
      }
      o += len;
      if (overrun) return finish(true);
    }
  }
}

}  // namespace sorel
