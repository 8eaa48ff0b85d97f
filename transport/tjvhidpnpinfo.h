#pragma once

#include <QString>

#include <utility>

// The plug-and-play identity of one HID interface, taken once when the
// interface is listed.
class TJvHidPnPInfo
{
public:
    TJvHidPnPInfo(QString deviceInstance, QString devicePath)
        : DeviceInstance(std::move(deviceInstance))
        , DevicePath(std::move(devicePath))
    {
    }

    // The key by which the device is recognised after a device change.
    const QString DeviceInstance;
    // The path the device is opened by.
    const QString DevicePath;
};
