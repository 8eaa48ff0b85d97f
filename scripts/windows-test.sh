#!/usr/bin/env bash
# The Windows part of the test command: cross-builds qm320 for Windows
# (scripts/windows-build.sh) and checks it under Wine, in a Wine prefix of the
# build folder:
#   - the Windows test programs pass, the serial backend and the window on a
#     simulated meter (the Linux qm320-cli's simulator on a pseudo-terminal,
#     which the prefix offers as COM1);
#   - qm320-cli.exe decodes, logs and shows the test captures byte for byte
#     as the Linux qm320-cli does;
#   - what the window logged from COM1, saved as table files and as the
#     report's PDF, equals what the Linux qm320-cli writes from the same frames;
#   - the installer installs and uninstalls silently and leaves nothing behind.
# Needs the Linux build ($QM320_BUILD_DIR, default build) for its qm320-cli.
# Skipped, with one line, where the Qt for Windows is missing.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
qt=${QM320_MINGW_QT:-$(dirname "$repo")/shared/windows}
if [[ ! -f "$qt" && ! -f "$qt/qt6.4.2-mingw64.tar.xz" ]]; then
    echo "Windows tests skipped: no Qt for Windows in $qt"
    exit 0
fi
export QM320_MINGW_QT=$qt
started=$SECONDS
linux_cli=$(realpath -m "${QM320_BUILD_DIR:-build}")/cli/qm320-cli
if [[ ! -x "$linux_cli" ]]; then
    echo "windows-test: the Linux build's qm320-cli is missing ($linux_cli): run scripts/build.sh first" >&2
    exit 1
fi

./scripts/windows-build.sh
build=$(realpath -m "${QM320_WIN_BUILD_DIR:-build-win}")
work=$build/wine-tests
rm -rf "$work"
mkdir -p "$work"
# No menu entries on the Linux desktop for the Start menu entry installed below.
export WINEPREFIX=$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
data=$repo/tests/data

simulator=""
xserver=""
finish() {
    [[ -n "$simulator" ]] && kill "$simulator" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    [[ -n "$xserver" ]] && kill "$xserver" 2>/dev/null || true
}
trap finish EXIT
fail() {
    echo "windows-test: $*" >&2
    exit 1
}
winpath() { local p=$1; echo "Z:${p//\//\\}"; }

# --- the meter on COM1, and the user's formats ---
# The simulator plays on a new pseudo-terminal each time; the prefix's COM1
# is a link to it, so the port setting stays the same.
"$linux_cli" simulate --interval 100 > "$work/simulator.out" &
simulator=$!
for _ in $(seq 50); do
    grep -q '^QM320_COM1=' "$work/simulator.out" && break
    sleep 0.1
done
device=$(sed -n 's/^QM320_COM1=//p' "$work/simulator.out")
[[ -n "$device" ]] || fail "the simulator gave no pseudo-terminal"
ln -sfn "$device" "$work/com1"
# The Linux tests run in the C locale: a point for decimals and 24-hour
# times, which the Windows user sets here in the Control Panel's values.
# Text is smoothed with ClearType, as Windows does unless told otherwise
# (Wine draws it unsmoothed, where Liberation Sans loses its capital I at
# the window's 11 pixels).
cat > "$work/settings.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\\Software\\Wine]
"Version"="win10"

[HKEY_CURRENT_USER\\Control Panel\\Desktop]
"FontSmoothing"="2"
"FontSmoothingType"=dword:00000002

[HKEY_CURRENT_USER\\Control Panel\\International]
"sDecimal"="."
"sTimeFormat"="HH:mm:ss"

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]
"COM1"="$work/com1"
REG
wine regedit /S "$(winpath "$work/settings.reg")"
# Wine maps its COM ports when it starts.
wineserver -k
wineserver -w

# --- a display for the window ---
display=${QM320_WIN_DISPLAY:-}
if [[ -z "$display" ]]; then
    for n in $(seq 90 120); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        display=:$n
        break
    done
    Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xserver=$!
    for _ in $(seq 50); do
        [[ -e /tmp/.X11-unix/X${display#:} ]] && break
        sleep 0.1
    done
fi

# --- the Windows test programs ---
QM320_TEST_COM=COM1 QM320_TEST_OUT=$work/window QM320_TEST_FONTS=/usr/share/fonts/truetype/liberation \
    DISPLAY=$display ctest --test-dir "$build" --output-on-failure -j"$(nproc)"

# --- qm320-cli.exe against the Linux qm320-cli ---
# Table files hold the time each row was logged; everything else must match.
# Times of day differ between the runs, and so does the minute a report is
# printed in.
masked() { sed -E -e 's/[0-9]{2}:[0-9]{2}:[0-9]{2}/hh:mm:ss/g' -e 's/Printed [0-9-]+ [0-9]{2}:[0-9]{2}/Printed (when)/g' "$1"; }
cli=$build/wine-run.sh
# Runs both with the same arguments in the folder of the captures, so that
# the messages name the files alike.
same_output() {   # NAME ARGS...
    local name=$1
    shift
    local ls=0 ws=0
    (cd "$data" && "$linux_cli" "$@") > "$work/$name.linux.out" 2> "$work/$name.linux.err" || ls=$?
    (cd "$data" && "$cli" "$build/qm320-cli.exe" "$@") > "$work/$name.win.out" 2> "$work/$name.win.err" || ws=$?
    [[ $ls == "$ws" ]] || fail "$name: exit status $ws on Windows, $ls on Linux"
    cmp -s "$work/$name.linux.out" "$work/$name.win.out" || fail "$name: the output differs from Linux's"
    cmp -s "$work/$name.linux.err" "$work/$name.win.err" || fail "$name: the messages differ from Linux's"
}
same_output decode-serial decode decode-serial.bin
same_output decode-hid decode --hid decode-hid.txt
same_output decode-hid-malformed decode --hid decode-hid-malformed.txt
same_output decode-missing decode no-such-capture.bin
same_output show-text show report-rows.txt
same_output show-xml show report-rows.xml
same_output show-bad show report-bad.txt
"$cli" "$build/qm320-cli.exe" decode - < "$data/decode-serial.bin" | cmp -s - "$work/decode-serial.linux.out" \
    || fail "decode from standard input differs from Linux's"
for input in log-frames.bin log-frames.hid; do
    hid=()
    [[ $input == *.hid ]] && hid=(--hid)
    for ext in xls xml; do
        "$linux_cli" log "${hid[@]}" "$data/$input" --out "$work/$input.linux.$ext" > /dev/null
        "$cli" "$build/qm320-cli.exe" log "${hid[@]}" "$(winpath "$data/$input")" \
            --out "$(winpath "$work/$input.win.$ext")" > /dev/null
        cmp -s <(masked "$work/$input.linux.$ext") <(masked "$work/$input.win.$ext") \
            || fail "log $input to .$ext differs from Linux's"
    done
done
echo "qm320-cli.exe: decode, show and log give the Linux output"

# --- the window's files against the Linux qm320-cli's from the same frames ---
w=$work/window
[[ -s "$w/frames.bin" ]] || fail "the window test wrote no frames"
for ext in xls xml; do
    "$linux_cli" log "$w/frames.bin" --out "$w/linux.$ext" > /dev/null
    cmp -s <(masked "$w/window.$ext") <(masked "$w/linux.$ext") || fail "the window's .$ext differs from Linux's"
done
# The report of the log as the window holds it, which the data packet keeps
# cell for cell, with the window's limits (its first start's); PDF files
# carry their own dates, so their text is compared.
"$linux_cli" report "$w/linux.xml" --pdf "$w/linux.pdf" --low -4000 --high 4000 > /dev/null
pdftotext -layout "$w/window.pdf" "$w/window.txt"
pdftotext -layout "$w/linux.pdf" "$w/linux.txt"
# pdftotext lays columns out from where the glyphs stand, which Wine's
# text metrics move by a fraction of a point: runs of blanks are one.
cmp -s <(masked "$w/window.txt" | tr -s ' ') <(masked "$w/linux.txt" | tr -s ' ') \
    || fail "the window's report differs from Linux's"
echo "the window: $(($(grep -c '' "$w/window.xls") - 1)) rows from COM1, its table files and report equal Linux's"

# --- a meter that goes away ends the link, as a pulled adapter does ---
kill "$simulator"
"$linux_cli" simulate --interval 100 --frames 30 > "$work/simulator.out" &
simulator=$!
for _ in $(seq 50); do
    grep -q '^QM320_COM1=' "$work/simulator.out" && break
    sleep 0.1
done
ln -sfn "$(sed -n 's/^QM320_COM1=//p' "$work/simulator.out")" "$work/com1"
status=0
timeout 60 "$cli" "$build/qm320-cli.exe" decode --port COM1 > "$work/lost.out" 2> "$work/lost.err" || status=$?
[[ $status == 2 && -s "$work/lost.out" ]] && grep -q 'COM1: the device went away.*the link is lost' "$work/lost.err" \
    || fail "a meter that went away did not end the link (exit status $status: $(cat "$work/lost.err"))"
echo "qm320-cli.exe: $(grep -c '' "$work/lost.out") readings from COM1, then the link ends when the meter goes away"

# --- the installer ---
setup=$(ls "$build"/qm320-*-win64-setup.exe)
user_dir=$WINEPREFIX/drive_c/users/$(whoami)
snapshot() { (cd "$user_dir" && find . -path '*/Temp' -prune -o -print | LC_ALL=C sort); }
registry_mentions() { grep -ci 'qm320' "$WINEPREFIX/user.reg" || true; }
wineserver -w
# As a new user has it: no folder of per-user programs yet (an earlier run
# in this prefix may have left it, empty, behind its uninstaller's check).
rmdir "$user_dir/AppData/Local/Programs" 2>/dev/null || true
snapshot > "$work/before-install"
mentions=$(registry_mentions)
wine "$setup" /S
wineserver -w
installed=$user_dir/AppData/Local/Programs/qm320
[[ -f "$installed/qm320.exe" && -f "$installed/platforms/qwindows.dll" && -f "$installed/fonts/LiberationSans-Regular.ttf" ]] \
    || fail "the installer did not install the program"
# The font files the program looks for (tst_platform_win checks the build's
# folder against them), and no others.
diff <(cd "$installed/fonts" && ls ./*.ttf) <(cd "$build/fonts" && ls ./*.ttf) > /dev/null \
    || fail "the installed fonts are not the files the program looks for"
ls "$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/"*QM320*.lnk > /dev/null \
    || fail "the installer made no Start menu entry"
grep -qF 'Uninstall\\qm320' "$WINEPREFIX/user.reg" || fail "the installer did not register its uninstaller"
version=$(wine "$installed/qm320-cli.exe" --version | tr -d '\r')
[[ $version == "qm320-cli 3.03" ]] || fail "the installed qm320-cli says '$version'"
wine "$installed/uninstall.exe" /S
# The uninstaller runs from a copy in the temporary folder.
wineserver -w
snapshot > "$work/after-uninstall"
diff "$work/before-install" "$work/after-uninstall" > "$work/left-behind" \
    || fail "the uninstaller left files behind: $(cat "$work/left-behind")"
[[ $(registry_mentions) == "$mentions" ]] || fail "the uninstaller left registry entries behind"
echo "the installer: $(stat -c %s "$setup") bytes, installs and uninstalls silently, leaves nothing behind"

echo "Windows tests passed in $((SECONDS - started)) s."
