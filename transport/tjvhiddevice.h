#pragma once

#include "transport/hidbackend.h"
#include "transport/hidevent.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class TJvHidDevice;
class TJvHidDeviceController;
class TJvHidDeviceReadThread;

// The controller's event shapes. Every handler runs on the main thread.
using TJvHidPlugEvent = HidEvent<void(TJvHidDevice *HidDev)>;
// Returns true to go on with the next device.
using TJvHidEnumerateEvent = HidEvent<bool(TJvHidDevice *HidDev, int Idx)>;
// `Data` holds the `Size` bytes after the report ID and is valid during the call.
using TJvHidDataEvent =
    HidEvent<void(TJvHidDevice *HidDev, std::uint8_t ReportID, const std::uint8_t *Data, std::uint16_t Size)>;
using TJvHidDataErrorEvent = HidEvent<void(TJvHidDevice *HidDev, std::uint32_t Error)>;
using TNotifyEvent = HidEvent<void(TJvHidDeviceController *Sender)>;

// One HID interface: its handles, identity, strings, handlers and read thread.
//
// The controller owns the devices in its list until one is claimed; the
// claimant then owns it and returns it by destroying it, which puts a fresh
// unclaimed device for the same interface back at its place in the list.
//
// Threads: everything here runs on the main thread except StartRead(),
// SleepTime() and CancelPendingIo(), which the device's read thread calls.
// The read handle and the test that may open it are guarded by one mutex, so
// MarkUnplugged() can close the handle while the thread reads (see there).
class TJvHidDevice
{
public:
    // Opens the interface to read its identity and closes it again; null when
    // the interface cannot be opened or does not say what it is.
    static std::unique_ptr<TJvHidDevice> open(const HidInterfaceInfo &info, TJvHidDeviceController *controller);
    // Stops the read thread and closes the handles. A device that is still
    // in its controller's list leaves there a replacement with the same
    // handlers and sleep time when it is still plugged, and its position
    // otherwise.
    ~TJvHidDevice();

    TJvHidDevice(const TJvHidDevice &) = delete;
    TJvHidDevice &operator=(const TJvHidDevice &) = delete;

    TJvHidDeviceController *OwnerController() const { return m_owner; }
    // The interface as it was listed.
    const HidInterfaceInfo &interfaceInfo() const { return m_interfaceInfo; }
    bool Plugged() const { return m_plugged; }
    bool Claimed() const { return m_claimed; }
    bool InEvent() const { return m_inEvent; }
    // The last opening of the control handle got read and write access.
    bool ReadWriteAccess() const { return m_readWriteAccess; }
    // Why the last read/write opening of the control handle failed (the
    // system's error code), 0 when it did not.
    std::uint32_t ControlOpenError() const { return m_controlOpenError; }
    const HidAttributes &Attributes() const { return m_attributes; }
    std::uint16_t VendorID() const { return m_attributes.VendorID; }
    std::uint16_t ProductID() const { return m_attributes.ProductID; }
    std::uint16_t VersionNumber() const { return m_attributes.VersionNumber; }
    int SleepTime() const { return m_sleepTime; }
    TJvHidDeviceReadThread *ReadThread() const { return m_readThread.get(); }

    // Plugged, and claimed or being offered in an event.
    bool IsAccessible() const { return m_plugged && (m_claimed || m_inEvent); }

    bool OpenControlHandle();
    void CloseControlHandle();
    bool OpenIoHandle();
    void CloseIoHandle();

    // Read while the device is accessible and cached; afterwards the cached
    // value remains.
    QString ProductText();
    QString SerialText();
    // The parser data, fetched on first use; null when it cannot be read.
    const HidCaps *PreparsedData();
    HidCaps Capabilities();

    // `size` counts the report-ID byte at buffer[0]. The control handle stays
    // open afterwards.
    bool SendFeatureReport(const std::uint8_t *buffer, int size);

    const TJvHidDataEvent &DataHandler() const { return m_dataHandler; }
    // Clearing the handler stops the read thread; setting one starts it on a
    // claimed device with read/write access. Changing from one handler to
    // another goes on with the running thread.
    void SetDataHandler(const TJvHidDataEvent &handler);
    const TJvHidDataErrorEvent &DataErrorHandler() const { return m_dataErrorHandler; }
    void SetDataErrorHandler(const TJvHidDataErrorEvent &handler) { m_dataErrorHandler = handler; }
    const TJvHidPlugEvent &UnplugHandler() const { return m_unplugHandler; }
    void SetUnplugHandler(const TJvHidPlugEvent &handler) { m_unplugHandler = handler; }

    // Accepted from 10 to 10000 ms; other values are ignored.
    void SetSleepTime(int milliseconds);

    void StartReadThread();
    // Returns once the thread has ended. Reports the thread handed over
    // before it noticed the stop are delivered meanwhile, to the handler set
    // before the stop.
    void StopReadThread();

    // The interface is gone: closes both handles, clears Plugged and calls
    // the unplug handler once. A running read thread goes on and reports each
    // read it can no longer issue as a data error.
    void MarkUnplugged();

    // Resets the USB device behind this interface (see HidBackend).
    HidBackend::ResetResult ResetUsbDevice(QString &detail);

    // Read thread: opens the read handle if need be and returns it, or null
    // with the system's error code when no read can be issued.
    std::shared_ptr<HidHandle> StartRead(std::uint32_t &error);
    // Cancels a waiting read and closes the read handle; the next StartRead
    // opens it again.
    void CancelPendingIo();

    // Main thread, handed over by the read thread.
    void DeliverReport(const std::uint8_t *report, int bytesRead);
    void DeliverError(std::uint32_t error);

private:
    friend class TJvHidDeviceController;

    TJvHidDevice(const HidInterfaceInfo &info, TJvHidDeviceController *controller);
    bool identify();
    // A device is watched through this while an event runs, because the
    // event's handler may release it.
    std::weak_ptr<const int> lifetime() const { return m_alive; }
    void setInEvent(bool inEvent) { m_inEvent = inEvent; }
    std::unique_ptr<HidHandle> openControl();

    TJvHidDeviceController *m_owner = nullptr;
    HidBackend *m_backend = nullptr;
    const HidInterfaceInfo m_interfaceInfo;
    const std::shared_ptr<const int> m_alive = std::make_shared<const int>(0);

    std::atomic<bool> m_plugged{true};
    std::atomic<bool> m_claimed{false};
    std::atomic<bool> m_inEvent{false};
    bool m_readWriteAccess = false;
    std::uint32_t m_controlOpenError = 0;

    std::unique_ptr<HidHandle> m_controlHandle;
    // Guards m_readHandle and the Plugged test before it is opened.
    mutable std::mutex m_ioMutex;
    std::shared_ptr<HidHandle> m_readHandle;

    HidAttributes m_attributes;
    QString m_productText;
    QString m_serialText;
    std::optional<HidCaps> m_preparsedData;
    std::atomic<int> m_sleepTime{100};

    TJvHidDataEvent m_dataHandler;
    TJvHidDataErrorEvent m_dataErrorHandler;
    TJvHidPlugEvent m_unplugHandler;
    std::unique_ptr<TJvHidDeviceReadThread> m_readThread;
    // The thread a StopReadThread further up the stack waits for.
    TJvHidDeviceReadThread *m_stoppingThread = nullptr;
};
