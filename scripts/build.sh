#!/usr/bin/env bash
# Configures and builds. Usage: build.sh [--target T]... [CMake configure arguments]
#   ./scripts/build.sh                         everything, RelWithDebInfo, into ./build
#   ./scripts/build.sh --target pocketplayer   only that program (and what it needs)
#   ./scripts/build.sh -DSOREL_SANITIZE=ON     AddressSanitizer + UBSan build in ./build-asan
#   ./scripts/build.sh -DSOREL_FUZZ=ON         libFuzzer targets (clang) in ./build-fuzz
# A special build never changes ./build; $SOREL_BUILD_DIR names another folder.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/build-dir.sh
targets=()
names=()
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --target) targets+=(--target "$2"); names+=("$2"); shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
build="$(sorel_build_dir "${args[@]+"${args[@]}"}")"
extra=()
case "$build" in
  build-fuzz)
    # libFuzzer needs clang; the tests and benchmarks are not part of a fuzz build.
    extra=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSOREL_TESTS=OFF -DSOREL_BENCH=OFF) ;;
  build-asan)
    # The sanitizer folder is clang's, shared with test-sanitizers.sh (which adds the fuzz targets).
    extra=(-DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++) ;;
  build)
    # The everyday folder is always the plain build, whatever an older script left in its cache.
    extra=(-DSOREL_SANITIZE=OFF -DSOREL_FUZZ=OFF) ;;
esac
# ccache, when installed, makes rebuilds of unchanged files free.
if command -v ccache >/dev/null 2>&1; then
  extra+=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
echo "build: $build${names[*]:+ (${names[*]})}" >&2
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" "${args[@]+"${args[@]}"}" >/dev/null
cmake --build "$build" -j"$(nproc)" "${targets[@]+"${targets[@]}"}"
