#!/usr/bin/env bash
# Throughput of `qm320-cli decode` on a capture of one million frames, next to
# a plain read of the same file. Run from the repository after a build:
#   bench/decode_throughput.sh [build-dir]
set -euo pipefail
build=${1:-build}
cli="$build/tools/qm320-cli"
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
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N); awk -v s="$s" -v e="$e" 'BEGIN {print e - s}'; }

cat "$capture" >/dev/null   # page cache
raw=$(for i in 1 2 3 4 5; do seconds cat "$capture"; done | median)
dec=$(for i in 1 2 3; do seconds "$cli" decode "$capture"; done | median)
lines=$("$cli" decode "$capture" | wc -l)

awk -v size="$size" -v frames="$frames" -v lines="$lines" -v raw="$raw" -v dec="$dec" 'BEGIN {
    printf "capture: %d frames, %.1f MB; decoded %d frames\n", frames, size / 1e6, lines
    printf "plain read (cat):  %8.3f s  %8.1f MB/s\n", raw, size / raw / 1e6
    printf "qm320-cli decode:  %8.3f s  %8.1f MB/s  %10.0f frames/s\n", dec, size / dec / 1e6, frames / dec
}'
