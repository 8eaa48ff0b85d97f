#pragma once

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

// The identity of a HID device: its USB vendor, product and release.
struct HidAttributes
{
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;
};

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

enum class HidAccess {
    ReadWrite,   // attributes, strings and feature reports
    QueryOnly,   // attributes and strings of a device this user may not read
    Read,        // input reports
};

// The outcome of one wait for an input report.
struct HidReadResult
{
    enum class Status {
        Data,       // `bytes` bytes were read, the report ID first
        Timeout,    // nothing arrived in the time given
        Cancelled,  // cancelRead() was called; the handle reads no more
        Failed,     // the read failed with `error`; typically the device went away
    };
    Status status = Status::Timeout;
    int bytes = 0;
    std::uint32_t error = 0;
};

// An open HID interface. A handle is used by one thread at a time, except
// that cancelRead() may come from any thread while another reads.
class HidHandle
{
public:
    virtual ~HidHandle() = default;

    virtual bool attributes(HidAttributes &attributes) = 0;
    // Each fills `buffer` with at most `units` UTF-16 units and returns
    // whether the device answered; a string shorter than the buffer ends with
    // a zero unit.
    virtual bool productString(char16_t *buffer, int units) = 0;
    virtual bool serialNumberString(char16_t *buffer, int units) = 0;
    // The string descriptor at `index`; index 0 is the device's list of
    // language IDs. Units the device does not write are left as they were.
    virtual bool indexedString(int index, char16_t *buffer, int units) = 0;
    virtual bool capabilities(HidCaps &caps) = 0;
    // `data` starts with the report ID; `size` counts it.
    virtual bool setFeature(const std::uint8_t *data, int size) = 0;

    // Waits up to `timeoutMs` for one input report and puts it in `buffer`,
    // the report ID first (0 on a device that numbers no reports).
    virtual HidReadResult read(std::uint8_t *buffer, int length, int timeoutMs) = 0;
    // Makes a waiting read return Cancelled soon, and every later read at
    // once. Any thread may call it.
    virtual void cancelRead() = 0;
};

// A device claimed for this program: while the claim lives, a claim of the
// same device by any other program, or another copy of this one, fails.
class HidClaim
{
public:
    virtual ~HidClaim() = default;
};

// The operating system's HID services: everything the HID controller asks of
// the system goes through here, so the controller's logic runs the same on a
// real system and against a test's fake.
class HidBackend
{
public:
    // The event code of a device-change notice that means "the set of device
    // nodes changed"; other codes run no pass.
    static constexpr int DeviceNodesChanged = 7;

    enum class ResetResult { Done, NotPermitted, Failed };

    virtual ~HidBackend() = default;

    // False when the system's HID services cannot be reached; the controller
    // then lists nothing and watches nothing.
    virtual bool isAvailable() const = 0;

    // The HID interfaces present now, in the system's order.
    virtual std::vector<HidInterfaceInfo> listInterfaces() = 0;

    // Opens the interface at `path`. On failure returns null and sets `error`
    // to the system's error code. Read access may be asked from a read
    // thread; everything else runs on the main thread.
    virtual std::unique_ptr<HidHandle> open(const QString &path, HidAccess access, std::uint32_t &error) = 0;

    // Calls `notice` on the main thread with an event code whenever the
    // system reports a device change; an empty function stops the notices.
    virtual void watchDeviceChanges(std::function<void(int eventCode)> notice) = 0;

    // Claims the interface at `path` before it is read. Null when it is held
    // already or cannot be claimed; `why` then names the holder ("qm320
    // (process 1234) holds it") or what stood in the way.
    virtual std::unique_ptr<HidClaim> claim(const QString &path, QString &why) = 0;
    // Resets the USB device behind the interface at `path`, as if it were
    // plugged in again. `detail` says what was tried or what stood in the way.
    virtual ResetResult resetUsbDevice(const QString &path, QString &detail) = 0;
};

// The backend of this platform.
std::unique_ptr<HidBackend> createHidBackend();

// The system error code for "the device is no longer connected", which a
// read thread reports when its device was found unplugged.
std::uint32_t hidDeviceGoneError();
