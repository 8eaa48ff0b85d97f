#!/usr/bin/env bash
# Builds the tests that run a thread of ours with ThreadSanitizer in
# ./build-tsan and runs them: the HID read thread itself, the USB link, the
# session, the window quitting while reports are on their way, and the MQTT
# publisher's network thread against a real broker. Any report of
# ThreadSanitizer fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=build-tsan
tests=(tst_hidreadthread tst_usblink tst_metersession tst_windowusb tst_mqttpublisher)
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM320_TSAN=ON -DQM320_WERROR="${QM320_WERROR:-OFF}" \
    -DQM320_BUILD_APP=ON -DQM320_BUILD_BENCH=OFF -DQM320_BUILD_TESTS=ON >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target "${tests[@]}"
# Qt is not built with ThreadSanitizer, so the synchronisation inside Qt is
# invisible to it, and Qt Test's own watchdog thread looks racy. The
# interceptors Qt calls are left out; our code, which syncs its threads with
# std::mutex and std::condition_variable, is checked in full.
# The broker test starts and restarts a Mosquitto broker while the
# publisher's thread runs; QProcess forks only to exec the broker, which is
# safe, so ThreadSanitizer is told to let the child go on.
for t in "${tests[@]}"; do
    echo "== $t under ThreadSanitizer"
    TSAN_OPTIONS="halt_on_error=1 exitcode=66 second_deadlock_stack=1 ignore_noninstrumented_modules=1 die_after_fork=0 ${TSAN_OPTIONS:-}" \
        QT_QPA_PLATFORM=offscreen "$(find "$build_dir/tests" -name "$t" -type f -perm -u+x)"
done
