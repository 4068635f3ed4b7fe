#!/usr/bin/env bash
# Builds every libFuzzer target with clang into ./build-fuzz (or $SOREL_FUZZ_DIR) and runs each
# for N seconds (first argument, default 30), starting from its seed corpus in fuzz/corpus/.
# New interesting inputs go to a scratch corpus, never into the source tree. An input that
# crashes is copied to fuzz/regressions/<target>/ (the normal suite then runs it through
# fuzz_regressions_test) and the script fails at the end. SOREL_JOBS targets (default 2, one per
# core) run at a time, each on one core, so every target still gets its N seconds of a core.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-30}"
build="${SOREL_FUZZ_DIR:-build-fuzz}"
jobs="${SOREL_JOBS:-2}"
# A folder already configured for fuzzing (the sanitizer pass's build-asan) is used as it is.
if ! grep -q '^SOREL_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
  CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOREL_FUZZ=ON \
    -DSOREL_TESTS=OFF -DSOREL_BENCH=OFF >/dev/null || exit 1
fi
targets=$(sed -n 's/^sorel_add_fuzzer(\([a-z0-9_]*\).*/\1/p' fuzz/*/CMakeLists.txt | sort)
# shellcheck disable=SC2086
cmake --build "$build" -j"$jobs" --target quillon $targets || exit 1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failed=0
fuzz_one() {  # runs target $1 into its scratch folder; the report is printed afterwards, in order
  local t=$1 seeds=()
  mkdir -p "$scratch/$t/corpus" "$scratch/$t/out"
  [ -d "fuzz/corpus/$t" ] && seeds+=("fuzz/corpus/$t")
  [ -d "fuzz/regressions/$t" ] && seeds+=("fuzz/regressions/$t")
  "$build/bin/$t" -max_total_time="$seconds" -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -artifact_prefix="$scratch/$t/out/" "$scratch/$t/corpus" "${seeds[@]}" >"$scratch/$t/log" 2>&1
  echo $? >"$scratch/$t/rc"
}
running=0
for t in $targets; do
  fuzz_one "$t" &
  running=$((running + 1))
  if [ "$running" -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
done
wait
for t in $targets; do
  rc=$(cat "$scratch/$t/rc")
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$scratch/$t/log" | tail -n 1)
  printf '%-22s %10s executions' "$t" "${runs:-?}"
  if [ "$rc" -ne 0 ] || ls "$scratch/$t/out/" | grep -q .; then
    failed=1
    mkdir -p "fuzz/regressions/$t"
    cp "$scratch/$t/out/"* "fuzz/regressions/$t/" 2>/dev/null
    echo "  FAILED (exit $rc; inputs kept in fuzz/regressions/$t/)"
    grep -m 5 -E 'ERROR|SUMMARY' "$scratch/$t/log" | sed 's/^/    /'
  else
    echo "  ok"
  fi
done
exit "$failed"
