// The JBP1 pixel kernels for the baseline instruction set, and the choice of variant.
#pragma GCC diagnostic ignored "-Wpsabi"
#include <cstdint>

#include "engine/graphics/jbp1_kernels.h"

namespace sorel {
namespace jbp1_generic {
#include "engine/graphics/jbp1_kernels_impl.h"
}  // namespace jbp1_generic

const Jbp1Kernels& jbp1GenericKernels() {
  static constexpr Jbp1Kernels kernels = {"generic", jbp1_generic::inverseTransformKernel,
                                          jbp1_generic::inverseTransformKernel,
                                          jbp1_generic::convertMacroblockKernel};
  return kernels;
}

#if !SOREL_SIMD_KERNELS
// A build without the x86-64 kernels (another processor, or SOREL_SIMD=OFF).
const Jbp1Kernels* jbp1Avx2Kernels() { return nullptr; }
#endif

const Jbp1Kernels& jbp1Kernels() {
  // Chosen once: the processor's instruction set does not change while the program runs.
  static const Jbp1Kernels& chosen = jbp1Avx2Kernels() ? *jbp1Avx2Kernels() : jbp1GenericKernels();
  return chosen;
}

}  // namespace sorel
