#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

// One HID interface as a listing finds it.
struct HidInterfaceInfo
{
    // Names the interface while it stays plugged in; plugging it in again
    // gives a new key, so a device change can tell the two apart.
    QString instanceKey;
    // What HidBackend::open() takes.
    QString path;
};

// The identity of a HID device: its USB vendor and product.
struct HidAttributes
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// Why a HID operation failed.
enum class HidError {
    None,
    NoSuchDevice,     // the interface is not there: unplugged, or never present
    PermissionDenied, // this user may not do it
    InUse,            // another program holds the device
    Unsupported,      // the device or the system cannot do it (a reset of a device that is not on USB)
    Io,               // the device or the system failed otherwise
};

// A failure and the system's words for it ("Permission denied"), or what
// stood in the way ("qm320 (process 1234) holds it").
struct HidFailure
{
    HidError error = HidError::None;
    QString reason;
};

enum class HidAccess {
    QueryOnly, // what the device says of itself, also of a device this user may not read
    ReadWrite, // that, and feature reports
    Read,      // input reports: the read thread's handle
};

// The outcome of one wait for an input report.
struct HidRead
{
    enum class Status {
        Data,    // `size` bytes were read, the report ID first
        Timeout, // nothing arrived in the time given
        Failed,  // the read failed; typically the device went away
    };
    Status status = Status::Timeout;
    int size = 0;
    HidFailure failure; // Failed: why
};

// An open HID interface, used by one thread at a time.
class HidHandle
{
public:
    virtual ~HidHandle() = default;

    // False when the device does not say what it is.
    virtual bool attributes(HidAttributes &attributes) = 0;
    // Empty when the device has none. A system that answers the query of a
    // device without a serial number with something else tells the two apart
    // in its backend (see hidserialnumber.h).
    virtual QString productString() = 0;
    virtual QString serialNumber() = 0;
    // The length of the device's longest input report, counting the report-ID
    // byte; 0 when it is not known.
    virtual int inputReportLength() = 0;
    // Sends one feature report; `report` starts with the report ID (0 on a
    // device that numbers no reports). False when the device refused it or
    // the handle may not send it.
    virtual bool sendFeatureReport(QByteArrayView report) = 0;

    // Waits up to `timeoutMs` for one input report and puts it in `buffer`,
    // the report ID first (0 on a device that numbers no reports). A wait that
    // times out loses nothing: a report that comes later is the next call's.
    virtual HidRead read(std::uint8_t *buffer, int capacity, int timeoutMs) = 0;
};

// A device claimed for this program: while the claim lives, a claim of the
// same device by any other program, or another copy of this one, fails.
class HidClaim
{
public:
    virtual ~HidClaim() = default;
};

// The operating system's HID services: everything the USB link asks of the
// system goes through here, so its logic runs the same on a real system and
// against a test's fake. Everything here runs on the main thread; only a
// handle opened for reading is handed to a read thread (see hidreadthread.cpp).
class HidBackend
{
public:
    virtual ~HidBackend() = default;

    // False when the system's HID services cannot be reached: then nothing
    // is listed or watched.
    virtual bool isAvailable() const = 0;

    // The HID interfaces present now, in the system's order.
    virtual std::vector<HidInterfaceInfo> listInterfaces() = 0;

    // Calls `changed` whenever the system reports that HID interfaces came or
    // went; an empty function stops it.
    virtual void watchDeviceChanges(std::function<void()> changed) = 0;

    // Opens the interface at `path`; null, with `why`, when it cannot.
    virtual std::unique_ptr<HidHandle> open(const QString &path, HidAccess access, HidFailure &why) = 0;

    // Claims the interface at `path` before it is read. Null when it is held
    // already or cannot be claimed; `why` then names the holder ("qm320
    // (process 1234) holds it") or what stood in the way.
    virtual std::unique_ptr<HidClaim> claim(const QString &path, HidFailure &why) = 0;

    // Resets the USB device behind the interface at `path`, as if it were
    // plugged in again. False, with `why`, when it was not done
    // (PermissionDenied where this user may not).
    virtual bool resetUsbDevice(const QString &path, HidFailure &why) = 0;
};

// The backend of this platform.
std::unique_ptr<HidBackend> createHidBackend();
