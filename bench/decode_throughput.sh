#!/usr/bin/env bash
# Throughput of `qm320-cli decode` and `qm320-cli log` on a capture of one
# million frames, next to a plain read of the same file; the whole process,
# output to /dev/null. Run from the repository after a build:
#   bench/decode_throughput.sh [build-dir]
# Wall time is what a user waits; CPU time (user + system) is what the
# process itself costs, the figure to read on a busy machine.
set -euo pipefail
build=${1:-build}
cli="$build/cli/qm320-cli"
capture=$(mktemp /tmp/qm320-capture.XXXXXX)
trap 'rm -f "$capture"' EXIT

# One million frames, a mix of functions and ranges.
python3 - "$capture" <<'PY'
import sys
def frame(sign, digits, point, s):
    return bytes([ord(sign)]) + digits.encode() + b' ' + point.encode() + bytes(s) + b'\x00\r\n'
kinds = [frame('+','1234','1',[0x30,0,0,0x80]), frame('-','0399','2',[0x10,0,0x40,0x80]),
         frame('+','2305','4',[0x28,0,0,0x80]), frame('+','0123','4',[0x10,0,0x80,0x40]),
         frame('+','?000','2',[0x20,0,0x20,0x20]), frame('+','0470','4',[0x20,0x02,0,0x04]),
         frame('+','5000','2',[0x20,0,0x20,0x08]), frame('+','0025','0',[0x20,0,0,0x02])]
block = b''.join(kinds) * 125
with open(sys.argv[1], 'wb') as f:
    f.write(b'\n' + block * 1000)
PY
size=$(stat -c %s "$capture")
frames=1000000

median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# "wall cpu" seconds of one run, its output to /dev/null.
run() {
    local TIMEFORMAT='%R %U %S' t
    t=$( { time "$@" >/dev/null 2>&1; } 2>&1 )
    awk '{print $1, $2 + $3}' <<<"$t"
}
# Median wall and CPU seconds of $1 runs.
measure() {
    local n=$1; shift
    local runs
    runs=$(for ((i = 0; i < n; ++i)); do run "$@"; done)
    echo "$(awk '{print $1}' <<<"$runs" | median) $(awk '{print $2}' <<<"$runs" | median)"
}

cat "$capture" >/dev/null   # page cache
read -r raw _ < <(measure 5 cat "$capture")
read -r dec_wall dec_cpu < <(measure 5 "$cli" decode "$capture")
read -r log_wall log_cpu < <(measure 5 "$cli" log --limit "$frames" --out /dev/null "$capture")
lines=$("$cli" decode "$capture" | wc -l)

awk -v size="$size" -v frames="$frames" -v lines="$lines" -v raw="$raw" \
    -v dw="$dec_wall" -v dc="$dec_cpu" -v lw="$log_wall" -v lc="$log_cpu" 'BEGIN {
    printf "capture: %d frames, %.1f MB; decoded %d frames\n", frames, size / 1e6, lines
    printf "plain read (cat):  %7.3f s wall  %8.1f MB/s\n", raw, size / raw / 1e6
    printf "qm320-cli decode:  %7.3f s wall  %7.3f s CPU  %10.0f frames/s wall  %10.0f frames/s CPU\n", dw, dc, frames / dw, frames / dc
    printf "qm320-cli log:     %7.3f s wall  %7.3f s CPU  %10.0f rows/s wall    %10.0f rows/s CPU\n", lw, lc, frames / lw, frames / lc
}'
