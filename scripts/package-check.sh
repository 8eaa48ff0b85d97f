#!/usr/bin/env bash
# Builds the Debian package of qm320 from the build in ./build (or
# $QM320_BUILD_DIR) with CPack and checks it:
#   - lintian finds no error and no warning;
#   - desktop-file-validate and appstreamcli accept its menu entry and metainfo;
#   - it installs with apt, dependencies and all, into a fresh Debian 12 root
#     (debootstrap, minbase), where qm320 --version, qm320-cli --version,
#     qm320-cli decode of a capture and qm320-cli report run from the
#     installed paths;
#   - purging it leaves none of its files behind.
# The Debian 12 root is made once and kept as a tarball, with the packages
# apt fetched for it, in $QM320_PACKAGE_CACHE (default BUILD/package-check),
# so later runs need neither debootstrap nor many downloads. Where the root
# cannot be made (not root, no network on a first run, no chroot allowed)
# the install part prints "package check skipped: <reason>" and the script
# ends with success.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(realpath -m "${QM320_BUILD_DIR:-build}")
cache_dir=$(realpath -m "${QM320_PACKAGE_CACHE:-$build_dir/package-check}")
mirror=${QM320_DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=bookworm
arch=$(dpkg --print-architecture)

started=$SECONDS
step() {
    echo "== $* (at $((SECONDS - started)) s)"
}
skip() {
    echo "package check skipped: $*"
    exit 0
}

./scripts/install-deps.sh --test
# Usually the test build, already up to date; what the build prints matters
# only when it fails.
if [[ ! -f "$build_dir/CMakeCache.txt" ]]; then
    QM320_BUILD_DIR="$build_dir" ./scripts/build.sh
elif grep -q '^QM320_HELP2MAN:FILEPATH=.*NOTFOUND' "$build_dir/CMakeCache.txt"; then
    # Configured before help2man was installed: look for it again.
    cmake "$build_dir" >/dev/null
fi

step "the package"
if ! cmake --build "$build_dir" -j"$(nproc)" --target qm320-package-files >"$build_dir/package-build.log" 2>&1; then
    tail -n 40 "$build_dir/package-build.log" >&2
    exit 1
fi
rm -f "$build_dir"/qm320_*.deb
if ! (cd "$build_dir" && cpack -G DEB >"$build_dir/package-cpack.log" 2>&1); then
    cat "$build_dir/package-cpack.log" >&2
    exit 1
fi
debs=("$build_dir"/qm320_*_"$arch".deb)
deb=${debs[0]}
[[ -f "$deb" ]] || { echo "cpack made no package" >&2; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
echo "$(basename "$deb"): $(dpkg-deb -f "$deb" Depends)"

step "lintian"
# lintian warns when it runs as root; nothing it checks depends on it.
lintian --fail-on error,warning --info "$deb" 2> >(grep -v "running with root privileges" >&2)

step "the menu entry and the metainfo"
work=$(mktemp -d)
root=""
# Removes the Debian 12 root, once nothing is mounted inside it any more.
remove_root() {
    local mount
    for mount in "$1/var/cache/apt/archives" "$1/proc"; do
        if mountpoint -q "$mount"; then
            umount -l "$mount"
        fi
    done
    if grep -q " $1/" /proc/self/mounts; then
        echo "something is still mounted in $1; it is left in place" >&2
        return 1
    fi
    rm -rf "$1"
}
cleanup() {
    if [[ -n "$root" ]]; then
        remove_root "$root" || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$work/files"
desktop-file-validate "$work"/files/usr/share/applications/*.desktop
appstreamcli validate --no-net "$work"/files/usr/share/metainfo/*.metainfo.xml
appstreamcli validate-tree --no-net "$work/files"

step "installing into a fresh Debian 12 root"
[[ $(id -u) -eq 0 ]] || skip "making a Debian 12 root with debootstrap needs root"
command -v debootstrap >/dev/null || skip "debootstrap is not installed"
mkdir -p "$cache_dir/apt-archives/partial"
tarball="$cache_dir/debian-$suite-$arch-minbase.tar.gz"
exec 9>"$cache_dir/lock"
flock -w 900 9 || skip "another package check holds $cache_dir/lock"

# A root older than a month is made again, so that it stays close to the
# Debian release that users install into.
if [[ -f "$tarball" ]] && [[ -n $(find "$tarball" -mtime +30) ]]; then
    rm -f "$tarball"
fi
if [[ ! -f "$tarball" ]]; then
    wget -q -T 15 -t 1 --spider "$mirror/dists/$suite/Release" ||
        skip "the Debian mirror $mirror cannot be reached to make the Debian 12 root"
    echo "making the Debian 12 root (once; it is kept in $tarball)"
    fresh="$cache_dir/debootstrap"
    rm -rf "$fresh"
    if ! timeout 900 debootstrap --variant=minbase --arch="$arch" "$suite" "$fresh" "$mirror" \
        >"$cache_dir/debootstrap.log" 2>&1; then
        rm -rf "$fresh"
        skip "debootstrap could not make the Debian 12 root (see $cache_dir/debootstrap.log)"
    fi
    tar -C "$fresh" -czf "$tarball.part" .
    mv "$tarball.part" "$tarball"
    rm -rf "$fresh"
fi

# The root lives in memory where a tmpfs allows programs to run, which makes
# unpacking and removing it several times faster than on disk.
root="$cache_dir/root"
if [[ -d /dev/shm && -w /dev/shm ]] && ! findmnt -no OPTIONS /dev/shm | grep -qw noexec &&
    [[ $(df -Pk /dev/shm | awk 'NR == 2 { print $4 }') -gt 2000000 ]]; then
    root=/dev/shm/qm320-package-check-root
fi
remove_root "$root"
mkdir -p "$root"
tar -C "$root" -xzf "$tarball"
chroot "$root" /bin/true 2>/dev/null || skip "chroot is not allowed here"
mount -t proc proc "$root/proc"
mount --bind "$cache_dir/apt-archives" "$root/var/cache/apt/archives"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No service of a package starts inside the root.
printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
chmod 755 "$root/usr/sbin/policy-rc.d"
# apt keeps what it fetched, for the next run.
echo 'Binary::apt::APT::Keep-Downloaded-Packages "true";' >"$root/etc/apt/apt.conf.d/90keep-downloads"
echo 'Acquire::http::Timeout "30"; Acquire::Retries "2";' >"$root/etc/apt/apt.conf.d/90timeouts"
# The root has no /dev/pts for dpkg's progress terminal, and is thrown away
# after the check: dpkg need not wait for each file to reach the disk.
echo 'Dpkg::Use-Pty "0";' >"$root/etc/apt/apt.conf.d/90no-pty"
echo 'force-unsafe-io' >"$root/etc/dpkg/dpkg.cfg.d/90unsafe-io"
in_root() {
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LC_ALL=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

step "apt-get update"
cp "$deb" "$root/tmp/"
cp tests/data/decode-serial.bin tests/data/report-rows.txt "$root/tmp/"
updated=true
in_root timeout 300 apt-get update -qq >/dev/null 2>&1 || updated=false
step "apt-get install"
if ! in_root timeout 900 apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >"$work/install.log" 2>&1; then
    $updated || skip "apt could not reach the Debian mirror to fetch the package's dependencies"
    cat "$work/install.log" >&2
    echo "the package does not install into a fresh Debian 12 root" >&2
    exit 1
fi

step "the installed programs"
installed=$(in_root dpkg-query -W -f='${Version}' qm320)
[[ "$installed" == "$version" ]] || { echo "installed version $installed, not $version" >&2; exit 1; }
expect_line() {
    local got
    got=$(in_root "${@:2}")
    [[ "$got" == "$1" ]] || { echo "${*:2}: '$got', expected '$1'" >&2; exit 1; }
}
expect_line "qm320-cli ${version%-*}" /usr/bin/qm320-cli --version
expect_line "qm320 ${version%-*}" /usr/bin/qm320 --version
in_root /usr/bin/qm320-cli decode /tmp/decode-serial.bin >"$work/decoded.jsonl"
cmp "$work/decoded.jsonl" tests/data/decode-serial.jsonl
in_root /usr/bin/qm320-cli report /tmp/report-rows.txt --pdf /tmp/report.pdf 2>"$work/report.log" ||
    { cat "$work/report.log" >&2; exit 1; }
[[ -s "$root/tmp/report.pdf" ]]
[[ -f "$root/usr/lib/udev/rules.d/70-qm320.rules" ]]
echo "qm320 $version runs from /usr/bin"

step "purging"
in_root dpkg-query -L qm320 >"$work/files.txt"
in_root apt-get purge -y -qq qm320 >/dev/null
status=$(in_root dpkg-query -W -f='${db:Status-Status}' qm320 2>/dev/null || true)
[[ -z "$status" || "$status" == "not-installed" ]] || { echo "qm320 is '$status' after the purge" >&2; exit 1; }
left=()
while IFS= read -r path; do
    [[ -z "$path" || "$path" == "/." ]] && continue
    if [[ -L "$root$path" || -f "$root$path" ]]; then
        left+=("$path")
    elif [[ -d "$root$path" ]] && ! in_root dpkg-query -S "$path" >/dev/null 2>&1; then
        # A folder stays only while another package owns it.
        left+=("$path/")
    fi
done <"$work/files.txt"
while IFS= read -r path; do
    left+=("${path#"$root"}")
done < <(find "$root" -mindepth 1 -xdev -name '*qm320*' ! -path "$root/tmp/*" ! -path "$root/var/cache/apt/*")
if [[ ${#left[@]} -gt 0 ]]; then
    printf 'left behind after the purge: %s\n' "${left[@]}" >&2
    exit 1
fi
echo "purged without a trace"
echo "Package check passed: $(basename "$deb") in $((SECONDS - started)) s"
