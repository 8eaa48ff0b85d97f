#include "transport/usbconnection.h"

#include "meter/frameassembler.h"
#include "meter/historylist.h"
#include "transport/tjvhiddevicecontroller.h"

namespace {

const char16_t NotConnectedText[] = u"USB interface cable is not securely connected, please check and re-try.";
const char16_t IdleText[] = u"USB interface cable is securely connected, please check if the meter is ready.";
const char16_t SilentText[] =
    u"USB interface cable sends no data. Please unplug it, plug it in again and re-try.";

QString twoHexDigits(std::uint8_t b)
{
    return QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper();
}

QString hex4(std::uint16_t v)
{
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace

UsbConnection::UsbConnection(TJvHidDeviceController &hidCtl, FrameAssembler &assembler, HistoryList &history,
                             UsbConnectionView &view, QObject *parent)
    : QObject(parent)
    , m_hidCtl(&hidCtl)
    , m_assembler(assembler)
    , m_history(history)
    , m_view(view)
{
    m_reportQM330 = [this](TJvHidDevice *, std::uint8_t id, const std::uint8_t *data, std::uint16_t size) {
        onReport(id, data, size, &FrameAssembler::HidReportQM330);
    };
    m_reportQM610 = [this](TJvHidDevice *, std::uint8_t id, const std::uint8_t *data, std::uint16_t size) {
        onReport(id, data, size, &FrameAssembler::HidReportQM610);
    };
    m_reportQM520 = [this](TJvHidDevice *, std::uint8_t id, const std::uint8_t *data, std::uint16_t size) {
        onReport(id, data, size, &FrameAssembler::HidReportQM520);
    };
    m_silentTimer.setSingleShot(true);
    m_silentTimer.setInterval(SilentCableMs);
    connect(&m_silentTimer, &QTimer::timeout, this, &UsbConnection::checkSilentCable);
}

UsbConnection::~UsbConnection()
{
    m_silentTimer.stop();
    // Returning a device stops its read thread, whose handlers point here.
    for (std::unique_ptr<TJvHidDevice> &device : m_devices)
        device.reset();
    m_devices.clear();
    if (!m_hidCtl)
        return;
    m_hidCtl->SetOnArrival(nullptr);
    m_hidCtl->SetOnRemoval(nullptr);
    m_hidCtl->SetOnEnumerate(nullptr);
    m_hidCtl->SetOnDeviceDataError(nullptr);
    m_hidCtl->SetOnDeviceChange(nullptr);
}

void UsbConnection::bindControllerEvents()
{
    m_hidCtl->SetOnArrival(TJvHidPlugEvent(this, &UsbConnection::HidCtlArrival));
    m_hidCtl->SetOnEnumerate(TJvHidEnumerateEvent(this, &UsbConnection::HidCtlEnumerate));
    m_hidCtl->SetOnDeviceChange(TNotifyEvent(this, &UsbConnection::HidCtlDeviceChange));
    m_hidCtl->SetOnDeviceDataError(TJvHidDataErrorEvent(this, &UsbConnection::HidCtlDeviceDataError));
    m_hidCtl->SetOnRemoval(TJvHidPlugEvent(this, &UsbConnection::HidCtlRemoval));
}

TJvHidDevice *UsbConnection::selectedItemDevice() const
{
    if (m_selectedRow < 0 || m_selectedRow >= int(m_devices.size()))
        return nullptr;
    return m_devices[std::size_t(m_selectedRow)].get();
}

void UsbConnection::selectRow(int row)
{
    if (row < -1 || row >= deviceCount() || row == m_selectedRow)
        return;
    m_selectedRow = row;
    emit selectedRowChanged(row);
}

void UsbConnection::putUsbConUp()
{
    m_view.setUsbConDown(false);
    m_usbConDown = false;
    m_silentTimer.stop();
    m_connectedInstance.clear();
}

void UsbConnection::showIdleControls()
{
    m_view.setComControlsVisible(true);
    m_view.setUsbConCaption(QStringLiteral("USB Connection"));
    m_usbControlsShown = false;
}

void UsbConnection::USBConClick(bool down)
{
    m_usbConDown = down;
    ReadBtnClick(m_readBtnDown);
    SetFeatureClick();
    m_assembler.EmptyReportCount = 0;
    m_selectedHidDevice = nullptr;
    TJvHidDevice *device = selectedItemDevice();
    if (!device)
        return;   // SetFeature has told the user and put USBCon up
    m_selectedHidDevice = device;
    if (!device->ReadWriteAccess()) {
        putUsbConUp();
        if (m_usbControlsShown)
            showIdleControls();
        // Releasing the button without a word left the user guessing; the
        // cause is nearly always the device node's permissions.
        if (down)
            m_view.showError(permissionText(*device));
        return;
    }
    if (m_usbConDown) {
        m_view.setComControlsVisible(false);
        m_view.setUsbConCaption(QStringLiteral("USB Disconnect"));
        m_usbControlsShown = true;
        m_connectedInstance = device->PnpInfo().DeviceInstance;
        m_reportsSinceConnect = 0;
        m_resetTried = false;
        attachReportHandler(*device);
        if (device->DataHandler())
            m_silentTimer.start();
    } else {
        showIdleControls();
        device->SetDataHandler(nullptr);
        m_connectedInstance.clear();
        m_silentTimer.stop();
    }
}

void UsbConnection::attachReportHandler(TJvHidDevice &device)
{
    // The later check box wins; with none checked the device keeps what it has.
    TJvHidDataEvent handler;
    if (m_choice.IFQM520)
        handler = m_reportQM520;
    if (m_choice.IFQM610)
        handler = m_reportQM610;
    if (m_choice.IFQM330)
        handler = m_reportQM330;
    if (handler)
        device.SetDataHandler(handler);
}

void UsbConnection::SetFeatureClick()
{
    m_selectedHidDevice = nullptr;
    TJvHidDevice *device = selectedItemDevice();
    if (!device) {
        m_view.showInformation(QString::fromUtf16(NotConnectedText));
        putUsbConUp();
        // With the cable gone while the link was shown, the COM controls
        // stayed hidden and the program could not be switched back.
        if (m_usbControlsShown)
            showIdleControls();
        return;
    }
    m_selectedHidDevice = device;
    sendBridgeSetup(*device);
}

std::array<std::uint8_t, 10> UsbConnection::BridgeSetupReport(const UsbModelChoice &choice)
{
    bool fast = choice.IFQM880;
    if (choice.IFQM610 || choice.IFQM520 || choice.IFQM330)
        fast = false;
    const std::uint32_t speed = fast ? 19200 : 2400;
    // Byte 0 is the report ID: 0, as the bridge numbers no reports.
    std::array<std::uint8_t, 10> report{};
    report[1] = std::uint8_t(speed);
    report[2] = std::uint8_t(speed >> 8);
    report[3] = std::uint8_t(speed >> 16);
    report[4] = std::uint8_t(speed >> 24);
    report[5] = 0x03;   // the character format: 8 data bits, no parity, 1 stop bit
    return report;
}

void UsbConnection::sendBridgeSetup(TJvHidDevice &device)
{
    const std::array<std::uint8_t, 10> report = BridgeSetupReport(m_choice);
    // A bridge that refuses it is noticed by the data that does not come.
    device.SendFeatureReport(report.data(), int(report.size()));
    QString line;
    for (std::size_t i = 1; i < report.size(); ++i)
        line += twoHexDigits(report[i]) + QLatin1Char(' ');
    m_history.addLine(line);
}

void UsbConnection::ReadBtnClick(bool down)
{
    m_readBtnDown = down;
    m_selectedHidDevice = nullptr;
    TJvHidDevice *device = selectedItemDevice();
    if (!device)
        return;
    m_selectedHidDevice = device;
    if (!device->ReadWriteAccess()) {
        m_view.setReadBtnUp();
        m_readBtnDown = false;
        return;
    }
    device->SetDataHandler(down ? m_reportQM610 : TJvHidDataEvent());
}

void UsbConnection::ClearBtnClick()
{
    m_history.clear();
}

QString UsbConnection::InfoBtnClick()
{
    TJvHidDevice *device = selectedItemDevice();
    if (!device)
        return {};
    const QString serial = device->SerialText();
    const QString access = device->ReadWriteAccess()
                               ? QStringLiteral("read and write")
                               : QStringLiteral("none for this user (%1)").arg(qt_error_string(int(device->ControlOpenError())));
    const QString text =
        QStringLiteral("%1\n\nVendor ID: %2\nProduct ID: %3\nProduct: %4\nSerial number: %5\n"
                       "Input report length: %6 bytes\nDevice: %7\nAccess: %8")
            .arg(HidDeviceName(*device),
                 hex4(device->VendorID()), hex4(device->ProductID()),
                 device->ProductText(), serial.isEmpty() ? QStringLiteral("none") : serial,
                 QString::number(device->Capabilities().InputReportByteLength), device->PnpInfo().DevicePath,
                 access);
    m_view.showInformation(text);
    return text;
}

bool UsbConnection::ConTimerIdleTest()
{
    if (m_assembler.EmptyReportCount < IdleReportCount)
        return false;
    m_assembler.EmptyReportCount = 0;
    // USBCon only: the caption and the hidden COM controls stay, so the next
    // press connects again.
    putUsbConUp();
    if (m_selectedHidDevice)
        m_selectedHidDevice->SetDataHandler(nullptr);
    m_view.showInformation(QString::fromUtf16(IdleText));
    return true;
}

void UsbConnection::HidCtlDeviceChange(TJvHidDeviceController *)
{
    m_view.setReadBtnUp();
    m_readBtnDown = false;
    ReadBtnClick(false);

    // Any device change used to rebuild the list with fresh devices that have
    // no handler, so plugging in a mouse silently stopped the readings while
    // the button still said "USB Disconnect". The link now stays with its
    // cable when the cable itself is still there.
    const QString keepReading = m_usbConDown ? m_connectedInstance : QString();

    for (std::unique_ptr<TJvHidDevice> &device : m_devices)
        device.reset();
    m_devices.clear();
    m_deviceTexts.clear();
    m_selectedRow = -1;
    m_selectedHidDevice = nullptr;

    m_hidCtl->ListDevices();

    for (int row = 0; row < deviceCount(); ++row) {
        if (m_deviceTexts.at(row) == QStringView(CableName))
            m_selectedRow = row;
    }
    if (!keepReading.isEmpty()) {
        int row = -1;
        for (int i = 0; i < deviceCount(); ++i) {
            if (m_devices[std::size_t(i)] && m_devices[std::size_t(i)]->PnpInfo().DeviceInstance == keepReading)
                row = i;
        }
        if (row >= 0) {
            m_selectedRow = row;
            m_selectedHidDevice = device(row);
            attachReportHandler(*m_selectedHidDevice);
        } else {
            m_connectedInstance.clear();
            m_silentTimer.stop();
        }
    }
    emit deviceListChanged();
    emit selectedRowChanged(m_selectedRow);
}

bool UsbConnection::HidCtlEnumerate(TJvHidDevice *hidDev, int idx)
{
    m_deviceTexts.append(HidDeviceName(*hidDev));
    m_devices.push_back(m_hidCtl->ClaimDeviceAt(idx));
    return true;
}

void UsbConnection::HidCtlArrival(TJvHidDevice *hidDev)
{
    m_history.addLine(QStringLiteral("Arrival of ") + HidDeviceName(*hidDev));
}

void UsbConnection::HidCtlRemoval(TJvHidDevice *hidDev)
{
    m_history.addLine(QStringLiteral("Removal of ") + HidDeviceName(*hidDev));
}

void UsbConnection::HidCtlDeviceDataError(TJvHidDevice *, std::uint32_t error)
{
    m_history.addLine(QStringLiteral("READ ERROR: %1 (%2)")
                          .arg(qt_error_string(int(error)), QString::number(error, 16).toUpper()));
}

void UsbConnection::onReport(std::uint8_t reportId, const std::uint8_t *data, std::uint16_t size,
                             void (FrameAssembler::*handler)(std::uint8_t, const std::uint8_t *, int))
{
    ++m_reportsSinceConnect;
    (m_assembler.*handler)(reportId, data, size);
}

void UsbConnection::checkSilentCable()
{
    TJvHidDevice *device = m_selectedHidDevice;
    if (!m_usbConDown || m_reportsSinceConnect > 0 || !device || !device->DataHandler())
        return;
    // Some cables send nothing at all until they have been reset once after
    // being plugged in; a reset keeps the hidraw node, but the bridge forgets
    // its setup.
    if (!m_resetTried) {
        m_resetTried = true;
        QString detail;
        if (device->ResetUsbDevice(detail) == HidBackend::ResetResult::Done) {
            m_history.addLine(QStringLiteral("Reset of ") + HidDeviceName(*device));
            sendBridgeSetup(*device);
            m_silentTimer.start();
            return;
        }
    }
    m_view.showInformation(QString::fromUtf16(SilentText));
}

QString UsbConnection::HidDeviceName(TJvHidDevice &device)
{
    QString text = device.ProductText();
    if (text.isEmpty())
        text = QStringLiteral("Device VID=%1 PID=%2").arg(hex4(device.VendorID()), hex4(device.ProductID()));
    const QString serial = device.SerialText();
    if (!serial.isEmpty())
        text += QStringLiteral(" (Serial=%1)").arg(serial);
    return text;
}

QString UsbConnection::permissionText(TJvHidDevice &device) const
{
    const std::uint32_t error = device.ControlOpenError();
    const QString reason = error ? qt_error_string(int(error)) : QStringLiteral("no read and write access");
    return QStringLiteral("USB interface cable found (%1), but this user may not read it: %2.\n\n"
                          "Install the udev rule 70-qm320.rules (see README), then unplug the cable "
                          "and plug it in again.")
        .arg(device.PnpInfo().DevicePath, reason);
}
