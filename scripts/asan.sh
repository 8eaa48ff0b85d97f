#!/usr/bin/env bash
# Builds the program and its tests as a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer in ./build-asan and runs the whole CTest suite
# there. Any finding, leaks included, fails the test it happens in.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=build-asan
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Debug -DQM320_ASAN=ON -DQM320_WERROR="${QM320_WERROR:-OFF}" \
    -DQM320_BUILD_APP=ON -DQM320_BUILD_TESTS=ON -DQM320_BUILD_BENCH=OFF "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
export ASAN_OPTIONS="halt_on_error=1 detect_leaks=1 abort_on_error=0 exitcode=67 detect_stack_use_after_return=1 strict_string_checks=1 ${ASAN_OPTIONS:-}"
export UBSAN_OPTIONS="halt_on_error=1 print_stacktrace=1 exitcode=68 ${UBSAN_OPTIONS:-}"
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
