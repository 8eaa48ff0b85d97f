#!/bin/bash
# Runs inside the test machine, in the host's root, as root: starts udev so
# that libudev's monitor hears devices come and go, then runs each guest test
# program with a time limit. Results go to the run folder, which the host
# reads: NAME.txt (Qt Test's report) and NAME.status per program.
#
#   guest.sh RUN_FOLDER
set -u
run_dir=$1
# build_dir, udev_root and guest_tests, written by the host.
source "$run_dir/guest.env"

export PATH=/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/runtime LANG=C.UTF-8
export QT_QPA_PLATFORM=offscreen QM320_VM_RUN=$run_dir
# A test function that hangs is failed by Qt Test after this long (ms).
export QTEST_FUNCTION_TIMEOUT=120000
# udevadm sees a chroot and would refuse to talk to its daemon.
export SYSTEMD_IGNORE_CHROOT=1
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
touch "$run_dir/booted"

# udev's daemon decides by the name it runs under; the package's link to it
# points into this root, not into the unpacked package.
udevadm=$udev_root/bin/udevadm
mkdir -p /run/qm320-vm /run/udev/rules.d
ln -sf "$udevadm" /run/qm320-vm/systemd-udevd
# The package's rules, as an installed udev has them: among them the
# /dev/serial/by-id names of serial adapters.
cp "$udev_root"/lib/udev/rules.d/*.rules /run/udev/rules.d/
if /run/qm320-vm/systemd-udevd --daemon --resolve-names=never; then
    "$udevadm" trigger --action=add
    "$udevadm" settle --timeout=30 || echo "qm320-vm: udev did not settle"
else
    echo "qm320-vm: systemd-udevd did not start; devices plugged in later go unnoticed"
fi

for program in "${guest_tests[@]}"; do
    name=${program##*/}
    echo "qm320-vm: running $name"
    timeout --kill-after=10 300 "$build_dir/$program" -o "$run_dir/$name.txt,txt" -o -,txt
    status=$?
    case $status in
        124 | 137) echo "stopped after 300 s" > "$run_dir/$name.status" ;;
        *) echo "exit status $status" > "$run_dir/$name.status" ;;
    esac
done

"$udevadm" control --exit 2>/dev/null
exit 0
