#!/usr/bin/env bash
# Configures and builds qm320 (Release) in ./build, or in $QM320_BUILD_DIR.
# Extra arguments go to CMake's configure step. QM320_WERROR=ON makes a
# compiler warning in our own code an error, as the test command does.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QM320_BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DQM320_WERROR="${QM320_WERROR:-OFF}" "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
