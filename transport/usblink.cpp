#include "transport/usblink.h"

#include "transport/hidreadthread.h"

#include <QFileInfo>

namespace {

QString hex4(std::uint16_t v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

QString canonical(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? path : c;
}

// Stands in when the link is made without a backend (a command-line run that
// reads a file): nothing to list, open or watch.
class AbsentHidBackend final : public HidBackend
{
public:
    bool isAvailable() const override { return false; }
    std::vector<HidInterfaceInfo> listInterfaces() override { return {}; }
    void watchDeviceChanges(std::function<void()>) override { }
    std::unique_ptr<HidHandle> open(const QString &, HidAccess, HidFailure &why) override
    {
        why = {HidError::Unsupported, QStringLiteral("no HID devices are at hand")};
        return nullptr;
    }
    std::unique_ptr<HidClaim> claim(const QString &, HidFailure &why) override
    {
        why = {HidError::Unsupported, QStringLiteral("no HID devices are at hand")};
        return nullptr;
    }
    bool resetUsbDevice(const QString &, HidFailure &why) override
    {
        why = {HidError::Unsupported, QStringLiteral("no HID devices are at hand")};
        return false;
    }
};

} // namespace

UsbLink::UsbLink(std::unique_ptr<HidBackend> backend, QObject *parent)
    : QObject(parent)
    , m_backend(backend ? std::move(backend) : std::make_unique<AbsentHidBackend>())
{
    connect(&m_controller, &HidDeviceController::deviceArrived, this,
            [this](const HidDevice &device) { emit deviceArrived(deviceName(device), device.path); });
    connect(&m_controller, &HidDeviceController::deviceRemoved, this,
            [this](const HidDevice &device) { emit deviceRemoved(deviceName(device), device.path); });
    connect(&m_controller, &HidDeviceController::devicesChanged, this, &UsbLink::rebuildDeviceList);

    m_silentTimer.setSingleShot(true);
    m_silentTimer.setInterval(SilentCableMs);
    connect(&m_silentTimer, &QTimer::timeout, this, &UsbLink::checkSilentCable);
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(ReadRetryMs);
    connect(&m_retryTimer, &QTimer::timeout, this, &UsbLink::openReader);
}

UsbLink::~UsbLink()
{
    // Nothing is connected to a link being destroyed that could still take
    // a signal.
    blockSignals(true);
    endLink();
}

void UsbLink::start()
{
    // Its first pass lists the devices and rebuilds the list here.
    m_controller.start();
}

void UsbLink::refreshDevices()
{
    m_controller.refresh();
}

QString UsbLink::devicePath(int row) const
{
    if (row < 0 || row >= int(m_devices.size()))
        return {};
    return m_devices[std::size_t(row)].path;
}

const HidDevice *UsbLink::selectedDevice() const
{
    if (m_selectedRow < 0 || m_selectedRow >= int(m_devices.size()))
        return nullptr;
    return &m_devices[std::size_t(m_selectedRow)];
}

void UsbLink::selectRow(int row)
{
    if (row < -1 || row >= int(m_devices.size()) || row == m_selectedRow)
        return;
    m_selectedRow = row;
}

bool UsbLink::selectDevicePath(const QString &path)
{
    const QString wanted = canonical(path);
    for (int row = 0; row < int(m_devices.size()); ++row) {
        if (canonical(devicePath(row)) == wanted) {
            selectRow(row);
            return true;
        }
    }
    return false;
}

QString UsbLink::unlistedReason(const QString &path) const
{
    // The system's word for a path it cannot open; a device it opens but
    // does not list is no HID device.
    if (!m_backend->isAvailable())
        return QStringLiteral("there is no HID system");
    HidFailure why;
    if (!m_backend->open(path, HidAccess::QueryOnly, why))
        return why.reason.isEmpty() ? QStringLiteral("it cannot be opened") : why.reason;
    return QStringLiteral("it is not a HID device of this system");
}

bool UsbLink::selectReturnedCable(const QString &path, const QString &name)
{
    for (int row = 0; row < int(m_devices.size()); ++row) {
        if (devicePath(row) == path) {
            selectRow(row);
            return true;
        }
    }
    const int row = int(m_deviceNames.lastIndexOf(name));
    if (row < 0)
        return false;
    selectRow(row);
    return true;
}

QString UsbLink::selectedPath() const
{
    return devicePath(m_selectedRow);
}

QString UsbLink::selectedName() const
{
    return m_selectedRow >= 0 && m_selectedRow < m_deviceNames.size() ? m_deviceNames.at(m_selectedRow) : QString();
}

QList<int> UsbLink::cableRows() const
{
    const QString cable = QString::fromUtf16(CableName);
    const QString withSerial = cable + QStringLiteral(" (Serial=");
    QList<int> rows;
    for (int row = 0; row < int(m_deviceNames.size()); ++row) {
        if (m_deviceNames.at(row) == cable || m_deviceNames.at(row).startsWith(withSerial))
            rows.append(row);
    }
    return rows;
}

void UsbLink::stopReader()
{
    m_reading = false;
    m_silentTimer.stop();
    m_retryTimer.stop();
    m_reader.reset();
}

void UsbLink::endLink()
{
    stopReader();
    m_claim.reset();
}

void UsbLink::lose(const QString &reason)
{
    endLink();
    emit lost(reason);
}

UsbLink::Result UsbLink::connectCable()
{
    endLink();
    const HidDevice *device = selectedDevice();
    if (!device)
        return Result::NoCable;
    const HidDevice cable = *device;

    HidFailure why;
    std::unique_ptr<HidHandle> control = m_backend->open(cable.path, HidAccess::ReadWrite, why);
    if (!control && why.error == HidError::NoSuchDevice)
        return Result::NoCable; // gone since it was listed; the next device change says so
    if (!control) {
        m_accessError = why.reason.isEmpty() ? QStringLiteral("no read and write access") : why.reason;
        // The set-up is tried all the same, as at every change of the link.
        sendSetupReport(nullptr);
        return Result::NoAccess;
    }
    m_accessError.clear();
    // A cable another program reads is not touched: its set-up and its
    // reports are that program's.
    m_claim = m_backend->claim(cable.path, why);
    if (!m_claim) {
        m_claimError = why.reason;
        return Result::InUse;
    }
    m_claimError.clear();
    sendSetupReport(control.get());
    control.reset();

    m_reading = true;
    m_cableKey = cable.instanceKey;
    m_cablePath = cable.path;
    m_cableName = selectedName();
    m_reportsSinceConnect = 0;
    m_readFailures = 0;
    m_resetTried = false;
    m_silentTimer.start();
    openReader();
    return Result::Done;
}

UsbLink::Result UsbLink::disconnectCable()
{
    // The claim is let go after the set-up report: until then the cable is
    // still this program's.
    stopReader();
    const HidDevice *device = selectedDevice();
    Result result = Result::NoCable;
    if (device) {
        sendSetupReport(device->path);
        result = m_accessError.isEmpty() ? Result::Done : Result::NoAccess;
    }
    m_claim.reset();
    return result;
}

void UsbLink::stopReading()
{
    endLink();
}

void UsbLink::openReader()
{
    if (!m_reading)
        return;
    m_reader.reset();
    // Opened here, on the main thread, and handed to the read thread, which
    // never opens (see hidreadthread.cpp).
    HidFailure why;
    std::unique_ptr<HidHandle> handle = m_backend->open(m_cablePath, HidAccess::Read, why);
    if (!handle) {
        noteReadFailure(why);
        return;
    }
    m_reader = std::make_unique<HidReadThread>(
        std::move(handle), [this](std::uint8_t reportId, QByteArrayView data) { onReport(reportId, data); },
        [this](const HidFailure &) { onReaderFailed(); });
}

void UsbLink::onReaderFailed()
{
    // The read thread has ended; its handle is opened afresh after a pause,
    // which says why if it cannot be. A cable pulled fails its reads before
    // the system reports it gone: look now rather than wait for the notice.
    // Queued, as the failure is being delivered by the reader a new list may
    // end.
    m_retryTimer.start();
    QMetaObject::invokeMethod(this, &UsbLink::refreshDevices, Qt::QueuedConnection);
}

void UsbLink::noteReadFailure(const HidFailure &failure)
{
    emit readFailed(failure.reason);
    // A cable that stays listed but cannot be read is lost all the same.
    if (++m_readFailures >= LostAfterReadFailures) {
        lose(QStringLiteral("its reads fail: %1").arg(failure.reason));
        return;
    }
    m_retryTimer.start();
    QMetaObject::invokeMethod(this, &UsbLink::refreshDevices, Qt::QueuedConnection);
}

std::array<std::uint8_t, 10> UsbLink::cableSetupReport()
{
    constexpr std::uint32_t speed = 2400;
    // Byte 0 is the report ID: 0, as the cable numbers no reports.
    std::array<std::uint8_t, 10> report{};
    report[1] = std::uint8_t(speed);
    report[2] = std::uint8_t(speed >> 8);
    report[3] = std::uint8_t(speed >> 16);
    report[4] = std::uint8_t(speed >> 24);
    report[5] = 0x03; // the character format: 8 data bits, no parity, 1 stop bit
    return report;
}

void UsbLink::sendSetupReport(HidHandle *control)
{
    const std::array<std::uint8_t, 10> report = cableSetupReport();
    const QByteArrayView bytes(report.data(), qsizetype(report.size()));
    const bool accepted = control && control->sendFeatureReport(bytes);
    emit setupReportSent(bytes, accepted);
}

void UsbLink::sendSetupReport(const QString &path)
{
    HidFailure why;
    const std::unique_ptr<HidHandle> control = m_backend->open(path, HidAccess::ReadWrite, why);
    if (control)
        m_accessError.clear();
    else
        m_accessError = why.reason.isEmpty() ? QStringLiteral("no read and write access") : why.reason;
    sendSetupReport(control.get());
}

void UsbLink::rebuildDeviceList()
{
    m_devices = m_controller.devices();
    m_deviceNames.clear();
    for (const HidDevice &device : m_devices)
        m_deviceNames.append(deviceName(device));

    // Of several cables the last one is taken.
    m_selectedRow = -1;
    for (int row = 0; row < int(m_deviceNames.size()); ++row) {
        if (m_deviceNames.at(row) == QStringView(CableName))
            m_selectedRow = row;
    }
    // The link goes on with its cable while the cable itself is still there,
    // so plugging in a mouse does not end the readings.
    if (m_reading) {
        int row = -1;
        for (int i = 0; i < int(m_devices.size()); ++i) {
            if (m_devices[std::size_t(i)].instanceKey == m_cableKey)
                row = i;
        }
        if (row < 0) {
            endLink();
            emit deviceListChanged();
            emit lost(QStringLiteral("the cable was unplugged"));
            return;
        }
        m_selectedRow = row;
    }
    emit deviceListChanged();
}

void UsbLink::onReport(std::uint8_t reportId, QByteArrayView data)
{
    ++m_reportsSinceConnect;
    m_readFailures = 0;
    emit reportReceived(reportId, data);
}

void UsbLink::checkSilentCable()
{
    if (!m_reading || m_reportsSinceConnect > 0)
        return;
    // Some cables send nothing at all until they have been reset once after
    // being plugged in; a reset keeps the hidraw node, but the cable forgets
    // its set-up.
    if (!m_resetTried) {
        m_resetTried = true;
        HidFailure why;
        if (m_backend->resetUsbDevice(m_cablePath, why)) {
            emit cableReset(m_cableName);
            sendSetupReport(m_cablePath);
            m_silentTimer.start();
            return;
        }
    }
    emit cableSilent();
}

QString UsbLink::deviceName(const HidDevice &device)
{
    QString text = device.productString;
    if (text.isEmpty())
        text = QStringLiteral("Device VID=%1 PID=%2").arg(hex4(device.vendorId), hex4(device.productId));
    if (!device.serialNumber.isEmpty())
        text += QStringLiteral(" (Serial=%1)").arg(device.serialNumber);
    return text;
}
