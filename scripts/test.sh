#!/usr/bin/env bash
# Installs what is missing, builds everything (tests and benchmarks included) and runs the whole
# test suite. Extra arguments go to CMake, e.g. -DSOREL_SANITIZE=ON (built and run in ./build-asan).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
. scripts/build-dir.sh
./scripts/build.sh -DSOREL_TESTS=ON -DSOREL_BENCH=ON "$@"
build="$(sorel_build_dir -DSOREL_TESTS=ON "$@")"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
