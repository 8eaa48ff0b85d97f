#pragma once

#include "transport/hidbackend.h"
#include "transport/hidhandler.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

class HidDevice;
class HidDeviceController;
class HidReadThread;

// The handlers of the controller and its devices. Every one runs on the main
// thread.
using HidPlugHandler = HidHandler<void(HidDevice *device)>;
// Returns true to go on with the next device.
using HidEnumerateHandler = HidHandler<bool(HidDevice *device, int index)>;
// `data` holds the `size` bytes after the report ID and is valid during the call.
using HidDataHandler =
    HidHandler<void(HidDevice *device, std::uint8_t reportId, const std::uint8_t *data, std::uint16_t size)>;
using HidDataErrorHandler = HidHandler<void(HidDevice *device, std::uint32_t error)>;
using HidChangeHandler = HidHandler<void(HidDeviceController *controller)>;

// One HID interface: its handles, identity, strings, handlers and read thread.
//
// The controller owns the devices in its list until one is claimed; the
// claimant then owns it and returns it by destroying it, which puts a fresh
// unclaimed device for the same interface back at its place in the list.
//
// Threads: everything here runs on the main thread except readHandle(),
// sleepTime() and cancelPendingRead(), which the device's read thread calls;
// every open happens on the main thread.
// The read handle and the plugged test before it is opened are guarded by one
// mutex, so markUnplugged() can close the handle while the thread reads (see
// there).
class HidDevice
{
public:
    // Opens the interface to read its identity and closes it again; null when
    // the interface cannot be opened or does not say what it is.
    static std::unique_ptr<HidDevice> open(const HidInterfaceInfo &info, HidDeviceController *controller);
    // Stops the read thread and closes the handles. A device that is still
    // in its controller's list leaves there a replacement with the same
    // handlers and sleep time when it is still plugged, and its position
    // otherwise.
    ~HidDevice();

    HidDevice(const HidDevice &) = delete;
    HidDevice &operator=(const HidDevice &) = delete;

    // Null once the controller is gone.
    HidDeviceController *controller() const { return m_controller; }
    // The interface as it was listed.
    const HidInterfaceInfo &interfaceInfo() const { return m_interfaceInfo; }
    bool isPlugged() const { return m_plugged; }
    bool isClaimed() const { return m_claimed; }
    // A controller's handler is being called with this device.
    bool isInEvent() const { return m_inEvent; }
    // The last opening of the control handle got read and write access.
    bool hasReadWriteAccess() const { return m_readWriteAccess; }
    // Why the last read/write opening of the control handle failed (the
    // system's error code), 0 when it did not.
    std::uint32_t controlOpenError() const { return m_controlOpenError; }
    const HidAttributes &attributes() const { return m_attributes; }
    std::uint16_t vendorId() const { return m_attributes.vendorId; }
    std::uint16_t productId() const { return m_attributes.productId; }
    std::uint16_t versionNumber() const { return m_attributes.versionNumber; }
    // How long the read thread waits for a report before it looks for a stop,
    // and how long it pauses after a failure.
    int sleepTime() const { return m_sleepTime; }
    HidReadThread *readThread() const { return m_readThread.get(); }

    // Plugged, and claimed or being offered in an event.
    bool isAccessible() const { return m_plugged && (m_claimed || m_inEvent); }

    // Each opens only while the device is accessible.
    bool openControlHandle();
    void closeControlHandle();
    bool openReadHandle();
    void closeReadHandle();

    // Read while the device is accessible and cached; afterwards the cached
    // value remains.
    QString productString();
    QString serialNumber();
    // What the report descriptor declares, read on first use; null when it
    // cannot be read.
    const HidCaps *reportCaps();
    // As reportCaps(), all zero when it cannot be read.
    HidCaps capabilities();

    // `size` counts the report-ID byte at buffer[0]. The control handle stays
    // open afterwards.
    bool sendFeatureReport(const std::uint8_t *buffer, int size);

    const HidDataHandler &dataHandler() const { return m_dataHandler; }
    // Clearing the handler stops the read thread; setting one starts it on a
    // claimed device with read/write access. Changing from one handler to
    // another goes on with the running thread.
    void setDataHandler(const HidDataHandler &handler);
    const HidDataErrorHandler &dataErrorHandler() const { return m_dataErrorHandler; }
    void setDataErrorHandler(const HidDataErrorHandler &handler) { m_dataErrorHandler = handler; }
    const HidPlugHandler &unplugHandler() const { return m_unplugHandler; }
    void setUnplugHandler(const HidPlugHandler &handler) { m_unplugHandler = handler; }

    // Accepted from MinSleepTime to MaxSleepTime ms; other values are ignored.
    void setSleepTime(int milliseconds);
    static constexpr int MinSleepTime = 10;
    static constexpr int MaxSleepTime = 10000;

    // Starts the read thread when the device is plugged, claimed, has read
    // and write access and a data handler.
    void startReading();
    // Returns once the thread has ended. Reports the thread handed over
    // before it noticed the stop are delivered meanwhile, to the handler set
    // before the stop.
    void stopReading();

    // The interface is gone: closes both handles, clears the plugged state
    // and calls the unplug handler once. A running read thread goes on and
    // reports each read it can no longer issue as a data error.
    void markUnplugged();

    // Resets the USB device behind this interface (see HidBackend).
    HidBackend::ResetResult resetUsbDevice(QString &detail);

    // Read thread: the read handle, or null when it is not open.
    std::shared_ptr<HidHandle> readHandle() const;
    // Main thread, asked by the read thread: opens the read handle if need
    // be; false, with the system's error code, when no read can be issued.
    bool openReadHandleForThread(std::uint32_t &error);
    // Cancels a waiting read and closes the read handle; the read thread has
    // the next one opened.
    void cancelPendingRead();

    // Main thread, handed over by the read thread.
    void deliverReport(const std::uint8_t *report, int bytesRead);
    void deliverError(std::uint32_t error);

private:
    friend class HidDeviceController;

    HidDevice(const HidInterfaceInfo &info, HidDeviceController *controller);
    bool identify();
    // The controller is going, and its backend with it: the device no longer
    // takes part in its list.
    void detachFromController();
    // A device is watched through this while an event runs, because the
    // event's handler may release it.
    std::weak_ptr<const int> lifetime() const { return m_alive; }
    void setInEvent(bool inEvent) { m_inEvent = inEvent; }
    std::unique_ptr<HidHandle> openControl();

    HidDeviceController *m_controller = nullptr;
    HidBackend *m_backend = nullptr;
    const HidInterfaceInfo m_interfaceInfo;
    const std::shared_ptr<const int> m_alive = std::make_shared<const int>(0);

    std::atomic<bool> m_plugged{true};
    std::atomic<bool> m_claimed{false};
    std::atomic<bool> m_inEvent{false};
    bool m_readWriteAccess = false;
    std::uint32_t m_controlOpenError = 0;

    std::unique_ptr<HidHandle> m_controlHandle;
    // Guards m_readHandle, and the plugged test before it is opened.
    mutable std::mutex m_ioMutex;
    std::shared_ptr<HidHandle> m_readHandle;

    HidAttributes m_attributes;
    QString m_productString;
    QString m_serialNumber;
    std::optional<HidCaps> m_reportCaps;
    std::atomic<int> m_sleepTime{100};

    HidDataHandler m_dataHandler;
    HidDataErrorHandler m_dataErrorHandler;
    HidPlugHandler m_unplugHandler;
    std::unique_ptr<HidReadThread> m_readThread;
    // The thread a stopReading() further up the stack waits for.
    HidReadThread *m_stoppingThread = nullptr;
};
