#!/usr/bin/env bash
# The sanitizer pass CI makes after ./scripts/test.sh: builds everything with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer (with the libFuzzer coverage hooks, so that the
# same build also gives the fuzz targets) in ./build-asan, runs the whole test suite there (the
# damaged-data test included), then every fuzz target for SECONDS each (first argument, default
# 30) from its seed corpus, then the sound-thread test under ThreadSanitizer. Any report fails.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
./scripts/setup-deps.sh
build="${SOREL_ASAN_BUILD_DIR:-build-asan}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
start=$(date +%s)
# Line tables are all a report's stack needs; full debug information would make the build slower.
lines_only="-O2 -gline-tables-only -DNDEBUG"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="$lines_only" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$lines_only" \
  -DSOREL_SANITIZE=ON -DSOREL_FUZZ=ON -DSOREL_TESTS=ON -DSOREL_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"
echo "== sanitizer build: $(( $(date +%s) - start )) s"

# A report ends the program with a failure; leaks are reported too (system libraries' own
# allocations kept for the life of the process are listed in scripts/lsan.supp).
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=0:detect_stack_use_after_return=0:strict_string_checks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/scripts/lsan.supp:print_suppressions=0}"
start=$(date +%s)
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
echo "== test suite under the sanitizers: $(( $(date +%s) - start )) s"

start=$(date +%s)
SOREL_FUZZ_DIR="$build" ./scripts/fuzz.sh "$seconds"
echo "== fuzz targets, $seconds s each: $(( $(date +%s) - start )) s"

if [ -x scripts/test-tsan.sh ]; then
  ./scripts/test-tsan.sh
fi
