#pragma once

#include "transport/hidbackend.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <vector>

// One HID interface in the controller's list, and what it said of itself
// when it was listed. The strings stay when the interface goes.
struct HidDevice
{
    QString instanceKey;
    QString path;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    QString productString; // empty when the device has none
    QString serialNumber;  // empty when the device has none
};

// Keeps the list of the system's HID interfaces and follows their arrival and
// removal. An interface that cannot be opened, even only to ask what it is,
// or that does not say what it is, is not listed (and a listed one that no
// longer opens counts as gone); a later pass tries it again.
//
// The list keeps its order across changes: an interface keeps its position
// while it stays, and arrivals go to the end in the system's order.
class HidDeviceController : public QObject
{
    Q_OBJECT
public:
    // The backend must outlive the controller.
    explicit HidDeviceController(HidBackend &backend, QObject *parent = nullptr);
    // Stops watching the system's device changes.
    ~HidDeviceController() override;

    // Lists the interfaces and follows the system's device changes from now
    // on. Reports devicesChanged even when nothing is listed, so that the one
    // who connected to it sees the first list. Connect to the signals first.
    void start();
    // Compares the list with the system's interfaces now, as a device-change
    // notice does: removals from the last position to the first, then
    // arrivals in the system's order, then devicesChanged if anything
    // changed. Nothing before start().
    void refresh();

    // False when the system's HID interfaces cannot be listed; then nothing
    // is listed or watched, and errorString() says so.
    bool isAvailable() const { return m_backend.isAvailable(); }
    QString errorString() const;

    const std::vector<HidDevice> &devices() const { return m_devices; }

signals:
    // An interface came or went during a pass; the device is valid during
    // the emission.
    void deviceArrived(const HidDevice &device);
    void deviceRemoved(const HidDevice &device);
    // The list changed, or was made for the first time.
    void devicesChanged();

private:
    // One comparison of the list with the system; refresh() repeats it while
    // notices come in during it.
    void runPass();

    HidBackend &m_backend;
    std::vector<HidDevice> m_devices;
    bool m_started = false;
    bool m_firstReported = false;
    // A notice that arrives while a pass runs (from a dialog that a slot
    // opened) runs after it rather than inside it.
    bool m_inPass = false;
    bool m_passAgain = false;
};
