#!/usr/bin/env bash
# Installs what is missing, builds qm320 and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
./scripts/build.sh -DQM320_BUILD_TESTS=OFF -DQM320_BUILD_BENCH=OFF
build_dir=${QM320_BUILD_DIR:-build}
if [[ -x "$build_dir/app/qm320" ]]; then
    exec "$build_dir/app/qm320" "$@"
fi
exec "$build_dir/cli/qm320-cli" --help
