#pragma once

#include "transport/hidbackend.h"
#include "transport/hiddevice.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

// Finds the HID interfaces of the system, follows their arrival and removal,
// hands device objects out and reports what changed through its handlers.
// One per program: while one lives, another is unavailable. Its shape follows
// what our USB link needs: handlers that compare, so that a new one reaches
// only the devices that kept the old, and devices a claimant owns.
//
// The device list holds every listed device in the system's order. The
// controller owns the unclaimed ones; a claimed device keeps its position and
// belongs to its claimant until the claimant destroys it.
class HidDeviceController : public QObject
{
    Q_OBJECT
public:
    // Lists the devices at once and watches the system's device-change
    // notices, unless it is unavailable (see errorString()).
    explicit HidDeviceController(std::unique_ptr<HidBackend> backend, QObject *parent = nullptr);
    // Devices still claimed are orphaned: marked unplugged and left to their
    // claimants.
    ~HidDeviceController() override;

    // Compares the list with the system's devices: removals from the last
    // position to the first, then arrivals in the system's order, then the
    // device-change handler if anything changed or no change was reported
    // yet. The system's notices run it too.
    void runDeviceChangePass();
    // Offers each plugged device to the enumerate handler until it answers
    // false; returns the number offered. Without a handler only the first
    // plugged device counts.
    int listDevices();
    // Hands out the device at `index`, and starts its reading if it has a
    // data handler; null when the index is out of range or the device is
    // claimed already.
    std::unique_ptr<HidDevice> claimDeviceAt(int index);

    // The sleep time devices start with. Setting it also changes the listed
    // devices that still have the old one; values a device would not accept
    // are ignored.
    int readThreadSleepTime() const { return m_readThreadSleepTime; }
    void setReadThreadSleepTime(int milliseconds);

    // Every handler runs on the main thread. The data, data-error and unplug
    // handlers are the ones each device starts with; setting one hands it on
    // to the listed devices that still have the one it replaces.
    const HidPlugHandler &arrivalHandler() const { return m_arrivalHandler; }
    void setArrivalHandler(const HidPlugHandler &handler) { m_arrivalHandler = handler; }
    const HidEnumerateHandler &enumerateHandler() const { return m_enumerateHandler; }
    void setEnumerateHandler(const HidEnumerateHandler &handler) { m_enumerateHandler = handler; }
    const HidChangeHandler &deviceChangeHandler() const { return m_deviceChangeHandler; }
    // A different handler runs a pass at once.
    void setDeviceChangeHandler(const HidChangeHandler &handler);
    const HidDataHandler &dataHandler() const { return m_dataHandler; }
    void setDataHandler(const HidDataHandler &handler);
    const HidDataErrorHandler &dataErrorHandler() const { return m_dataErrorHandler; }
    void setDataErrorHandler(const HidDataErrorHandler &handler);
    const HidPlugHandler &unplugHandler() const { return m_unplugHandler; }
    void setUnplugHandler(const HidPlugHandler &handler);
    const HidPlugHandler &removalHandler() const { return m_removalHandler; }
    void setRemovalHandler(const HidPlugHandler &handler) { m_removalHandler = handler; }

    const std::vector<HidDevice *> &devices() const { return m_devices; }
    // Null only when the controller was given none.
    HidBackend *backend() const { return m_backend.get(); }
    // False when another controller lives or the system's HID services cannot
    // be reached: the controller then lists nothing and watches nothing.
    bool isAvailable() const { return m_available; }
    // Why the controller is unavailable; empty when it is available.
    QString errorString() const { return m_errorString; }

    // Live controllers in this program, not counting unavailable ones made
    // while another lived: 0 or 1.
    static int liveCount();

private:
    friend class HidDevice;

    void handleDeviceChangeNotice(int eventCode);
    // One comparison of the list with the system; runDeviceChangePass()
    // repeats it while notices come in during it.
    void runSinglePass();
    std::vector<std::unique_ptr<HidDevice>> openListedInterfaces();
    // Calls `handler` with the device marked as in an event; false when the
    // handler released the device.
    bool reportPlug(const HidPlugHandler &handler, HidDevice *device);
    int indexOf(const HidDevice *device) const;

    std::unique_ptr<HidBackend> m_backend;
    // This is the program's one controller, counted by liveCount().
    bool m_countedAsLive = false;
    bool m_available = false;
    QString m_errorString;
    // Raw pointers: the list holds claimed devices it does not own.
    std::vector<HidDevice *> m_devices;
    bool m_changeReported = false;
    // A notice that arrives while a pass runs (from a dialog a handler opened)
    // is run after it rather than inside it.
    bool m_inDeviceChange = false;
    bool m_changeAgain = false;

    int m_readThreadSleepTime = 100;
    HidPlugHandler m_arrivalHandler;
    HidEnumerateHandler m_enumerateHandler;
    HidChangeHandler m_deviceChangeHandler;
    HidDataHandler m_dataHandler;
    HidDataErrorHandler m_dataErrorHandler;
    HidPlugHandler m_unplugHandler;
    HidPlugHandler m_removalHandler;
};
