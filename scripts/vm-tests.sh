#!/usr/bin/env bash
# Runs the guest tests: the serial and USB links on real kernel drivers in a
# QEMU machine (see tests/vm/run.sh). Installs what is missing, builds the
# programs the guest runs, then boots the machine. Where QEMU cannot run it
# says "vm tests skipped: REASON" and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${QM320_BUILD_DIR:-build}
# An install that fails (no network, no root) leaves the run to say what is
# missing.
./scripts/install-deps.sh --test || echo "vm: installing the packages failed; going on with what is there"
if ! command -v qemu-system-x86_64 >/dev/null; then
    echo "vm tests skipped: qemu-system-x86_64 is not installed (package qemu-system-x86)"
    exit 0
fi
if [[ ! -f $build_dir/CMakeCache.txt ]]; then
    cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build_dir" -j"$(nproc)" --target qm320-cli uhidcable tst_vmcli tst_vmwindow tst_hiduhid
exec tests/vm/run.sh "$build_dir"
