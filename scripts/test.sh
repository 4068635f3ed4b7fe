#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite; then builds the
# graphics and picture tests once more without the x86-64 SIMD kernels (the path every other
# processor takes) and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
./scripts/build.sh -DSOREL_TESTS=ON "$@"
build="${SOREL_BUILD_DIR:-build}"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

# The portable kernels: only the graphics tests and the converter's JBP1 encoder test.
nosimd="${SOREL_NOSIMD_BUILD_DIR:-build-nosimd}"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$nosimd" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOREL_SIMD=OFF -DSOREL_TESTS=ON \
  -DSOREL_BENCH=OFF "${launcher[@]}" "$@" >/dev/null
nosimd_tests=(converter_jbp1_encoder_test)
for src in tests/graphics/*_test.cpp; do
  nosimd_tests+=("graphics_$(basename "$src" .cpp)")
done
cmake --build "$nosimd" -j"$(nproc)" --target "${nosimd_tests[@]}"
for t in "${nosimd_tests[@]}"; do
  echo "== $t (SOREL_SIMD=OFF)"
  "$nosimd/bin/$t" --gtest_brief=1
done
