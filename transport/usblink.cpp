#include "transport/usblink.h"

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

} // namespace

UsbLink::UsbLink(std::unique_ptr<HidBackend> backend, QObject *parent)
    : QObject(parent)
    , m_controller(std::move(backend))
{
    m_reportHandler = [this](HidDevice *, std::uint8_t id, const std::uint8_t *data, std::uint16_t size) {
        onReport(id, data, size);
    };
    m_silentTimer.setSingleShot(true);
    m_silentTimer.setInterval(SilentCableMs);
    connect(&m_silentTimer, &QTimer::timeout, this, &UsbLink::checkSilentCable);
}

UsbLink::~UsbLink()
{
    m_silentTimer.stop();
    // Returning a device stops its read thread, whose handler points here;
    // a report it hands over meanwhile goes nowhere, as nothing is
    // connected to a link being destroyed.
    blockSignals(true);
    m_devices.clear();
    m_claim.reset();
    m_controller.setArrivalHandler(nullptr);
    m_controller.setRemovalHandler(nullptr);
    m_controller.setEnumerateHandler(nullptr);
    m_controller.setDataErrorHandler(nullptr);
    m_controller.setDeviceChangeHandler(nullptr);
}

void UsbLink::start()
{
    m_controller.setArrivalHandler(
        [this](HidDevice *device) { emit deviceArrived(deviceName(*device), device->interfaceInfo().path); });
    m_controller.setRemovalHandler(
        [this](HidDevice *device) { emit deviceRemoved(deviceName(*device), device->interfaceInfo().path); });
    m_controller.setEnumerateHandler([this](HidDevice *device, int index) {
        m_deviceNames.append(deviceName(*device));
        m_devices.push_back(m_controller.claimDeviceAt(index));
        return true;
    });
    m_controller.setDataErrorHandler([this](HidDevice *, std::uint32_t error) { emit readFailed(error); });
    // Setting the change handler runs the first pass.
    m_controller.setDeviceChangeHandler([this](HidDeviceController *) { rebuildDeviceList(); });
}

QString UsbLink::devicePath(int row) const
{
    if (row < 0 || row >= int(m_devices.size()) || !m_devices[std::size_t(row)])
        return {};
    return m_devices[std::size_t(row)]->interfaceInfo().path;
}

HidDevice *UsbLink::selectedDevice() const
{
    if (m_selectedRow < 0 || m_selectedRow >= int(m_devices.size()))
        return nullptr;
    return m_devices[std::size_t(m_selectedRow)].get();
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
    HidBackend *backend = m_controller.backend();
    if (!backend)
        return QStringLiteral("there is no HID system");
    std::uint32_t error = 0;
    if (!backend->open(path, HidAccess::QueryOnly, error))
        return error ? qt_error_string(int(error)) : QStringLiteral("it cannot be opened");
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

void UsbLink::refreshDevices()
{
    m_controller.runDeviceChangePass();
}

QString UsbLink::accessError() const
{
    HidDevice *device = selectedDevice();
    if (!device || device->hasReadWriteAccess())
        return {};
    const std::uint32_t error = device->controlOpenError();
    return error ? qt_error_string(int(error)) : QStringLiteral("no read and write access");
}

bool UsbLink::isReading() const
{
    const HidDevice *device = selectedDevice();
    return device && device->dataHandler() && device->readThread();
}

HidDevice *UsbLink::stopAndSetUpSelected()
{
    // Every change of the link stops reading and sends the set-up report.
    HidDevice *device = selectedDevice();
    if (!device)
        return nullptr;
    if (device->hasReadWriteAccess())
        device->setDataHandler(nullptr);
    sendSetupReport(*device);
    return device;
}

UsbLink::Result UsbLink::connectCable()
{
    HidDevice *device = selectedDevice();
    if (!device)
        return Result::NoCable;
    // A cable another program reads is not touched: its set-up and its
    // reports are that program's.
    m_claim.reset();
    if (device->hasReadWriteAccess()) {
        m_claim = m_controller.backend()->claim(device->interfaceInfo().path, m_claimError);
        if (!m_claim)
            return Result::InUse;
    }
    stopAndSetUpSelected();
    if (!device->hasReadWriteAccess())
        return Result::NoAccess;
    m_connectedInstance = device->interfaceInfo().instanceKey;
    m_connectedPath = device->interfaceInfo().path;
    m_connectedName = selectedName();
    m_reportsSinceConnect = 0;
    m_resetTried = false;
    attachReportHandler(*device);
    m_silentTimer.start();
    return Result::Done;
}

UsbLink::Result UsbLink::disconnectCable()
{
    m_connectedInstance.clear();
    m_silentTimer.stop();
    HidDevice *device = stopAndSetUpSelected();
    m_claim.reset();
    if (!device)
        return Result::NoCable;
    return device->hasReadWriteAccess() ? Result::Done : Result::NoAccess;
}

void UsbLink::stopReading()
{
    m_connectedInstance.clear();
    m_silentTimer.stop();
    if (HidDevice *device = selectedDevice())
        device->setDataHandler(nullptr);
    m_claim.reset();
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

void UsbLink::attachReportHandler(HidDevice &device)
{
    device.setDataHandler(m_reportHandler);
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
    report[5] = 0x03;   // the character format: 8 data bits, no parity, 1 stop bit
    return report;
}

void UsbLink::sendSetupReport(HidDevice &device)
{
    const std::array<std::uint8_t, 10> report = cableSetupReport();
    const bool accepted = device.sendFeatureReport(report.data(), int(report.size()));
    emit setupReportSent(QByteArrayView(report.data(), qsizetype(report.size())), accepted);
}

void UsbLink::rebuildDeviceList()
{
    // Reading stops while the list is rebuilt; the link goes on with its
    // cable when the cable itself is still there, so plugging in a mouse
    // does not silently end the readings.
    if (HidDevice *device = selectedDevice(); device && device->hasReadWriteAccess())
        device->setDataHandler(nullptr);
    const QString keepReading = m_connectedInstance;

    m_devices.clear();
    m_deviceNames.clear();
    m_selectedRow = -1;
    m_controller.listDevices();

    // Of several cables the last one is taken.
    for (int row = 0; row < int(m_deviceNames.size()); ++row) {
        if (m_deviceNames.at(row) == QStringView(CableName))
            m_selectedRow = row;
    }
    if (!keepReading.isEmpty()) {
        int row = -1;
        for (int i = 0; i < int(m_devices.size()); ++i) {
            if (m_devices[std::size_t(i)] && m_devices[std::size_t(i)]->interfaceInfo().instanceKey == keepReading)
                row = i;
        }
        if (row >= 0) {
            m_selectedRow = row;
            attachReportHandler(*m_devices[std::size_t(row)]);
        } else {
            m_connectedInstance.clear();
            m_silentTimer.stop();
            m_claim.reset();
            emit deviceListChanged();
            emit cableLost(m_connectedPath, m_connectedName);
            return;
        }
    }
    emit deviceListChanged();
}

void UsbLink::onReport(std::uint8_t reportId, const std::uint8_t *data, std::uint16_t size)
{
    ++m_reportsSinceConnect;
    emit reportReceived(reportId, QByteArrayView(data, size));
}

void UsbLink::checkSilentCable()
{
    HidDevice *device = selectedDevice();
    if (m_connectedInstance.isEmpty() || m_reportsSinceConnect > 0 || !device || !device->dataHandler())
        return;
    // Some cables send nothing at all until they have been reset once after
    // being plugged in; a reset keeps the hidraw node, but the cable forgets
    // its set-up.
    if (!m_resetTried) {
        m_resetTried = true;
        QString detail;
        if (device->resetUsbDevice(detail) == HidBackend::ResetResult::Done) {
            emit cableReset(deviceName(*device));
            sendSetupReport(*device);
            m_silentTimer.start();
            return;
        }
    }
    emit cableSilent();
}

QString UsbLink::deviceName(HidDevice &device)
{
    QString text = device.productString();
    if (text.isEmpty())
        text = QStringLiteral("Device VID=%1 PID=%2").arg(hex4(device.vendorId()), hex4(device.productId()));
    const QString serial = device.serialNumber();
    if (!serial.isEmpty())
        text += QStringLiteral(" (Serial=%1)").arg(serial);
    return text;
}
