#!/usr/bin/env bash
# Installs what is missing, builds qm320 with its tests and runs the whole
# suite: the unit and end-to-end tests (also built with AddressSanitizer and
# UndefinedBehaviorSanitizer), the fuzzers for a short while, the
# Debian package, the read-thread tests under ThreadSanitizer, and the links
# on real kernel drivers in a QEMU machine.
set -euo pipefail
cd "$(dirname "$0")/.."
# Every build of the suite treats a warning in our own code as an error.
export QM320_WERROR=ON
./scripts/install-deps.sh --test
./scripts/build.sh -DQM320_BUILD_TESTS=ON -DQM320_BUILD_BENCH=ON
build_dir=${QM320_BUILD_DIR:-build}
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)"
./scripts/asan.sh
./scripts/package-check.sh
./scripts/fuzz.sh "${QM320_FUZZ_SECONDS:-30}"
if [[ -x scripts/tsan.sh ]]; then
    ./scripts/tsan.sh
fi
./scripts/vm-tests.sh
./scripts/windows-test.sh
echo "All tests passed."
