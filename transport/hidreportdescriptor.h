#pragma once

#include <QByteArrayView>

#include <cstdint>

// What the device's report descriptor declares.
// A report length counts the report-ID byte, which is 0 on a device that
// numbers no reports; a kind of report the device lacks has length 0.
struct HidCaps
{
    std::uint16_t usage = 0;
    std::uint16_t usagePage = 0;
    std::uint16_t inputReportLength = 0;
    std::uint16_t outputReportLength = 0;
    std::uint16_t featureReportLength = 0;
};

// What a HID report descriptor declares, as far as a backend needs it: the
// report lengths and the top-level usage, and whether reports carry an ID
// byte.
struct HidReportLayout
{
    HidCaps caps;
    bool numberedReports = false;
};

// Reads the short items of `descriptor` (long items are skipped). Each report
// length is that of the longest report of its kind, plus the report-ID byte;
// a descriptor that ends inside an item is read up to that item.
HidReportLayout parseHidReportDescriptor(QByteArrayView descriptor);
