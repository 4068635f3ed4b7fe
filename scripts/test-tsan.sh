#!/usr/bin/env bash
# Builds the threaded tests with ThreadSanitizer in ./build-tsan and runs them: the sound threads'
# test (the mixer, its output thread, the decoder module and a playing movie with its reader
# thread, all at once) and the conversion job's (members converted and encoded on worker
# threads). Any report fails the run. Extra arguments go to CMake.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${SOREL_BUILD_DIR:-build-tsan}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
jobs="${SOREL_JOBS:-$(nproc)}"
# Line tables are all a report's stack needs.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DSOREL_TSAN=ON -DSOREL_SANITIZE=OFF \
  -DSOREL_FUZZ=OFF -DSOREL_TESTS=ON -DSOREL_BENCH=OFF "${launcher[@]}" "$@" >/dev/null
# The test loads Quillon.ovl from the build's bin folder; the audio library builds it first.
cmake --build "$build" -j"$jobs" --target audio_threads_test converter_conversion_job_test quillon
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/scripts/tsan.supp${TSAN_OPTIONS:+ $TSAN_OPTIONS}"
echo "== audio_threads_test (ThreadSanitizer)"
"$build/bin/audio_threads_test" --gtest_brief=1
# The job's own tests; those that run the convSorel or sorel-mkgame programs are left to the
# normal suite (the programs are not part of this build).
echo "== converter_conversion_job_test (ThreadSanitizer)"
"$build/bin/converter_conversion_job_test" --gtest_brief=1 \
  --gtest_filter='ConversionJob.*:SoundSteps.LooseFilesAndVoiceArchive:-ConversionJob.SampleGameConvertsCompletely'
