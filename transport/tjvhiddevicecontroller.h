#pragma once

#include "transport/hidbackend.h"
#include "transport/tjvhiddevice.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

// Finds the HID interfaces of the system, follows their arrival and removal,
// hands device objects out and reports what changed. One per program: while
// one lives, another is unavailable.
//
// The device list holds every listed device in the system's order. The
// controller owns the unclaimed ones; a claimed device keeps its position and
// belongs to its claimant until the claimant destroys it.
class TJvHidDeviceController : public QObject
{
public:
    // Lists the devices at once and watches the system's device-change
    // notices, unless it is unavailable (see errorString()).
    explicit TJvHidDeviceController(std::unique_ptr<HidBackend> backend, QObject *owner = nullptr);
    // Devices still claimed are orphaned: marked unplugged and left to their
    // claimants.
    ~TJvHidDeviceController() override;

    // The device-change pass: removals from the last position to the first,
    // then arrivals in the system's order, then OnDeviceChange if anything
    // changed or no change was reported yet.
    void DeviceChange();
    // Offers each plugged device to OnEnumerate until it answers false;
    // returns the number offered.
    int ListDevices();
    // Hands out the device at `index`, and starts its reading if it has a
    // data handler; null when the index is out of range or the device is
    // claimed already.
    std::unique_ptr<TJvHidDevice> ClaimDeviceAt(int index);

    int DevThreadSleepTime() const { return m_devThreadSleepTime; }
    void SetDevThreadSleepTime(int milliseconds);
    QString Version() const { return QStringLiteral("1.0.22"); }

    const TJvHidPlugEvent &OnArrival() const { return m_onArrival; }
    void SetOnArrival(const TJvHidPlugEvent &handler) { m_onArrival = handler; }
    const TJvHidEnumerateEvent &OnEnumerate() const { return m_onEnumerate; }
    void SetOnEnumerate(const TJvHidEnumerateEvent &handler) { m_onEnumerate = handler; }
    const TNotifyEvent &OnDeviceChange() const { return m_onDeviceChange; }
    // A different handler runs a pass at once.
    void SetOnDeviceChange(const TNotifyEvent &handler);
    const TJvHidDataEvent &OnDeviceData() const { return m_onDeviceData; }
    void SetOnDeviceData(const TJvHidDataEvent &handler);
    const TJvHidDataErrorEvent &OnDeviceDataError() const { return m_onDeviceDataError; }
    void SetOnDeviceDataError(const TJvHidDataErrorEvent &handler);
    const TJvHidPlugEvent &OnDeviceUnplug() const { return m_onDeviceUnplug; }
    void SetOnDeviceUnplug(const TJvHidPlugEvent &handler);
    const TJvHidPlugEvent &OnRemoval() const { return m_onRemoval; }
    void SetOnRemoval(const TJvHidPlugEvent &handler) { m_onRemoval = handler; }

    const std::vector<TJvHidDevice *> &DeviceList() const { return m_deviceList; }
    // Null only when the controller was given none.
    HidBackend *backend() const { return m_backend.get(); }
    // False when another controller lives or the system's HID services cannot
    // be reached: the controller then lists nothing and watches nothing.
    bool isAvailable() const { return m_available; }
    // Why the controller is unavailable; empty when it is available.
    QString errorString() const { return m_errorString; }

    // Live controllers in this program, not counting unavailable ones made
    // while another lived: 0 or 1.
    static int ControllerCount();

private:
    friend class TJvHidDevice;

    void DeviceMessageHook(int eventCode);
    void deviceChangePass();
    std::vector<std::unique_ptr<TJvHidDevice>> BuildDeviceList();
    // Calls `handler` with InEvent set; false when the handler released the device.
    bool reportPlug(const TJvHidPlugEvent &handler, TJvHidDevice *device);
    int indexOf(const TJvHidDevice *device) const;

    std::unique_ptr<HidBackend> m_backend;
    // This is the program's one controller.
    bool m_counted = false;
    bool m_available = false;
    QString m_errorString;
    // Raw pointers: the list holds claimed devices it does not own.
    std::vector<TJvHidDevice *> m_deviceList;
    bool m_changeReported = false;
    // A notice that arrives while a pass runs (from a dialog a handler opened)
    // is run after it rather than inside it.
    bool m_inDeviceChange = false;
    bool m_changeAgain = false;

    int m_devThreadSleepTime = 100;
    TJvHidPlugEvent m_onArrival;
    TJvHidEnumerateEvent m_onEnumerate;
    TNotifyEvent m_onDeviceChange;
    TJvHidDataEvent m_onDeviceData;
    TJvHidDataErrorEvent m_onDeviceDataError;
    TJvHidPlugEvent m_onDeviceUnplug;
    TJvHidPlugEvent m_onRemoval;
};
