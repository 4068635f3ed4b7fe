#pragma once
// The pixel half of JBP1 decoding: the inverse transform of one block and the colour conversion
// of one macroblock. Written once with compiler vector types and built twice, for the baseline
// instruction set and for AVX2; the decoder takes the best variant the processor has, chosen
// once. Every variant gives exactly the bytes of the format's integer arithmetic.
#include <cstddef>
#include <cstdint>

namespace sorel {

struct Jbp1Kernels {
  const char* name;
  /// Dequantises and transforms one block: coefficients in natural order, output rows of 8.
  void (*inverseTransform)(const int16_t coef[64], const uint16_t quant[64], int16_t out[64]);
  /// The same for a block whose non-zero coefficients all lie in column 0: every output row is
  /// one value, so the row pass reduces to a shift.
  void (*inverseTransformColumn0)(const int16_t coef[64], const uint16_t quant[64], int16_t out[64]);
  /// Converts a macroblock (four luma blocks Y0..Y3, chroma C1 and C2) to RGB565 at out, rows
  /// `stride` pixels apart.
  void (*convertMacroblock)(const int16_t luma[4][64], const int16_t c1[64], const int16_t c2[64], uint16_t* out,
                            size_t stride);
};

/// The variant for this processor (process-wide and constant once chosen: which instructions
/// the processor has does not change while it runs).
const Jbp1Kernels& jbp1Kernels();
/// The baseline variant.
const Jbp1Kernels& jbp1GenericKernels();
/// The AVX2 variant, or null when the processor or the build has none.
const Jbp1Kernels* jbp1Avx2Kernels();

}  // namespace sorel
