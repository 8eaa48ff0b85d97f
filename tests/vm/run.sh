#!/usr/bin/env bash
# Runs the guest tests: boots a QEMU machine on Debian's own kernel, with a
# USB-to-RS-232 adapter (QEMU's FTDI emulation, fed from a socket here) and
# /dev/uhid for the USB cable, and runs tests/vm's test programs in it against
# the kernel's drivers, and tst_hiduhid, which a host without /dev/uhid skips.
#
#   tests/vm/run.sh BUILD_DIR
#
# The guest sees this machine's root read-only over 9p, so it runs the
# programs of BUILD_DIR with this machine's libraries; it writes only to the
# run folder. Everything fetched or made lives in BUILD_DIR/vm: Debian's
# kernel and udev packages as downloaded, the kernel and the initramfs (made
# again only when what goes into it changes), and the last run's folder with
# the guest's console log.
#
# Prints PASS or FAIL per test and exits 1 when one failed. When QEMU cannot
# run here at all it prints "vm tests skipped: REASON" and exits 0.
set -uo pipefail

say() { echo "vm: $*"; }
skip() {
    echo "vm tests skipped: $*"
    exit 0
}
fail() {
    echo "vm tests failed: $*" >&2
    exit 1
}

[[ $# -eq 1 ]] || fail "usage: tests/vm/run.sh BUILD_DIR"
src_dir=$(cd "$(dirname "$0")/../.." && pwd -P)
build_dir=$(cd "$1" 2>/dev/null && pwd -P) || fail "no build folder $1"
vm_dir=$build_dir/vm
cache_dir=$vm_dir/cache
run_dir=$vm_dir/run
console_log=$vm_dir/console.log
mkdir -p "$cache_dir"

# The whole run, boot to power-off; a guest that hangs is stopped here.
machine_seconds=${QM320_VM_SECONDS:-420}
# What the guest runs: guest.sh, or for a look around another script given
# the run folder in the same way.
guest_script=${QM320_VM_GUEST_SCRIPT:-$src_dir/tests/vm/guest.sh}
# Time from starting QEMU to the guest's first word.
boot_seconds=120

# The kernel's drivers the guest loads, each after what it needs: USB and
# the FTDI adapter, HID with hidraw and uhid, and 9p over virtio for the host's
# root.
modules=(usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio hid hid-generic uhid
         virtio_pci 9pnet_virtio 9p)
# The test programs the guest runs, in this order (guest.sh), and what they run.
guest_tests=(tests/vm/tst_vmcli tests/vm/tst_vmwindow tests/transport/tst_hiduhid)
guest_programs=(cli/qm320-cli tests/vm/uhidcable "${guest_tests[@]}")

# --- what must be there -----------------------------------------------------

qemu=$(command -v qemu-system-x86_64) || skip "qemu-system-x86_64 is not installed (package qemu-system-x86)"
busybox=$(command -v busybox) || skip "busybox is not installed (package busybox-static)"
# The initramfs has no libraries, so its busybox must need none.
if ldd "$busybox" >/dev/null 2>&1; then
    skip "$busybox is linked dynamically; the guest needs busybox-static"
fi
for program in "${guest_programs[@]}"; do
    [[ -x $build_dir/$program ]] || fail "$build_dir/$program is not built"
done
case "$src_dir$build_dir" in
    *[[:space:]]*) skip "the guest's kernel command line cannot carry a path with blanks ($build_dir)" ;;
esac

# --- Debian's kernel and udev, fetched once --------------------------------

# The newest cached .deb of a package whose name matches $1.
cached_deb() {
    local found
    found=$(ls -1 "$cache_dir"/$1_*.deb 2>/dev/null | sort -V | tail -n 1)
    [[ -n $found ]] && echo "$found"
}

apt_updated=no
# Prints the package that linux-image-amd64 depends on: the versioned kernel.
kernel_package() {
    local name
    name=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1)
    if [[ -z $name && $apt_updated == no && $(id -u) -eq 0 ]]; then
        apt_updated=yes
        timeout 300 apt-get update -qq >/dev/null 2>&1
        name=$(apt-cache depends linux-image-amd64 2>/dev/null | sed -n 's/^ *Depends: \(linux-image-[0-9][^ ]*\)$/\1/p' | head -n 1)
    fi
    [[ -n $name ]] && echo "$name"
}

download() {
    # apt-get download writes into the current folder.
    (cd "$cache_dir" && timeout 600 apt-get download "$1") > "$vm_dir/download.log" 2>&1
}

kernel_deb=$(cached_deb 'linux-image-[0-9]*-amd64')
if [[ -z $kernel_deb ]]; then
    package=$(kernel_package) || skip "apt cannot name Debian's kernel package (linux-image-amd64's dependency); run apt-get update"
    say "fetching $package"
    download "$package" || skip "cannot download $package ($(tail -n 1 "$vm_dir/download.log"))"
    kernel_deb=$(cached_deb "$package") || skip "apt-get download left no $package package"
fi
udev_deb=$(cached_deb udev)
if [[ -z $udev_deb ]]; then
    say "fetching udev"
    download udev || skip "cannot download udev ($(tail -n 1 "$vm_dir/download.log"))"
    udev_deb=$(cached_deb udev) || skip "apt-get download left no udev package"
fi

# --- the kernel, the initramfs and udev, made when their inputs change -------

image_dir=$vm_dir/image
# What goes into it: the kernel package, the drivers, init, busybox, and
# this script, which puts them together.
stamp=$( { echo "${kernel_deb##*/} ${modules[*]}"; cat "$src_dir/tests/vm/init" "$src_dir/tests/vm/run.sh"; sha256sum "$busybox"; } \
        | sha256sum | cut -c1-16)
if [[ ! -f $image_dir/stamp || $(cat "$image_dir/stamp") != "$stamp" ]]; then
    say "making the initramfs from ${kernel_deb##*/}"
    rm -rf "$image_dir"
    unpacked=$image_dir/unpacked
    staging=$image_dir/initramfs
    mkdir -p "$unpacked" "$staging"/{bin,dev,proc,sys,tmp,host,modules}
    dpkg-deb --fsys-tarfile "$kernel_deb" | tar -x -C "$unpacked" --wildcards './boot/vmlinuz-*' './lib/modules/*' \
        || skip "cannot unpack ${kernel_deb##*/}"
    cp "$unpacked"/boot/vmlinuz-* "$image_dir/vmlinuz"

    # The drivers with what they need first, from each module's own
    # "depends=" (the package ships no modules.dep).
    declare -A module_path=() loaded=()
    while IFS= read -r file; do
        name=${file##*/}
        name=${name%.ko}
        module_path[${name//-/_}]=$file
    done < <(find "$unpacked/lib/modules" -name '*.ko')
    add_module() {
        local name=${1//-/_} file dependency
        [[ -n ${loaded[$name]:-} ]] && return 0
        loaded[$name]=1
        file=${module_path[$name]:-}
        [[ -n $file ]] || { say "the kernel has no module $1"; return 1; }
        for dependency in $(tr '\0' '\n' < "$file" | sed -n 's/^depends=//p' | tr ',' ' '); do
            add_module "$dependency" || return 1
        done
        cp "$file" "$staging/modules/"
        echo "${file##*/}" >> "$staging/modules/modules.order"
    }
    for module in "${modules[@]}"; do
        add_module "$module" || skip "${kernel_deb##*/} lacks the driver $module"
    done
    cp "$busybox" "$staging/bin/busybox"
    cp "$src_dir/tests/vm/init" "$staging/init"
    chmod 755 "$staging/init"
    (cd "$staging" && find . | "$busybox" cpio -o -H newc 2>/dev/null | gzip -1) > "$image_dir/initramfs.gz" \
        || skip "cannot pack the initramfs"
    rm -rf "$unpacked" "$staging"
    echo "$stamp" > "$image_dir/stamp"
fi

udev_dir=$vm_dir/udev
if [[ ! -f $udev_dir/stamp || $(cat "$udev_dir/stamp") != "${udev_deb##*/}" ]]; then
    rm -rf "$udev_dir"
    mkdir -p "$udev_dir"
    dpkg-deb -x "$udev_deb" "$udev_dir/root" || skip "cannot unpack ${udev_deb##*/}"
    echo "${udev_deb##*/}" > "$udev_dir/stamp"
fi

# --- the machine ------------------------------------------------------------

rm -rf "$run_dir"
mkdir -p "$run_dir"
cat > "$run_dir/guest.env" <<EOF
build_dir=$build_dir
udev_root=$udev_dir/root
guest_tests=(${guest_tests[*]})
EOF
: > "$console_log"
qmp_log=$vm_dir/qmp.log
qmp_fifo=$vm_dir/qmp.fifo
rm -f "$qmp_fifo"
mkfifo "$qmp_fifo"

qemu_pid=
sender_pid=
cleanup() {
    [[ -n $sender_pid ]] && kill "$sender_pid" 2>/dev/null
    [[ -n $qemu_pid ]] && kill "$qemu_pid" 2>/dev/null && wait "$qemu_pid" 2>/dev/null
    rm -f "$qmp_fifo"
}
trap cleanup EXIT

# QEMU's machine protocol (QMP) on its standard input and output: commands
# go in through a FIFO, answers and events land in qmp.log, one JSON object
# a line. Opened read-write first, so neither side waits for the other.
exec 4<>"$qmp_fifo"

# A real adapter's serial number stays with it; QEMU would make one from the
# USB port, which changes when the adapter comes back on another port.
adapter_serial=QM320VM0001
# The adapter's socket: QEMU attaches the adapter once a client connects here.
serial_port=
connect_serial() {
    local tries
    for tries in $(seq 100); do
        { exec 3<>"/dev/tcp/127.0.0.1/$serial_port"; } 2>/dev/null && return 0
        kill -0 "$qemu_pid" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}

start_machine() {
    serial_port=$((20000 + RANDOM % 40000))
    timeout "$machine_seconds" "$qemu" \
        -accel tcg,thread=multi -smp 2 -m 1536 -cpu max \
        -nodefaults -no-reboot -display none \
        -kernel "$image_dir/vmlinuz" -initrd "$image_dir/initramfs.gz" \
        -append "console=ttyS0 panic=-1 quiet qm320.run=$run_dir qm320.script=$guest_script qm320.keep=$src_dir:$build_dir" \
        -serial "file:$console_log" \
        -qmp stdio \
        -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
        -fsdev "local,id=vmrun,path=$run_dir,security_model=none" -device virtio-9p-pci,fsdev=vmrun,mount_tag=vmrun \
        -device qemu-xhci,id=xhci \
        -chardev "socket,id=adapter,host=127.0.0.1,port=$serial_port,server=on,wait=off" \
        -device "usb-serial,bus=xhci.0,chardev=adapter,id=ftdi,serial=$adapter_serial" \
        < "$qmp_fifo" > "$qmp_log" 2>&1 &
    qemu_pid=$!
    connect_serial
}

started=no
for attempt in 1 2 3; do
    if start_machine; then
        started=yes
        break
    fi
    wait "$qemu_pid" 2>/dev/null
    qemu_pid=
    # Another program may have had the port; anything else will not get better.
    grep -q "Address already in use" "$qmp_log" || break
done
[[ $started == yes ]] || skip "QEMU did not start: $(grep -v '^{' "$qmp_log" | tail -n 1)"

# Sends one QMP command and waits for its answer; fails on an error answer.
qmp() {
    local answered tries
    answered=$(grep -c '^{"return"\|^{"error"' "$qmp_log")
    echo "$1" >&4
    for tries in $(seq 100); do
        if (($(grep -c '^{"return"\|^{"error"' "$qmp_log") > answered)); then
            ! grep '^{"return"\|^{"error"' "$qmp_log" | tail -n 1 | grep -q '^{"error"'
            return
        fi
        sleep 0.05
    done
    return 1
}

# Waits until QEMU has taken the adapter away.
adapter_deleted() {
    local deleted=$1 tries
    for tries in $(seq 100); do
        (($(grep -c '"DEVICE_DELETED".*"device": *"ftdi"' "$qmp_log") > deleted)) && return 0
        sleep 0.05
    done
    return 1
}

qmp '{"execute": "qmp_capabilities"}' || skip "QEMU's machine protocol does not answer"

# --- the host's side of the guest's requests ----------------------------------

stop_sender() {
    if [[ -n $sender_pid ]]; then
        kill "$sender_pid" 2>/dev/null
        wait "$sender_pid" 2>/dev/null
        sender_pid=
    fi
}

# Streams a serial capture (an LF, then 14-byte frames) into the adapter, a
# frame every $2 milliseconds, as a meter sends them. Stopped, it stops its
# writer too, so no byte of it reaches an adapter plugged in later.
start_sender() {
    local file=$run_dir/$1 interval_ms=$2
    [[ -f $file ]] || return 1
    stop_sender
    (
        writer=
        trap '[[ -n $writer ]] && kill "$writer" 2>/dev/null; exit 0' TERM
        write() {
            "$@" >&3 &
            writer=$!
            wait "$writer"
        }
        if [[ $interval_ms -eq 0 ]]; then
            write cat "$file"
            exit
        fi
        size=$(stat -c %s "$file")
        write head -c 1 "$file"
        pause=$(printf '%d.%03d' $((interval_ms / 1000)) $((interval_ms % 1000)))
        for ((at = 1; at < size; at += 14)); do
            write dd if="$file" iflag=skip_bytes,count_bytes skip="$at" count=14 status=none || exit 1
            sleep "$pause"
        done
    ) &
    sender_pid=$!
}

reply() {
    echo "$1 $2" > "$run_dir/reply.tmp" && mv "$run_dir/reply.tmp" "$run_dir/reply"
}

serve_request() {
    local sequence command arguments
    read -r sequence command arguments < "$run_dir/request"
    rm -f "$run_dir/request"
    set -- $arguments
    case "$command" in
        serial-send)
            if start_sender "$1" "$2"; then reply "$sequence" ok; else reply "$sequence" "error no capture $1"; fi
            ;;
        serial-pull)
            stop_sender
            local deleted
            deleted=$(grep -c '"DEVICE_DELETED".*"device": *"ftdi"' "$qmp_log")
            if ! qmp '{"execute": "device_del", "arguments": {"id": "ftdi"}}' || ! adapter_deleted "$deleted"; then
                reply "$sequence" "error QEMU did not pull the adapter: $(tail -n 1 "$qmp_log")"
                return
            fi
            # Closing the socket drops what the guest has not taken yet, so
            # the next adapter starts clean.
            exec 3>&-
            reply "$sequence" ok
            ;;
        serial-plug)
            if ! connect_serial; then
                reply "$sequence" "error cannot connect to the adapter's socket"
            elif ! qmp '{"execute": "device_add", "arguments": {"driver": "usb-serial", "bus": "xhci.0", "chardev": "adapter", "id": "ftdi", "serial": "'"$adapter_serial"'"}}'; then
                reply "$sequence" "error QEMU did not plug the adapter in: $(tail -n 1 "$qmp_log")"
            else
                reply "$sequence" ok
            fi
            ;;
        *)
            reply "$sequence" "error unknown request $command"
            ;;
    esac
}

say "booting the test machine (${kernel_deb##*/})"
started_at=$SECONDS
booted=no
while kill -0 "$qemu_pid" 2>/dev/null; do
    [[ -f $run_dir/request ]] && serve_request
    if [[ $booted == no ]]; then
        if [[ -f $run_dir/booted ]]; then
            booted=yes
            say "booted in $((SECONDS - started_at)) s"
        elif ((SECONDS - started_at > boot_seconds)); then
            break
        fi
    fi
    sleep 0.05
done
stop_sender
if kill -0 "$qemu_pid" 2>/dev/null; then
    kill "$qemu_pid" 2>/dev/null
fi
wait "$qemu_pid" 2>/dev/null
qemu_status=$?
qemu_pid=
exec 3>&- 4>&-

if [[ $booted == no ]]; then
    skip "the test machine did not boot (console: $console_log)"
fi

# --- results ------------------------------------------------------------------

failed=0
passed=0
for program in "${guest_tests[@]}"; do
    name=${program##*/}
    result=$run_dir/$name.txt
    if [[ ! -s $result ]]; then
        say "FAIL  $name did not run"
        failed=$((failed + 1))
        continue
    fi
    while IFS= read -r line; do
        case "$line" in
            "PASS   : "*"::initTestCase()" | "PASS   : "*"::cleanupTestCase()") ;;
            "PASS   : "*)
                say "PASS  ${line#PASS   : }"
                passed=$((passed + 1))
                ;;
            "FAIL!  : "*)
                say "FAIL  ${line#FAIL!  : }"
                failed=$((failed + 1))
                ;;
            "SKIP   : "*)
                say "SKIP  ${line#SKIP   : }"
                ;;
            "   Loc: "*)
                say "      ${line#   }"
                ;;
        esac
    done < "$result"
    # A program that crashed or was stopped leaves no totals.
    if ! grep -q "^Totals:" "$result"; then
        say "FAIL  $name ended before its last test: $(tail -n 1 "$run_dir/$name.status" 2>/dev/null)"
        failed=$((failed + 1))
    fi
done
say "the machine ran $((SECONDS - started_at)) s"
if ((qemu_status == 124)); then
    say "the machine was stopped after $machine_seconds s"
    failed=$((failed + 1))
fi
echo "vm tests: $passed passed, $failed failed"
if ((failed > 0)); then
    echo "the guest's console log: $console_log" >&2
    exit 1
fi
