#pragma once

#include "transport/hiddevice.h"
#include "transport/hiddevicecontroller.h"

#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

// The USB link to the meter's interface cable: a HID device whose product
// string is "USB to Serial" and whose input reports carry the meter's bytes.
// It keeps the list of the system's HID devices with the cable selected,
// sends the cable its set-up report, reads its reports, and notices a cable
// that stays silent. It words nothing for the user: it reports what happened,
// and the window says it.
//
// Every device in the list is claimed from the controller; the list returns
// the claims when it is rebuilt after a device change.
class UsbLink : public QObject
{
    Q_OBJECT
public:
    // A device is taken for the cable when its whole display text is this:
    // the product string, and no serial number.
    static constexpr char16_t CableName[] = u"USB to Serial";
    // How long a freshly connected cable may stay without any report.
    static constexpr int SilentCableMs = 3000;

    enum class Result {
        Done,
        NoCable,    // no device is selected: nothing is plugged in that looks like the cable
        NoAccess,   // the cable is there, but this user may not read it
        InUse,      // another program (or window) reads the cable; claimError() says which
    };

    explicit UsbLink(std::unique_ptr<HidBackend> backend, QObject *parent = nullptr);
    // Stops reading and returns the claims.
    ~UsbLink() override;

    // Lists the devices, selects the cable and follows the system's device
    // changes from now on. Connect to the signals first.
    void start();
    // False when the system's HID devices cannot be reached; errorString() says why.
    bool isAvailable() const { return m_controller.isAvailable(); }
    QString errorString() const { return m_controller.errorString(); }

    // The device list, in the system's order, each by its display text.
    const QStringList &deviceNames() const { return m_deviceNames; }
    QString devicePath(int row) const;
    int selectedRow() const { return m_selectedRow; }
    void selectRow(int row);
    // Selects the device at `path` (links resolved); false when none is there.
    bool selectDevicePath(const QString &path);
    // Why no listed device is at `path`, as the system says it.
    QString unlistedReason(const QString &path) const;
    // Selects the cable that went away when it is back: the device at the
    // same path, or one with the same display text (product and serial
    // number); false while it is not.
    bool selectReturnedCable(const QString &path, const QString &name);
    QString selectedName() const;
    // The selected device's path and, when it cannot be read, why not.
    QString selectedPath() const;
    QString accessError() const;
    // Who holds the cable a connect found in use ("qm320 (process 1234)
    // holds it"), or what kept it from being claimed.
    QString claimError() const { return m_claimError; }
    // The rows of the devices that are meter cables, with or without a
    // serial number; the user chooses among them when there are several.
    QList<int> cableRows() const;

    // Connects: claims the selected device (a cable another program reads
    // is left alone), stops reading it, sends it the set-up report and reads
    // its reports from now on.
    Result connectCable();
    // Disconnects: stops reading and sends the set-up report once more, as
    // the cable gets one at every change of the link, then lets the claim go.
    Result disconnectCable();
    // Stops reading the selected device; the set-up report is not sent.
    void stopReading();
    bool isReading() const;
    // Compares the list with the system's devices now, as a device-change
    // notice does; a read that failed may mean the cable is gone before the
    // system has said so.
    void refreshDevices();

    // Report ID 0, the line speed (least significant byte first), the
    // character format and four zero bytes: 2400 bit/s, 8 data bits, no
    // parity, 1 stop bit, the meter's line.
    static std::array<std::uint8_t, 10> cableSetupReport();
    // The product string, or "Device VID=%.4x PID=%.4x", followed by
    // " (Serial=%s)" when the device reports a serial number.
    static QString deviceName(HidDevice &device);

    // Run SilentCableMs after connecting: a cable that sent nothing at all
    // is reset once and set up again where the system allows it; otherwise
    // cableSilent is reported. Public so a test need not wait.
    void checkSilentCable();

signals:
    // An input report of the cable; `data` holds the bytes after the report
    // ID and is valid during the emission only.
    void reportReceived(std::uint8_t reportId, QByteArrayView data);
    void deviceArrived(const QString &name, const QString &path);
    void deviceRemoved(const QString &name, const QString &path);
    // A read failed with the system's error code.
    void readFailed(quint32 errorCode);
    // The ten bytes of a set-up report, and whether the cable took it; a
    // cable that refuses it is noticed by the data that does not come.
    void setupReportSent(QByteArrayView report, bool accepted);
    void cableReset(const QString &name);
    void cableSilent();
    // The cable the link read is no longer there; the link has stopped.
    void cableLost(const QString &path, const QString &name);
    void deviceListChanged();

private:
    HidDevice *selectedDevice() const;
    HidDevice *stopAndSetUpSelected();
    void attachReportHandler(HidDevice &device);
    void sendSetupReport(HidDevice &device);
    void rebuildDeviceList();
    void onReport(std::uint8_t reportId, const std::uint8_t *data, std::uint16_t size);

    HidDeviceController m_controller;
    QStringList m_deviceNames;
    std::vector<std::unique_ptr<HidDevice>> m_devices;
    int m_selectedRow = -1;

    // While connected: the instance key of the cable the link reads, so that
    // a device change that leaves the cable in place does not end the link.
    QString m_connectedInstance;
    QString m_connectedPath;
    QString m_connectedName;
    // Made once, so that the device sees the same handler when it is set again.
    HidDataHandler m_reportHandler;

    // The claim on the cable while connected.
    std::unique_ptr<HidClaim> m_claim;
    QString m_claimError;

    QTimer m_silentTimer;
    long long m_reportsSinceConnect = 0;
    bool m_resetTried = false;
};
