#pragma once

#include "transport/hidbackend.h"
#include "transport/hiddevicecontroller.h"

#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class HidReadThread;

// The USB link to the meter's interface cable: a HID device whose product
// string is "USB to Serial" and whose input reports carry the meter's bytes.
// It keeps the list of the system's HID devices with the cable selected,
// claims the cable it connects to, sends it its set-up report, reads its
// reports on a read thread, notices a cable that stays silent, and ends the
// link when the cable goes away or can no longer be read. It words nothing
// for the user: it reports what happened, and the window says it.
class UsbLink : public QObject
{
    Q_OBJECT
public:
    // A device is taken for the cable when its whole display text is this:
    // the product string, and no serial number.
    static constexpr char16_t CableName[] = u"USB to Serial";
    // How long a freshly connected cable may stay without any report.
    static constexpr int SilentCableMs = 3000;
    // Attempts in a row to open the cable for reading that fail, with no
    // report between them, and end a link whose cable is still listed.
    static constexpr int LostAfterReadFailures = 3;
    // The pause after a failed read before the cable is opened afresh: a
    // cable that went away fails at once, again and again.
    static constexpr int ReadRetryMs = 100;

    enum class Result {
        Done,
        NoCable,  // no device is selected: nothing is plugged in that looks like the cable
        NoAccess, // the cable is there, but this user may not read it; accessError() says why
        InUse,    // another program (or window) reads the cable; claimError() says which
    };

    explicit UsbLink(std::unique_ptr<HidBackend> backend, QObject *parent = nullptr);
    // Stops reading and lets the claim go.
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
    QString selectedPath() const;
    // Why the selected device could not be opened for reading and writing at
    // the last connect or disconnect; empty when it could.
    QString accessError() const { return m_accessError; }
    // Who holds the cable a connect found in use ("qm320 (process 1234)
    // holds it"), or what kept it from being claimed.
    QString claimError() const { return m_claimError; }
    // The rows of the devices that are meter cables, with or without a
    // serial number; the user chooses among them when there are several.
    QList<int> cableRows() const;
    // The cable the link reads, or read last: its path and display text.
    QString cablePath() const { return m_cablePath; }
    QString cableName() const { return m_cableName; }

    // Connects: claims the selected device (a cable another program reads
    // is left alone), sends it the set-up report and reads its reports from
    // now on.
    Result connectCable();
    // Disconnects: stops reading and sends the set-up report once more, as
    // the cable gets one at every change of the link, then lets the claim go.
    Result disconnectCable();
    // Stops reading and lets the claim go; the set-up report is not sent.
    void stopReading();
    // A link to a cable is up.
    bool isReading() const { return m_reading; }
    // Compares the list with the system's devices now, as a device-change
    // notice does.
    void refreshDevices();

    // Report ID 0, the line speed (least significant byte first), the
    // character format and four zero bytes: 2400 bit/s, 8 data bits, no
    // parity, 1 stop bit, the meter's line.
    static std::array<std::uint8_t, 10> cableSetupReport();
    // The product string, or "Device VID=%.4x PID=%.4x", followed by
    // " (Serial=%s)" when the device reports a serial number.
    static QString deviceName(const HidDevice &device);

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
    // The cable could not be opened for reading; `reason` is the system's
    // sentence. The link tries again after a pause.
    void readFailed(const QString &reason);
    // The ten bytes of a set-up report, and whether the cable took it; a
    // cable that refuses it is noticed by the data that does not come.
    void setupReportSent(QByteArrayView report, bool accepted);
    void cableReset(const QString &name);
    void cableSilent();
    // The cable the link read (cablePath(), cableName()) is gone or cannot be
    // read any more; the link has stopped. `reason` says which ("the cable
    // was unplugged").
    void lost(const QString &reason);
    void deviceListChanged();

private:
    const HidDevice *selectedDevice() const;
    // Stops the reader, its retries and the silent-cable check.
    void stopReader();
    // That, and lets the claim go.
    void endLink();
    void lose(const QString &reason);
    void openReader();
    void onReaderFailed();
    void noteReadFailure(const HidFailure &failure);
    // Sends the set-up report through `control`, or says it was not taken
    // when there is no handle.
    void sendSetupReport(HidHandle *control);
    void sendSetupReport(const QString &path);
    void rebuildDeviceList();
    void onReport(std::uint8_t reportId, QByteArrayView data);

    // Declared first, destroyed last: the controller uses it to the end.
    const std::unique_ptr<HidBackend> m_backend;
    HidDeviceController m_controller{*m_backend};
    QStringList m_deviceNames;
    std::vector<HidDevice> m_devices;
    int m_selectedRow = -1;
    QString m_accessError;
    QString m_claimError;

    // The cable of the link: while it reads, the instance key tells whether
    // a device change left it in place.
    bool m_reading = false;
    QString m_cableKey;
    QString m_cablePath;
    QString m_cableName;
    std::unique_ptr<HidClaim> m_claim;
    std::unique_ptr<HidReadThread> m_reader;
    QTimer m_retryTimer;
    int m_readFailures = 0;

    QTimer m_silentTimer;
    long long m_reportsSinceConnect = 0;
    bool m_resetTried = false;
};
