// The JBP1 pixel kernels for AVX2: eight 32-bit lanes hold one block row or column, so each
// pass of the transform is a handful of instructions; the colour conversion handles a row of 16
// pixels at once. The arithmetic is exactly the baseline kernels' (a test compares them).
#include <cstdint>

#include "engine/graphics/jbp1_kernels.h"

// Built only for x86-64 (see CMakeLists.txt); elsewhere jbp1_kernels_generic.cpp says there is
// no AVX2 variant.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif
#include <immintrin.h>

namespace sorel {
namespace {

// (x × k) >> 16 with a 32-bit product: mullo keeps the low 32 bits as the format's registers do.
__attribute__((always_inline)) inline __m256i mulK(__m256i x, int32_t k) {
  return _mm256_srai_epi32(_mm256_mullo_epi32(x, _mm256_set1_epi32(k)), 16);
}

// Keeps the low 16 bits, sign-extended: a value stored as 16 bits and read back.
__attribute__((always_inline)) inline __m256i to16(__m256i v) {
  return _mm256_srai_epi32(_mm256_slli_epi32(v, 16), 16);
}

__attribute__((always_inline)) inline void idctPass(const __m256i* x, __m256i* y) {
  __m256i z1 = mulK(_mm256_add_epi32(x[2], x[6]), 35467);
  __m256i t2 = _mm256_add_epi32(z1, mulK(x[6], -121094));
  __m256i t3 = _mm256_add_epi32(z1, mulK(x[2], 50159));
  __m256i t0 = _mm256_add_epi32(x[0], x[4]);
  __m256i t1 = _mm256_sub_epi32(x[0], x[4]);
  __m256i e0 = _mm256_add_epi32(t0, t3), e3 = _mm256_sub_epi32(t0, t3);
  __m256i e1 = _mm256_add_epi32(t1, t2), e2 = _mm256_sub_epi32(t1, t2);
  __m256i q1 = _mm256_add_epi32(x[7], x[1]), q2 = _mm256_add_epi32(x[5], x[3]);
  __m256i q3 = _mm256_add_epi32(x[7], x[3]), q4 = _mm256_add_epi32(x[5], x[1]);
  __m256i z5 = mulK(_mm256_add_epi32(q3, q4), 77062);
  __m256i p1 = mulK(q1, -58980);
  __m256i p2 = mulK(q2, -167963);
  __m256i p3 = _mm256_add_epi32(z5, mulK(q3, -128553));
  __m256i p4 = _mm256_add_epi32(z5, mulK(q4, -25570));
  __m256i b0 = _mm256_add_epi32(_mm256_add_epi32(mulK(x[7], 19571), p1), p3);
  __m256i b1 = _mm256_add_epi32(_mm256_add_epi32(mulK(x[5], 134553), p2), p4);
  __m256i b2 = _mm256_add_epi32(_mm256_add_epi32(mulK(x[3], 201373), p2), p3);
  __m256i b3 = _mm256_add_epi32(_mm256_add_epi32(mulK(x[1], 98390), p1), p4);
  y[0] = _mm256_add_epi32(e0, b3);
  y[7] = _mm256_sub_epi32(e0, b3);
  y[1] = _mm256_add_epi32(e1, b2);
  y[6] = _mm256_sub_epi32(e1, b2);
  y[2] = _mm256_add_epi32(e2, b1);
  y[5] = _mm256_sub_epi32(e2, b1);
  y[3] = _mm256_add_epi32(e3, b0);
  y[4] = _mm256_sub_epi32(e3, b0);
}

__attribute__((always_inline)) inline void transpose(const __m256i* r, __m256i* c) {
  __m256i t0 = _mm256_unpacklo_epi32(r[0], r[1]), t1 = _mm256_unpackhi_epi32(r[0], r[1]);
  __m256i t2 = _mm256_unpacklo_epi32(r[2], r[3]), t3 = _mm256_unpackhi_epi32(r[2], r[3]);
  __m256i t4 = _mm256_unpacklo_epi32(r[4], r[5]), t5 = _mm256_unpackhi_epi32(r[4], r[5]);
  __m256i t6 = _mm256_unpacklo_epi32(r[6], r[7]), t7 = _mm256_unpackhi_epi32(r[6], r[7]);
  __m256i u0 = _mm256_unpacklo_epi64(t0, t2), u1 = _mm256_unpackhi_epi64(t0, t2);
  __m256i u2 = _mm256_unpacklo_epi64(t1, t3), u3 = _mm256_unpackhi_epi64(t1, t3);
  __m256i u4 = _mm256_unpacklo_epi64(t4, t6), u5 = _mm256_unpackhi_epi64(t4, t6);
  __m256i u6 = _mm256_unpacklo_epi64(t5, t7), u7 = _mm256_unpackhi_epi64(t5, t7);
  c[0] = _mm256_permute2x128_si256(u0, u4, 0x20);
  c[1] = _mm256_permute2x128_si256(u1, u5, 0x20);
  c[2] = _mm256_permute2x128_si256(u2, u6, 0x20);
  c[3] = _mm256_permute2x128_si256(u3, u7, 0x20);
  c[4] = _mm256_permute2x128_si256(u0, u4, 0x31);
  c[5] = _mm256_permute2x128_si256(u1, u5, 0x31);
  c[6] = _mm256_permute2x128_si256(u2, u6, 0x31);
  c[7] = _mm256_permute2x128_si256(u3, u7, 0x31);
}

__attribute__((always_inline)) inline __m256i load8(const int16_t* p) {
  return _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
}

void inverseTransformAvx2(const int16_t coef[64], const uint16_t quant[64], int16_t out[64]) {
  __m256i x[8], y[8];
  #pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) {
    __m256i q = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + r * 8)));
    x[r] = _mm256_mullo_epi32(load8(coef + r * 8), q);
  }
  idctPass(x, y);  // columns, one per lane
  #pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) y[r] = to16(y[r]);
  transpose(y, x);
  idctPass(x, y);  // rows, one per lane
  #pragma GCC unroll 8
  for (int j = 0; j < 8; ++j) y[j] = to16(_mm256_srai_epi32(y[j], 3));
  transpose(y, x);
  #pragma GCC unroll 8
  for (int r = 0; r < 8; r += 2) {
    // The values fit 16 bits, so the saturating pack only narrows.
    __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(x[r], x[r + 1]), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + r * 8), packed);
  }
}

void inverseTransformColumn0Avx2(const int16_t coef[64], const uint16_t quant[64], int16_t out[64]) {
  __m256i x[8], y[8];
  #pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) {
    __m256i q = _mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(quant + r * 8)));
    x[r] = _mm256_mullo_epi32(load8(coef + r * 8), q);
  }
  idctPass(x, y);
  // Rows whose columns 1..7 are zero: the row pass gives its x0 in all eight places.
  const __m256i lane0 = _mm256_setzero_si256();
  #pragma GCC unroll 8
  for (int r = 0; r < 8; ++r) y[r] = _mm256_permutevar8x32_epi32(to16(_mm256_srai_epi32(to16(y[r]), 3)), lane0);
  #pragma GCC unroll 8
  for (int r = 0; r < 8; r += 2) {
    __m256i packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(y[r], y[r + 1]), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + r * 8), packed);
  }
}

__attribute__((always_inline)) inline __m256i packRow(__m256i y, __m256i rt, __m256i gt, __m256i bt) {
  const __m256i zero = _mm256_setzero_si256(), top = _mm256_set1_epi32(255);
  __m256i base = _mm256_add_epi32(y, _mm256_set1_epi32(128));  // index y + 384, tables start at 256
  __m256i r = _mm256_max_epi32(_mm256_min_epi32(_mm256_add_epi32(base, rt), top), zero);
  __m256i g = _mm256_max_epi32(_mm256_min_epi32(_mm256_sub_epi32(base, gt), top), zero);
  __m256i b = _mm256_max_epi32(_mm256_min_epi32(_mm256_add_epi32(base, bt), top), zero);
  r = _mm256_slli_epi32(_mm256_and_si256(r, _mm256_set1_epi32(0xF8)), 8);
  g = _mm256_slli_epi32(_mm256_and_si256(g, _mm256_set1_epi32(0xFC)), 3);
  b = _mm256_srli_epi32(b, 3);
  return _mm256_or_si256(_mm256_or_si256(r, g), b);
}

void convertMacroblockAvx2(const int16_t luma[4][64], const int16_t c1[64], const int16_t c2[64], uint16_t* out,
                           size_t stride) {
  const __m256i left = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
  const __m256i right = _mm256_setr_epi32(4, 4, 5, 5, 6, 6, 7, 7);
  #pragma GCC unroll 8
  for (int cy = 0; cy < 8; ++cy) {
    __m256i a = load8(c1 + cy * 8), b = load8(c2 + cy * 8);
    __m256i rt = mulK(b, 116129), bt = mulK(a, 91881);
    __m256i gt = _mm256_srai_epi32(
        _mm256_add_epi32(_mm256_mullo_epi32(b, _mm256_set1_epi32(22553)), _mm256_mullo_epi32(a, _mm256_set1_epi32(46801))),
        16);
    // Each chroma sample serves two columns.
    __m256i rtL = _mm256_permutevar8x32_epi32(rt, left), rtR = _mm256_permutevar8x32_epi32(rt, right);
    __m256i gtL = _mm256_permutevar8x32_epi32(gt, left), gtR = _mm256_permutevar8x32_epi32(gt, right);
    __m256i btL = _mm256_permutevar8x32_epi32(bt, left), btR = _mm256_permutevar8x32_epi32(bt, right);
    #pragma GCC unroll 8
    for (int dy = 0; dy < 2; ++dy) {
      int row = cy * 2 + dy;
      const int16_t* l = luma[row < 8 ? 0 : 2] + (row & 7) * 8;
      const int16_t* r = luma[row < 8 ? 1 : 3] + (row & 7) * 8;
      __m256i pl = packRow(load8(l), rtL, gtL, btL), pr = packRow(load8(r), rtR, gtR, btR);
      __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(pl, pr), 0xD8);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + size_t(row) * stride), packed);
    }
  }
}

}  // namespace
}  // namespace sorel

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace sorel {
const Jbp1Kernels* jbp1Avx2Kernels() {
  static constexpr Jbp1Kernels kernels = {"avx2", inverseTransformAvx2, inverseTransformColumn0Avx2,
                                          convertMacroblockAvx2};
  return __builtin_cpu_supports("avx2") ? &kernels : nullptr;
}
}  // namespace sorel
