#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/setup-deps.sh
./scripts/build.sh -DSOREL_TESTS=ON "$@"
build="${SOREL_BUILD_DIR:-build}"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
