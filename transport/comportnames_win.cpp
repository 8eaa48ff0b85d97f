#include "transport/comportnames.h"

#include "transport/serialdcb_win.h"

QString comPortDevice(int n)
{
    if (n < 1 || n > 4)
        return QString();
    return windowsPortDevice(QStringLiteral("COM%1").arg(n));
}

QString deviceForPortName(const QString &name)
{
    return windowsPortDevice(name);
}

QString stableDevicePath(const QString &device, const QString &)
{
    // A COM port keeps its number for the adapter: Windows remembers it per
    // adapter (by serial number, or by the USB socket).
    return device;
}
