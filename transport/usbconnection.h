#pragma once

#include "transport/tjvhiddevice.h"
#include "transport/tjvhiddevicecontroller.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class FrameAssembler;
class HistoryList;

// What the USB link needs of the window. Each call changes a control without
// running the control's own click action.
class UsbConnectionView
{
public:
    virtual ~UsbConnectionView() = default;
    // Puts the toggle USBCon down or up.
    virtual void setUsbConDown(bool down) = 0;
    virtual void setUsbConCaption(const QString &caption) = 0;
    // true: shows COMCon and the port panel of COMM2's current port
    // (BtCOM1..BtCOM4); false: hides COMCon and all four port panels.
    virtual void setComControlsVisible(bool visible) = 0;
    // Puts the toggle ReadBtn up.
    virtual void setReadBtnUp() = 0;
    // A message box titled "Information", resp. "Error", with an OK button.
    virtual void showInformation(const QString &text) = 0;
    virtual void showError(const QString &text) = 0;
};

// The model check boxes that choose the cable's report handler and speed.
struct UsbModelChoice
{
    bool IFQM330 = true;
    bool IFQM610 = false;
    bool IFQM520 = false;
    bool IFQM880 = false;
};

// The USB side of the window's connection controls: the device list
// (DevListBox) with the devices it claims from the controller, the history
// lines it adds, the bridge set-up report, the connect and disconnect of the
// cable and its idle time-out. The window forwards its clicks here and shows
// what the view calls and the lists hold.
class UsbConnection : public QObject
{
    Q_OBJECT
public:
    // The cable's product string; a device is taken for the cable when its
    // whole display text is this.
    static constexpr char16_t CableName[] = u"USB to Serial";
    // Empty reports in a row that make the idle time-out.
    static constexpr int IdleReportCount = 1900;
    // How long a freshly connected cable may stay without any report.
    static constexpr int SilentCableMs = 3000;

    UsbConnection(TJvHidDeviceController &hidCtl, FrameAssembler &assembler, HistoryList &history,
                  UsbConnectionView &view, QObject *parent = nullptr);
    // Returns the claimed devices to the controller.
    ~UsbConnection() override;

    // Binds HidCtl's events (OnArrival, OnEnumerate, OnDeviceChange,
    // OnDeviceDataError, OnRemoval, in this order). Binding OnDeviceChange
    // runs the first pass, so afterwards the list is filled and the cable
    // selected; the view must be ready for calls.
    void bindControllerEvents();

    void setModelChoice(const UsbModelChoice &choice) { m_choice = choice; }
    const UsbModelChoice &modelChoice() const { return m_choice; }

    // Clicks, with the state the toggle has after the click.
    void USBConClick(bool down);
    void SetFeatureClick();
    void ReadBtnClick(bool down);
    void ClearBtnClick();
    // Shows the selected device's identity in an "Information" box and
    // returns the text; empty (and nothing shown) with no device selected.
    QString InfoBtnClick();
    // The connection timer's idle test, run when NoFrameTicks reaches 2;
    // true when it timed the link out.
    bool ConTimerIdleTest();

    // HidCtl's events.
    void HidCtlDeviceChange(TJvHidDeviceController *sender);
    bool HidCtlEnumerate(TJvHidDevice *hidDev, int idx);
    void HidCtlArrival(TJvHidDevice *hidDev);
    void HidCtlRemoval(TJvHidDevice *hidDev);
    void HidCtlDeviceDataError(TJvHidDevice *hidDev, std::uint32_t error);

    // A freshly connected cable that sent nothing is reset once and set up
    // again, if the system lets us; otherwise the user is told what to do.
    // Run by a timer SilentCableMs after connecting.
    void checkSilentCable();

    // The device's display text: its product string, or "Device VID=%.4x
    // PID=%.4x", followed by " (Serial=%s)" when it reports a serial number.
    static QString HidDeviceName(TJvHidDevice &device);
    // Report ID 0, the line speed (least significant byte first), the
    // character format and four zero bytes: 2400 bit/s, or 19200 bit/s when
    // only IFQM880 is checked.
    static std::array<std::uint8_t, 10> BridgeSetupReport(const UsbModelChoice &choice);

    // DevListBox.
    int deviceCount() const { return int(m_deviceTexts.size()); }
    QString deviceText(int row) const { return m_deviceTexts.at(row); }
    const QStringList &deviceTexts() const { return m_deviceTexts; }
    TJvHidDevice *device(int row) const { return m_devices.at(std::size_t(row)).get(); }
    int selectedRow() const { return m_selectedRow; }
    void selectRow(int row);
    TJvHidDevice *SelectedHidDevice() const { return m_selectedHidDevice; }

    bool usbConDown() const { return m_usbConDown; }
    bool readBtnDown() const { return m_readBtnDown; }
    // While connected: the instance key of the cable the link reads.
    QString connectedInstance() const { return m_connectedInstance; }

signals:
    // DevListBox was rebuilt.
    void deviceListChanged();
    void selectedRowChanged(int row);

private:
    TJvHidDevice *selectedItemDevice() const;
    void putUsbConUp();
    void showIdleControls();
    void attachReportHandler(TJvHidDevice &device);
    void sendBridgeSetup(TJvHidDevice &device);
    void onReport(std::uint8_t reportId, const std::uint8_t *data, std::uint16_t size,
                  void (FrameAssembler::*handler)(std::uint8_t, const std::uint8_t *, int));
    QString permissionText(TJvHidDevice &device) const;

    // Guarded: the window may destroy the controller first.
    QPointer<TJvHidDeviceController> m_hidCtl;
    FrameAssembler &m_assembler;
    HistoryList &m_history;
    UsbConnectionView &m_view;
    UsbModelChoice m_choice;

    QStringList m_deviceTexts;
    std::vector<std::unique_ptr<TJvHidDevice>> m_devices;
    int m_selectedRow = -1;
    TJvHidDevice *m_selectedHidDevice = nullptr;

    bool m_usbConDown = false;
    bool m_readBtnDown = false;
    // The controls show the USB link: caption "USB Disconnect", COM hidden.
    bool m_usbControlsShown = false;
    QString m_connectedInstance;

    // The report handlers, made once so that the device sees the same
    // handler again when it is set again.
    TJvHidDataEvent m_reportQM330;
    TJvHidDataEvent m_reportQM610;
    TJvHidDataEvent m_reportQM520;

    QTimer m_silentTimer;
    long long m_reportsSinceConnect = 0;
    bool m_resetTried = false;
};
