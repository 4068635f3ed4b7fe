#pragma once
// Inside the blitters: the per-pixel rules of every family and variant, the job records the
// loops run on, and the kernel tables (scalar, and SIMD where the processor has it). Only the
// blitter sources and their tests include this header.
#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace sorel::blit {

enum class Family : int {
  Blend = 0,  ///< picture, alpha blend
  Additive,   ///< picture, added weighted by alpha
  Fill,       ///< colour, replaces (mixes with the opacity)
  Add,        ///< colour, added
};
constexpr int kFamilies = 4;

enum class Variant : int { Plain = 0, Opacity, Brightness, Both };
constexpr int kVariants = 4;

/// The two tests made once per call.
inline Variant variantOf(int opacity, int brightness) {
  return static_cast<Variant>((opacity != 256 ? 1 : 0) + (brightness != 256 ? 2 : 0));
}

/// Tone factors of a brightness L: T(x) = w + ((x × k) >> 8). Unsigned so that an out-of-range
/// brightness gives odd colours, never undefined arithmetic.
struct Tone {
  uint32_t k = 256;
  uint32_t w = 0;
};
inline Tone toneOf(int brightness) {
  const uint32_t l = static_cast<uint32_t>(brightness);
  Tone t;
  if (brightness <= 256) {
    t.k = l;
    t.w = 0;
  } else {
    t.k = 512u - l;
    t.w = ((256u - t.k) * 255u) >> 8;
  }
  return t;
}

/// The alpha-blend opacity variant keeps only what an RGB565 panel shows.
constexpr uint32_t kMask565[3] = {0xF8, 0xFC, 0xF8};

/// One straight blit: rows of `width` pixels; dst is 3 bytes a pixel, src 4 (null for colours).
struct StraightJob {
  uint8_t* dst = nullptr;
  ptrdiff_t dstPitch = 0;  ///< bytes from one destination row to the next
  const uint8_t* src = nullptr;
  ptrdiff_t srcPitch = 0;  ///< bytes from one source row to the next
  int width = 0;
  int height = 0;
  uint32_t opacity = 256;
  Tone tone;
  uint8_t colour[3] = {0, 0, 0};  ///< blue, green, red for the colour families
};

/// One transformed blit: the loop walks the clipped box and samples inside the source
/// rectangle (picture pixels from picLeft/picTop, srcW × srcH).
struct TransformJob {
  uint8_t* dst = nullptr;     ///< destination pixel at the box's (x0, y0)
  ptrdiff_t dstPitch = 0;
  const uint8_t* pic = nullptr;  ///< picture pixel at the source rectangle's top-left
  ptrdiff_t picPitch = 0;        ///< bytes per picture row
  int64_t srcW = 0, srcH = 0;
  int width = 0, height = 0;
  int64_t u = 0, v = 0;  ///< 1/1024 pixel, at the first destination pixel
  int64_t dudx = 0, dvdx = 0, dudy = 0, dvdy = 0;
  uint32_t opacity = 256;
  Tone tone;
  uint8_t colour[3] = {0, 0, 0};
};

using StraightKernel = void (*)(const StraightJob&);
using TransformKernel = void (*)(const TransformJob&);

/// The portable loops: [family][variant]. Transformed kernels exist for Blend, Additive and
/// Fill only (Add is null).
StraightKernel scalarStraight(Family family, Variant variant);
TransformKernel scalarTransformed(Family family, Variant variant);

/// Faster loops with the scalar output byte for byte, or null where none exists or the
/// processor cannot run it.
StraightKernel simdStraight(Family family, Variant variant);

/// The kernel the public calls use: SIMD when present, else scalar. Chosen once.
StraightKernel straightKernel(Family family, Variant variant);

// ---- per-pixel rules (shared by the scalar loops and the SIMD loops' tails) ----

inline uint8_t sat(uint32_t x) { return static_cast<uint8_t>(std::min<uint32_t>(255u, x)); }

struct BlendPlain {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    const uint32_t a = s[3];
    if (a == 0) return;
    if (a == 255) {
      d[0] = s[0], d[1] = s[1], d[2] = s[2];
      return;
    }
    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>((((256 - a) * d[c]) >> 8) + ((s[c] * a) >> 8));
  }
};

struct BlendOpacity {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    const uint32_t sa = s[3];
    if (sa == 0) return;
    const uint32_t a = sa == 255 ? p : (sa * p) >> 8;
    for (int c = 0; c < 3; ++c)
      d[c] = static_cast<uint8_t>(((d[c] * (256 - a) + s[c] * a) >> 8) & kMask565[c]);
  }
};

struct BlendBrightness {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    const uint32_t a = s[3];
    if (a == 0) return;
    if (a == 255) {
      for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(t.w + ((s[c] * t.k) >> 8));
      return;
    }
    for (int c = 0; c < 3; ++c) {
      const uint32_t ts = (t.w + ((s[c] * t.k) >> 8)) & 255u;
      d[c] = static_cast<uint8_t>(((ts * a) >> 8) + (((256 - a) * d[c]) >> 8));
    }
  }
};

struct BlendBoth {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    const uint32_t sa = s[3];
    if (sa == 0) return;
    const uint32_t a = sa == 255 ? p : (sa * p) >> 8;
    for (int c = 0; c < 3; ++c) {
      const uint32_t m = (((s[c] * a) >> 8) + ((d[c] * (256 - a)) >> 8)) & 255u;
      d[c] = static_cast<uint8_t>(t.w + ((m * t.k) >> 8));
    }
  }
};

struct AdditivePlain {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    const uint32_t a = s[3];
    if (a == 0) return;
    if (a == 255) {
      for (int c = 0; c < 3; ++c) d[c] = sat(s[c] + d[c]);
      return;
    }
    for (int c = 0; c < 3; ++c) d[c] = sat(((s[c] * a) >> 8) + d[c]);
  }
};

struct AdditiveOpacity {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    const uint32_t sa = s[3];
    if (sa == 0) return;
    const uint32_t a = sa == 255 ? p : (sa * p) >> 8;
    for (int c = 0; c < 3; ++c) d[c] = sat((((s[c] * a) >> 8) & 255u) + d[c]);
  }
};

struct AdditiveBrightness {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    const uint32_t a = s[3];
    if (a == 0) return;
    if (a == 255) {
      for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(t.w + ((sat(s[c] + d[c]) * t.k) >> 8));
      return;
    }
    for (int c = 0; c < 3; ++c)
      d[c] = static_cast<uint8_t>(t.w + ((sat(((s[c] * a) >> 8) + d[c]) * t.k) >> 8));
  }
};

struct AdditiveBoth {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    const uint32_t sa = s[3];
    if (sa == 0) return;
    const uint32_t a = sa == 255 ? p : (sa * p) >> 8;
    for (int c = 0; c < 3; ++c)
      d[c] = static_cast<uint8_t>(t.w + ((sat((((s[c] * a) >> 8) & 255u) + d[c]) * t.k) >> 8));
  }
};

// Colour families: s points at the colour's three bytes (blue, green, red).

struct FillPlain {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const { d[0] = s[0], d[1] = s[1], d[2] = s[2]; }
};

struct FillOpacity {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(((s[c] * p) >> 8) + ((d[c] * (256 - p)) >> 8));
  }
};

struct FillBrightness {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(((s[c] * t.k) >> 8) + t.w);
  }
};

struct FillBoth {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    for (int c = 0; c < 3; ++c) {
      const uint32_t m = (((s[c] * p) >> 8) + ((d[c] * (256 - p)) >> 8)) & 255u;
      d[c] = static_cast<uint8_t>(t.w + ((m * t.k) >> 8));
    }
  }
};

struct AddPlain {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    for (int c = 0; c < 3; ++c) d[c] = sat(s[c] + d[c]);
  }
};

struct AddOpacity {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    for (int c = 0; c < 3; ++c) d[c] = sat((((s[c] * p) >> 8) & 255u) + d[c]);
  }
};

struct AddBrightness {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    for (int c = 0; c < 3; ++c) d[c] = static_cast<uint8_t>(t.w + ((sat(s[c] + d[c]) * t.k) >> 8));
  }
};

struct AddBoth {
  uint32_t p;
  Tone t;
  void operator()(uint8_t* d, const uint8_t* s) const {
    for (int c = 0; c < 3; ++c)
      d[c] = static_cast<uint8_t>(t.w + ((sat((((s[c] * p) >> 8) & 255u) + d[c]) * t.k) >> 8));
  }
};

}  // namespace sorel::blit
