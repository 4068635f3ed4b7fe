// The JBP1 pixel kernels built for AVX2 (eight 32-bit lanes: one block row or column at once).
#include <cstdint>

#include "engine/graphics/jbp1_kernels.h"

#if defined(__x86_64__) || defined(__i386__)
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace sorel {
namespace jbp1_avx2 {
#include "engine/graphics/jbp1_kernels_impl.h"
}  // namespace jbp1_avx2
}  // namespace sorel

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace sorel {
const Jbp1Kernels* jbp1Avx2Kernels() {
  static constexpr Jbp1Kernels kernels = {"avx2", jbp1_avx2::inverseTransformKernel, jbp1_avx2::convertMacroblockKernel};
  return __builtin_cpu_supports("avx2") ? &kernels : nullptr;
}
}  // namespace sorel

#else
namespace sorel {
const Jbp1Kernels* jbp1Avx2Kernels() { return nullptr; }
}  // namespace sorel
#endif
