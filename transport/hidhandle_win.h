#pragma once

#include "transport/hidbackend.h"

#include <QByteArray>
#include <QByteArrayView>

#include <windows.h>

#include <cstdint>
#include <vector>

// The parts of a Windows HID handle (hidbackend_win.cpp) that need no device
// to be tried: what an error code means, the buffer a feature report goes in,
// and the overlapped read of input reports.

// A failure from GetLastError(): its kind and the system's words for it.
HidFailure hidFailureFor(unsigned long systemError);

// The buffer for HidD_SetFeature: `report` (its ID first) padded with zeros
// to the interface's feature report length. The HID class driver refuses a
// buffer shorter than that length and cuts a longer one.
QByteArray featureReportBuffer(QByteArrayView report, int featureReportLength);

// Reads input reports from a handle opened with FILE_FLAG_OVERLAPPED. A read
// that is still pending when the wait times out stays pending, so the report
// that completes it is the next call's and nothing is lost between waits; the
// request writes into a buffer of this object's, copied to the caller's when
// it completes. The HID class driver hands each report whole, its ID first.
class HidOverlappedReader
{
public:
    // `device` stays the caller's and must outlive the reader.
    // `reportLength` is the interface's input report length, counting the ID
    // byte: the driver refuses a read into a smaller buffer.
    HidOverlappedReader(HANDLE device, int reportLength);
    // Cancels a pending read and waits until the system has let go of the
    // buffer.
    ~HidOverlappedReader();

    HidOverlappedReader(const HidOverlappedReader &) = delete;
    HidOverlappedReader &operator=(const HidOverlappedReader &) = delete;

    // HidHandle::read(): a report longer than `capacity` is cut.
    HidRead read(std::uint8_t *buffer, int capacity, int timeoutMs);

private:
    HidRead finish(std::uint8_t *buffer, int capacity);

    const HANDLE m_device;
    HANDLE m_done = nullptr; // the request's event, set when it completes
    OVERLAPPED m_request{};
    std::vector<std::uint8_t> m_report;
    bool m_pending = false;
};
