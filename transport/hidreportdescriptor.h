#pragma once

#include "transport/hidbackend.h"

#include <QByteArrayView>

// What a HID report descriptor declares, as far as the controller needs it:
// the report lengths and the top-level usage, and whether reports carry an
// ID byte.
struct HidReportLayout
{
    HidCaps caps;
    bool numberedReports = false;
};

// Reads the short items of `descriptor` (long items are skipped). Each report
// length is that of the longest report of its kind, plus the report-ID byte;
// a descriptor that ends inside an item is read up to that item.
HidReportLayout parseHidReportDescriptor(QByteArrayView descriptor);
