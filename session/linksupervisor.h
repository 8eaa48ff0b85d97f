#pragma once

#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>

class HidBackend;
class SerialBackend;
class SerialPortDriver;
class UsbLink;

// Which link is up. A lost link either ends (Idle) or, with reconnecting on,
// waits for the same device to come back.
enum class LinkState { Idle, Serial, Usb, WaitingForSerial, WaitingForUsb };

// What went wrong with a link; the window words it for the user.
struct LinkFailure
{
    enum class Kind {
        PortNotOpened,    // detail: the port driver's sentence (port, device, reason)
        PortLost,         // reads failed or the line hung up; detail: the reason
        CableNotFound,    // no device that looks like the cable is selected; a path asked for: device, and detail why
        CableNotReadable, // device: its path; detail: why this user may not read it
        CableIdle,        // the cable reports, but carries no meter data; the link ended
        CableSilent,      // the cable sends no reports at all
        CableLost,        // the cable went away during the link
        CableInUse, // device: its path; detail: who holds it ("qm320 (process 1234) holds it") or why it cannot be
                    // claimed
    };
    Kind kind = Kind::PortNotOpened;
    QString port;   // "COM1", or the cable's display text
    QString device; // the device path
    QString detail;
    bool reconnecting = false; // a lost link waits for its device to come back
};

// A HID device as the link lists it.
struct UsbDeviceEntry
{
    QString name; // the display text: product string, and serial number when there is one
    QString path;
    bool operator==(const UsbDeviceEntry &) const = default;
};

// The meter's link: the serial port driver and the USB cable link, which one
// is up, what went wrong, and the wait for a lost device to come back. It
// hands on the bytes and reports the link delivers and says nothing of what
// they mean; the session decodes them. The window and the command-line tool
// reach it through the session and see values only: the device list, the
// state, the failures.
class LinkSupervisor : public QObject
{
    Q_OBJECT
public:
    // How often a waiting link looks for its device: well within the two
    // seconds a user waits for a replugged adapter to be taken up again.
    static constexpr int ReconnectTickMs = 500;
    // The display text of the meter's USB interface cable.
    static constexpr char16_t CableName[] = u"USB to Serial";

    // Without a serial backend the system's is used; without a HID backend
    // there is no USB link.
    LinkSupervisor(std::unique_ptr<SerialBackend> serialBackend, std::unique_ptr<HidBackend> hidBackend,
                   QObject *parent = nullptr);
    // Stops the links.
    ~LinkSupervisor() override;

    // Starts the USB device list (its first pass lists the devices and
    // selects the cable). Connect to the signals first.
    void start();

    LinkState state() const { return m_state; }

    // n for the port names "COM1".."COM4" (in any letter case), else 0.
    static int comPortNumber(const QString &port);
    // Whether the serial link takes `port`: "COM1".."COM4", a device path,
    // on Windows any COMn.
    static bool isPortName(const QString &port);

    // The serial link. The port is "COM1".."COM4" or a device path; it
    // cannot change while the link is up.
    QString serialPort() const { return m_serialPort; }
    void setSerialPort(const QString &port);
    bool connectSerial();
    void disconnectSerial();

    // The USB link: the selected device, or the one at `devicePath`.
    bool connectUsb(const QString &devicePath = QString());
    void disconnectUsb();
    // Ends the link, or stops waiting for its device.
    void disconnectLink();
    // The cable reports, but without meter data: the link ends.
    void endIdleCable();

    bool reconnects() const { return m_reconnect; }
    void setReconnect(bool reconnect);
    // What a waiting link waits for: "COM1", or the cable's display text.
    QString awaitedDevice() const { return m_lostLink.port; }

    // The USB side, as values. False when the system's HID devices cannot
    // be reached; usbErrorString() says why.
    bool usbAvailable() const;
    QString usbErrorString() const;
    // The HID devices in the system's order, and the one selected (-1: none).
    QList<UsbDeviceEntry> usbDevices() const;
    QStringList usbDeviceNames() const;
    int selectedUsbRow() const;
    QString selectedUsbPath() const;
    // The devices that are meter cables: the user chooses among them when
    // there are several.
    QList<UsbDeviceEntry> usbCables() const;
    // A link to a cable is up.
    bool usbReading() const;
    // Why the selected device could not be opened for reading and writing at
    // the last connect or disconnect; empty when it could.
    QString usbAccessError() const;
    // The silent-cable check the link runs after connecting; public so a
    // test need not wait.
    void checkSilentCable();

    // What the reconnect timer runs; public so a test can tick by hand.
    void tryReconnect();

signals:
    void serialBytesReceived(QByteArrayView bytes);
    // An input report of the cable; `data` is valid during the emission only.
    void reportReceived(std::uint8_t reportId, QByteArrayView data);
    // A link starts, or starts again: frames are assembled afresh.
    void linkStarting();
    // The USB link is being disconnected by the user.
    void usbDisconnecting();
    // The link was lost; said before the state changes and the failure.
    void linkLost();
    void stateChanged(LinkState state);
    void failed(const LinkFailure &failure);
    // A line of the USB link's diagnostic history: a set-up report, a device
    // that came or went, a reset, a failed read.
    void historyLine(const QString &line);
    // A set-up report went to the cable, and whether the cable took it.
    void setupReportSent(bool accepted);
    void cableReset(const QString &name);
    void usbDevicesChanged();

private:
    void setState(LinkState state);
    void onSerialReadFailed(const QString &reason);
    void onCableLost(const QString &reason);
    void loseLink(LinkFailure failure);
    void fail(LinkFailure::Kind kind, const QString &device = QString(), const QString &detail = QString());

    LinkState m_state = LinkState::Idle;
    QString m_serialPort = QStringLiteral("COM1");
    QString m_serialDevice; // the adapter the link reads, by its stable name
    bool m_reconnect = false;
    LinkFailure m_lostLink; // what a waiting link lost
    QTimer m_reconnectTimer;
    std::unique_ptr<SerialPortDriver> m_serial;
    std::unique_ptr<UsbLink> m_usbLink;
};
