// The HID services on Windows: SetupAPI lists the HID interfaces, the HID
// class driver (HidD_*, HidP_*) gives their identity, strings, report
// lengths and feature reports, ReadFile on an overlapped handle reads their
// input reports (HidOverlappedReader, hidhandle_win.cpp), and a hidden
// message window registered for HID interface notices reports plug-in and
// removal. A cable pulled while it is read fails the pending read
// (ERROR_DEVICE_NOT_CONNECTED), which ends the read thread as on Linux.
//
// Each Win32 call sits in a small function of its own below; the classes
// only combine their answers.
//
// Device-change notices: RegisterDeviceNotification on a message-only window
// rather than polling the interface list. It reports each arrival and
// removal of a HID interface at once on Windows and under Wine alike, costs
// nothing between changes, and comes on the thread that made the window,
// which Qt's event loop serves; a listing every second would cost a SetupAPI
// pass (milliseconds, and more with many devices) for ever and still miss a
// cable pulled and plugged in again between two passes.

#include "transport/hidbackend.h"
#include "transport/hidhandle_win.h"
#include "transport/hidinstancekeys_win.h"
#include "transport/hidserialnumber.h"
#include "transport/processclaim_win.h"

// windows.h first: the headers below build on its types.
#include <windows.h>

#include <dbt.h>
#include <setupapi.h>
// mingw's HID headers declare C functions without saying so.
// hidsdi.h first: hidpi.h builds on its types.
// clang-format off
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

#include <algorithm>
#include <optional>
#include <vector>

namespace {

// --- the system calls ---

GUID hidInterfaceClass()
{
    GUID guid;
    HidD_GetHidGuid(&guid);
    return guid;
}

// The device paths of the present HID interfaces, in the system's order.
std::vector<QString> presentHidInterfacePaths()
{
    std::vector<QString> paths;
    const GUID hid = hidInterfaceClass();
    HDEVINFO set = SetupDiGetClassDevsW(&hid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return paths;
    SP_DEVICE_INTERFACE_DATA item{};
    item.cbSize = sizeof item;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &hid, index, &item); ++index) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &item, nullptr, 0, &size, nullptr);
        if (size == 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            continue;
        std::vector<std::uint8_t> buffer(size, 0);
        auto *detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W *>(buffer.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
        if (!SetupDiGetDeviceInterfaceDetailW(set, &item, detail, size, nullptr, nullptr))
            continue;
        paths.push_back(QString::fromWCharArray(detail->DevicePath));
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

HANDLE openHidInterface(const QString &path, HidAccess access)
{
    const std::wstring name = path.toStdWString();
    DWORD rights = 0;
    DWORD flags = 0;
    switch (access) {
    case HidAccess::ReadWrite:
        rights = GENERIC_READ | GENERIC_WRITE;
        break;
    case HidAccess::QueryOnly:
        rights = 0;
        break; // attributes and strings need no rights
    case HidAccess::Read:
        rights = GENERIC_READ;
        flags = FILE_FLAG_OVERLAPPED;
        break;
    }
    return CreateFileW(name.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                       nullptr);
}

// What the report descriptor declares; zeros when the driver cannot say.
void readCapabilities(HANDLE device, HIDP_CAPS &caps)
{
    caps = HIDP_CAPS{};
    PHIDP_PREPARSED_DATA parsed = nullptr;
    if (!HidD_GetPreparsedData(device, &parsed))
        return;
    if (HidP_GetCaps(parsed, &caps) != HIDP_STATUS_SUCCESS)
        caps = HIDP_CAPS{};
    HidD_FreePreparsedData(parsed);
}

// The longest string the backend reads, in UTF-16 units: a USB string
// descriptor holds at most 126; HidD's calls take a byte count.
constexpr int StringUnits = 254;
constexpr ULONG StringBytes = StringUnits * sizeof(char16_t);

bool readAttributes(HANDLE device, HidAttributes &attributes)
{
    HIDD_ATTRIBUTES found{};
    found.Size = sizeof found;
    if (!HidD_GetAttributes(device, &found))
        return false;
    attributes.vendorId = found.VendorID;
    attributes.productId = found.ProductID;
    return true;
}

// Empty when the device has no product string.
QString readProductString(HANDLE device)
{
    char16_t text[StringUnits] = {};
    if (!HidD_GetProductString(device, text, StringBytes))
        return {};
    return QString::fromUtf16(text, std::find(text, text + StringUnits, char16_t(0)) - text);
}

// Empty when the device has no serial number. The class driver answers for a
// device without one with its string at index 0 on some systems;
// serialNumberBesideIndex0 tells the two apart, from the index-0 string read
// into a buffer that shows which units the device wrote.
QString readSerialNumber(HANDLE device)
{
    char16_t serial[StringUnits] = {};
    if (!HidD_GetSerialNumberString(device, serial, StringBytes))
        return {};
    char16_t index0[StringUnits];
    std::fill(std::begin(index0), std::end(index0), char16_t(0xFFFF));
    HidD_GetIndexedString(device, 0, index0, StringBytes);
    return serialNumberBesideIndex0(serial, index0, StringUnits);
}

bool setFeature(HANDLE device, QByteArray &buffer)
{
    return HidD_SetFeature(device, buffer.data(), ULONG(buffer.size()));
}

// --- an open interface ---

class WindowsHidHandle final : public HidHandle
{
public:
    WindowsHidHandle(HANDLE device, HidAccess access)
        : m_device(device)
    {
        if (access == HidAccess::Read)
            m_reader = std::make_unique<HidOverlappedReader>(m_device, caps().InputReportByteLength);
    }
    ~WindowsHidHandle() override
    {
        m_reader.reset(); // before the handle its request runs on
        CloseHandle(m_device);
    }

    bool attributes(HidAttributes &attributes) override { return readAttributes(m_device, attributes); }
    QString productString() override { return readProductString(m_device); }
    QString serialNumber() override { return readSerialNumber(m_device); }
    int inputReportLength() override { return caps().InputReportByteLength; }
    bool sendFeatureReport(QByteArrayView report) override
    {
        if (report.isEmpty())
            return false;
        QByteArray buffer = featureReportBuffer(report, caps().FeatureReportByteLength);
        return setFeature(m_device, buffer);
    }

    HidRead read(std::uint8_t *buffer, int capacity, int timeoutMs) override
    {
        if (!m_reader)
            return {HidRead::Status::Failed, 0, hidFailureFor(ERROR_INVALID_HANDLE)};
        return m_reader->read(buffer, capacity, timeoutMs);
    }

private:
    // Read when first asked for: every device change opens each interface
    // for its identity alone.
    const HIDP_CAPS &caps()
    {
        if (!m_caps) {
            m_caps.emplace();
            readCapabilities(m_device, *m_caps);
        }
        return *m_caps;
    }

    const HANDLE m_device;
    std::optional<HIDP_CAPS> m_caps;
    std::unique_ptr<HidOverlappedReader> m_reader;
};

// --- device-change notices ---

// A message-only window registered for HID interface notices; it lives on
// the thread that watches, whose event loop dispatches its messages.
class DeviceNoticeWindow
{
public:
    using Notice = std::function<void(UINT_PTR event, const QString &path)>;

    explicit DeviceNoticeWindow(Notice notice)
        : m_notice(std::move(notice))
    {
        const HINSTANCE instance = GetModuleHandleW(nullptr);
        static const wchar_t ClassName[] = L"qm320DeviceNotices";
        WNDCLASSEXW windowClass{};
        windowClass.cbSize = sizeof windowClass;
        windowClass.lpfnWndProc = &DeviceNoticeWindow::windowProcedure;
        windowClass.hInstance = instance;
        windowClass.lpszClassName = ClassName;
        RegisterClassExW(&windowClass); // fails harmlessly when registered before
        m_window = CreateWindowExW(0, ClassName, L"qm320 device notices", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   instance, nullptr);
        if (!m_window)
            return;
        SetWindowLongPtrW(m_window, GWLP_USERDATA, LONG_PTR(this));
        DEV_BROADCAST_DEVICEINTERFACE_W filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = hidInterfaceClass();
        m_registration = RegisterDeviceNotificationW(m_window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    ~DeviceNoticeWindow()
    {
        if (m_registration)
            UnregisterDeviceNotification(m_registration);
        if (m_window)
            DestroyWindow(m_window);
    }
    DeviceNoticeWindow(const DeviceNoticeWindow &) = delete;
    DeviceNoticeWindow &operator=(const DeviceNoticeWindow &) = delete;

    bool isWatching() const { return m_registration != nullptr; }

private:
    static LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto *self = reinterpret_cast<DeviceNoticeWindow *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self && message == WM_DEVICECHANGE) {
            QString path;
            const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
            if (header && header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE)
                path = QString::fromWCharArray(
                    reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(lParam)->dbcc_name);
            const Notice notice = self->m_notice;
            notice(wParam, path);
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    Notice m_notice;
    HWND m_window = nullptr;
    HDEVNOTIFY m_registration = nullptr;
};

// --- the backend ---

class WindowsHidBackend final : public HidBackend
{
public:
    bool isAvailable() const override { return true; }

    std::vector<HidInterfaceInfo> listInterfaces() override
    {
        const std::vector<QString> paths = presentHidInterfacePaths();
        const std::vector<QString> keys = m_keys.keysFor(paths);
        std::vector<HidInterfaceInfo> list;
        list.reserve(paths.size());
        for (std::size_t i = 0; i < paths.size(); ++i)
            list.push_back({keys[i], paths[i]});
        return list;
    }

    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access, HidFailure &why) override
    {
        const HANDLE device = openHidInterface(path, access);
        if (device == INVALID_HANDLE_VALUE) {
            why = hidFailureFor(GetLastError());
            return nullptr;
        }
        return std::make_unique<WindowsHidHandle>(device, access);
    }

    void watchDeviceChanges(std::function<void()> changed) override
    {
        m_changed = std::move(changed);
        if (!m_changed) {
            m_window.reset();
            return;
        }
        if (!m_window)
            m_window = std::make_unique<DeviceNoticeWindow>(
                [this](UINT_PTR event, const QString &path) { deviceChanged(event, path); });
    }

    std::unique_ptr<HidClaim> claim(const QString &path, HidFailure &why) override
    {
        // Every program may open a HID interface for reading; the claim
        // keeps other copies of this one away.
        struct Claim final : HidClaim
        {
            std::unique_ptr<ProcessClaim> claim;
        };
        std::unique_ptr<ProcessClaim> claim = ProcessClaim::take(path, why.reason);
        if (!claim) {
            why.error = HidError::InUse;
            return nullptr;
        }
        auto held = std::make_unique<Claim>();
        held->claim = std::move(claim);
        return held;
    }

    bool resetUsbDevice(const QString &path, HidFailure &why) override
    {
        // Windows resets a USB device only by restarting its driver, which
        // needs an administrator; the HID driver sets a cable up at every
        // plug-in anyway.
        why = {HidError::PermissionDenied,
               QStringLiteral("%1: Windows lets only administrators restart a device").arg(path)};
        return false;
    }

private:
    void deviceChanged(UINT_PTR event, const QString &path)
    {
        if (event == DBT_DEVICEREMOVECOMPLETE && !path.isEmpty())
            m_keys.removed(path);
        // An interface that came or went is what the controller's pass
        // looks for; the devnodes notice a top-level window gets says the same.
        if (event != DBT_DEVICEARRIVAL && event != DBT_DEVICEREMOVECOMPLETE && event != DBT_DEVNODES_CHANGED)
            return;
        const std::function<void()> changed = m_changed;
        if (changed)
            changed();
    }

    HidInstanceKeys m_keys;
    std::function<void()> m_changed;
    std::unique_ptr<DeviceNoticeWindow> m_window;
};

} // namespace

std::unique_ptr<HidBackend> createHidBackend()
{
    return std::make_unique<WindowsHidBackend>();
}
