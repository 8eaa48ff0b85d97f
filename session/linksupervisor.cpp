#include "session/linksupervisor.h"

#include "meter/meterframe.h"
#include "transport/comportnames.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"
#include "transport/serialportdriver.h"
#include "transport/serialsettings.h"
#include "transport/usblink.h"

#include <string_view>

namespace {

QString setupReportLine(QByteArrayView report)
{
    // The nine data bytes after the report ID, each followed by a blank.
    QString line;
    for (qsizetype i = 1; i < report.size(); ++i) {
        const auto b = std::uint8_t(report[i]);
        line += QLatin1Char(hexDigit(b >> 4));
        line += QLatin1Char(hexDigit(b));
        line += QLatin1Char(' ');
    }
    return line;
}

static_assert(std::u16string_view(LinkSupervisor::CableName) == std::u16string_view(UsbLink::CableName));

} // namespace

LinkSupervisor::LinkSupervisor(std::unique_ptr<SerialBackend> serialBackend, std::unique_ptr<HidBackend> hidBackend,
                               QObject *parent)
    : QObject(parent)
    , m_serial(std::make_unique<SerialPortDriver>(serialBackend ? std::move(serialBackend) : createSerialBackend()))
    , m_usbLink(std::make_unique<UsbLink>(std::move(hidBackend)))
{
    m_reconnectTimer.setInterval(ReconnectTickMs);
    connect(&m_reconnectTimer, &QTimer::timeout, this, &LinkSupervisor::tryReconnect);

    connect(m_serial.get(), &SerialPortDriver::dataReceived, this, &LinkSupervisor::serialBytesReceived);
    connect(m_serial.get(), &SerialPortDriver::readFailed, this, &LinkSupervisor::onSerialReadFailed);

    UsbLink *usb = m_usbLink.get();
    connect(usb, &UsbLink::reportReceived, this, &LinkSupervisor::reportReceived);
    connect(usb, &UsbLink::setupReportSent, this, [this](QByteArrayView report, bool accepted) {
        emit historyLine(setupReportLine(report));
        emit setupReportSent(accepted);
    });
    connect(usb, &UsbLink::deviceArrived, this,
            [this](const QString &name) { emit historyLine(QStringLiteral("Arrival of ") + name); });
    connect(usb, &UsbLink::deviceRemoved, this,
            [this](const QString &name) { emit historyLine(QStringLiteral("Removal of ") + name); });
    connect(usb, &UsbLink::cableReset, this, [this](const QString &name) {
        emit historyLine(QStringLiteral("Reset of ") + name);
        emit cableReset(name);
    });
    connect(usb, &UsbLink::readFailed, this,
            [this](const QString &reason) { emit historyLine(QStringLiteral("READ ERROR: ") + reason); });
    connect(usb, &UsbLink::lost, this, &LinkSupervisor::onCableLost);
    connect(usb, &UsbLink::deviceListChanged, this, [this] {
        if (m_state == LinkState::WaitingForUsb)
            tryReconnect();
        emit usbDevicesChanged();
    });
    connect(usb, &UsbLink::cableSilent, this,
            [this] { fail(LinkFailure::Kind::CableSilent, m_usbLink->selectedPath()); });
}

LinkSupervisor::~LinkSupervisor()
{
    m_reconnectTimer.stop();
    // A USB read thread may have handed over a report; stopping it drops
    // the report while everything it would reach is still there.
    m_usbLink.reset();
    m_serial.reset();
}

int LinkSupervisor::comPortNumber(const QString &port)
{
    return ::comPortNumber(port);
}

bool LinkSupervisor::isPortName(const QString &port)
{
    return !deviceForPortName(port).isEmpty();
}

void LinkSupervisor::start()
{
    m_usbLink->start();
}

void LinkSupervisor::setState(LinkState state)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void LinkSupervisor::fail(LinkFailure::Kind kind, const QString &device, const QString &detail)
{
    LinkFailure failure;
    failure.kind = kind;
    failure.port = kind == LinkFailure::Kind::PortNotOpened || kind == LinkFailure::Kind::PortLost
                       ? m_serialPort
                       : m_usbLink->selectedName();
    failure.device = device;
    failure.detail = detail;
    emit failed(failure);
}

void LinkSupervisor::setReconnect(bool reconnect)
{
    m_reconnect = reconnect;
    // Switched off while waiting: the wait ends.
    if (!reconnect && (m_state == LinkState::WaitingForSerial || m_state == LinkState::WaitingForUsb))
        disconnectLink();
}

void LinkSupervisor::disconnectLink()
{
    switch (m_state) {
    case LinkState::Serial:
        disconnectSerial();
        break;
    case LinkState::Usb:
        disconnectUsb();
        break;
    case LinkState::WaitingForSerial:
    case LinkState::WaitingForUsb:
        m_reconnectTimer.stop();
        setState(LinkState::Idle);
        break;
    case LinkState::Idle:
        break;
    }
}

void LinkSupervisor::loseLink(LinkFailure failure)
{
    emit linkLost();
    failure.reconnecting = m_reconnect;
    const bool serial = failure.kind == LinkFailure::Kind::PortLost;
    if (m_reconnect) {
        m_lostLink = failure;
        setState(serial ? LinkState::WaitingForSerial : LinkState::WaitingForUsb);
        m_reconnectTimer.start();
    } else {
        setState(LinkState::Idle);
    }
    emit failed(failure);
}

void LinkSupervisor::onSerialReadFailed(const QString &reason)
{
    if (m_state != LinkState::Serial)
        return;
    // The driver would poll on; a device that failed its reads or hung up
    // is gone for this link.
    m_serial->close();
    LinkFailure failure;
    failure.kind = LinkFailure::Kind::PortLost;
    failure.port = m_serialPort;
    failure.device = m_serialDevice;
    failure.detail = reason;
    loseLink(failure);
}

void LinkSupervisor::onCableLost(const QString &reason)
{
    if (m_state != LinkState::Usb)
        return;
    LinkFailure failure;
    failure.kind = LinkFailure::Kind::CableLost;
    failure.port = m_usbLink->cableName();
    failure.device = m_usbLink->cablePath();
    failure.detail = reason;
    loseLink(failure);
}

void LinkSupervisor::tryReconnect()
{
    if (m_state == LinkState::WaitingForSerial) {
        // Opening a device that is not there fails at once and quietly.
        if (!m_serial->open(m_serialDevice, MeterLineSettings))
            return;
        emit linkStarting();
        m_reconnectTimer.stop();
        setState(LinkState::Serial);
    } else if (m_state == LinkState::WaitingForUsb) {
        if (!m_usbLink->selectReturnedCable(m_lostLink.device, m_lostLink.port))
            return;
        if (m_usbLink->connectCable() != UsbLink::Result::Done)
            return;
        emit linkStarting();
        m_reconnectTimer.stop();
        setState(LinkState::Usb);
    } else {
        m_reconnectTimer.stop();
    }
}

void LinkSupervisor::setSerialPort(const QString &port)
{
    if (m_state != LinkState::Serial)
        m_serialPort = port;
}

bool LinkSupervisor::connectSerial()
{
    if (m_state == LinkState::Serial)
        return true;
    if (!m_serial->open(m_serialPort, MeterLineSettings)) {
        fail(LinkFailure::Kind::PortNotOpened, deviceForPortName(m_serialPort), m_serial->lastError());
        return false;
    }
    emit linkStarting();
    // The adapter by a name that follows it to another number when it is
    // plugged in again.
    m_serialDevice = stableDevicePath(deviceForPortName(m_serialPort));
    setState(LinkState::Serial);
    return true;
}

void LinkSupervisor::disconnectSerial()
{
    m_serial->close();
    if (m_state == LinkState::Serial || m_state == LinkState::WaitingForSerial) {
        m_reconnectTimer.stop();
        setState(LinkState::Idle);
    }
}

bool LinkSupervisor::connectUsb(const QString &devicePath)
{
    emit linkStarting();
    if (!devicePath.isEmpty() && !m_usbLink->selectDevicePath(devicePath)) {
        fail(LinkFailure::Kind::CableNotFound, devicePath, m_usbLink->unlistedReason(devicePath));
        setState(LinkState::Idle);
        return false;
    }
    switch (m_usbLink->connectCable()) {
    case UsbLink::Result::Done:
        setState(LinkState::Usb);
        return true;
    case UsbLink::Result::NoCable:
        fail(LinkFailure::Kind::CableNotFound);
        setState(LinkState::Idle);
        return false;
    case UsbLink::Result::NoAccess:
        setState(LinkState::Idle);
        fail(LinkFailure::Kind::CableNotReadable, m_usbLink->selectedPath(), m_usbLink->accessError());
        return false;
    case UsbLink::Result::InUse:
        setState(LinkState::Idle);
        fail(LinkFailure::Kind::CableInUse, m_usbLink->selectedPath(), m_usbLink->claimError());
        return false;
    }
    return false;
}

void LinkSupervisor::disconnectUsb()
{
    emit usbDisconnecting();
    if (m_state == LinkState::WaitingForUsb) {
        m_reconnectTimer.stop();
        setState(LinkState::Idle);
        return;
    }
    if (m_usbLink->disconnectCable() == UsbLink::Result::NoCable)
        fail(LinkFailure::Kind::CableNotFound);
    setState(LinkState::Idle);
}

void LinkSupervisor::endIdleCable()
{
    m_usbLink->stopReading();
    if (m_state == LinkState::Usb)
        setState(LinkState::Idle);
    fail(LinkFailure::Kind::CableIdle, m_usbLink->selectedPath());
}

bool LinkSupervisor::usbAvailable() const
{
    return m_usbLink->isAvailable();
}

QString LinkSupervisor::usbErrorString() const
{
    return m_usbLink->errorString();
}

QList<UsbDeviceEntry> LinkSupervisor::usbDevices() const
{
    QList<UsbDeviceEntry> devices;
    const QStringList &names = m_usbLink->deviceNames();
    for (int row = 0; row < names.size(); ++row)
        devices.append({names.at(row), m_usbLink->devicePath(row)});
    return devices;
}

QStringList LinkSupervisor::usbDeviceNames() const
{
    return m_usbLink->deviceNames();
}

int LinkSupervisor::selectedUsbRow() const
{
    return m_usbLink->selectedRow();
}

QString LinkSupervisor::selectedUsbPath() const
{
    return m_usbLink->selectedPath();
}

QList<UsbDeviceEntry> LinkSupervisor::usbCables() const
{
    QList<UsbDeviceEntry> cables;
    for (int row : m_usbLink->cableRows())
        cables.append({m_usbLink->deviceNames().at(row), m_usbLink->devicePath(row)});
    return cables;
}

bool LinkSupervisor::usbReading() const
{
    return m_usbLink->isReading();
}

QString LinkSupervisor::usbAccessError() const
{
    return m_usbLink->accessError();
}

void LinkSupervisor::checkSilentCable()
{
    m_usbLink->checkSilentCable();
}
