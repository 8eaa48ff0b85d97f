#!/usr/bin/env bash
# Installs the Debian 12 packages that qm320 needs, and only those that are
# missing, so it is quick and harmless to run again.
#   install-deps.sh         what building and running the program needs
#   install-deps.sh --test  also what the test suite, fuzzers, benchmarks,
#                           guest tests and the Debian package's check need
#   install-deps.sh --windows  only what the Windows cross-build and its
#                           tests under Wine need (scripts/windows-build.sh)
set -euo pipefail

packages=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-svg-dev libgl-dev
    libqcustomplot-dev libhidapi-dev libudev-dev libmosquitto-dev
    fonts-liberation fonts-dejavu-core
)
if [[ "${1:-}" == "--test" ]]; then
    packages+=(clang libclang-rt-14-dev libbenchmark-dev poppler-utils locales)
    # The broker tests run a Mosquitto broker and its clients; the CSV
    # export is read back by pandas and LibreOffice.
    packages+=(mosquitto mosquitto-clients python3-pandas libreoffice-calc-nogui)
    # The Debian package and its check (scripts/package-check.sh).
    packages+=(help2man lintian desktop-file-utils appstream debootstrap wget)
    # The guest tests' machine: QEMU, a busybox that needs no libraries, and
    # the one library of Debian's udev daemon that a system without systemd
    # may lack.
    packages+=(qemu-system-x86 busybox-static libkmod2)
fi
if [[ "${1:-}" == "--windows" ]]; then
    # mingw-w64 with posix threads, Qt's host tools (moc, uic, rcc), Wine to
    # run the programs and tests, NSIS and zip to pack them, the fonts the
    # program ships, and a display and PDF tools for the tests.
    packages=(
        cmake ninja-build xz-utils zip nsis
        g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64
        qt6-base-dev qt6-base-dev-tools fonts-liberation fonts-dejavu-core
        xvfb xauth poppler-utils
    )
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    if ! command -v sudo >/dev/null; then
        echo "These packages are missing and installing them needs root: ${missing[*]}" >&2
        exit 1
    fi
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
