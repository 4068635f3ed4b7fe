#!/usr/bin/env bash
# Configures and builds everything into ./build (or $SOREL_BUILD_DIR). Extra arguments go to
# CMake's configure step, e.g. -DSOREL_SANITIZE=ON.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${SOREL_BUILD_DIR:-build}"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build" -j"$(nproc)"
