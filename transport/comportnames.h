#pragma once

#include <QString>

// The program names its serial ports COM1 to COM4. On Linux each maps to a
// device, looked up afresh at every open so that an adapter plugged in later
// is found:
//
//   1. the environment variable QM320_COMn (n = 1..4), when set and not
//      empty, names the device for COMn: any tty, a /dev/serial/by-id link,
//      or the pseudo-terminal that `qm320-cli simulate` prints;
//   2. otherwise /dev/ttyUSB(n-1) when it exists: USB-to-RS-232 adapters,
//      the usual way to reach a meter today;
//   3. otherwise /dev/ttyS(n-1), the mainboard's own serial ports.
//
// Opening a device needs read and write access to it; on Debian serial
// devices belong to the group "dialout".
//
// On Windows COMn is the system's own port of that name (\\.\COMn), for
// any n from 1 to 255: COM1 to COM4 are the window's ports, and a command
// line may name any other, as USB adapters often get higher numbers.

// The device for COMn, n from 1 to 4; empty for any other n.
QString comPortDevice(int n);

// n for "COM1".."COM4" (in any letter case), else 0.
int comPortNumber(const QString &name);

// The device a port name stands for: comPortDevice() for "COM1".."COM4", the
// name itself for an absolute device path, else empty. On Windows: \\.\COMn
// for any COMn, and a \\.\ path as it is. A port name is valid where this
// is not empty.
QString deviceForPortName(const QString &name);

// A name for `device` that stays with the adapter when it is plugged in again
// under another number: its /dev/serial/by-id link (udev makes one for every
// USB serial adapter), or the device itself when it has none. `byIdFolder`
// is where to look; tests point it elsewhere.
QString stableDevicePath(const QString &device, const QString &byIdFolder = QStringLiteral("/dev/serial/by-id"));
