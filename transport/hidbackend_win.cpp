// The HID services on Windows: SetupAPI lists the HID interfaces, the HID
// class driver (HidD_*, HidP_*) gives their identity, strings, report
// lengths and feature reports, ReadFile on an overlapped handle reads their
// input reports, and a hidden message window registered for HID interface
// notices reports plug-in and removal.
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
#include "transport/hidinstancekeys_win.h"
#include "transport/processclaim_win.h"

#include <windows.h>
#include <dbt.h>
#include <setupapi.h>
// mingw's HID headers declare C functions without saying so.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include <algorithm>
#include <atomic>
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
    case HidAccess::ReadWrite: rights = GENERIC_READ | GENERIC_WRITE; break;
    case HidAccess::QueryOnly: rights = 0; break;   // attributes and strings need no rights
    case HidAccess::Read:
        rights = GENERIC_READ;
        flags = FILE_FLAG_OVERLAPPED;
        break;
    }
    return CreateFileW(name.c_str(), rights, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, flags,
                       nullptr);
}

bool readCapabilities(HANDLE device, HidCaps &caps)
{
    PHIDP_PREPARSED_DATA parsed = nullptr;
    if (!HidD_GetPreparsedData(device, &parsed))
        return false;
    HIDP_CAPS found{};
    const bool ok = HidP_GetCaps(parsed, &found) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(parsed);
    if (!ok)
        return false;
    caps.usage = found.Usage;
    caps.usagePage = found.UsagePage;
    caps.inputReportLength = found.InputReportByteLength;
    caps.outputReportLength = found.OutputReportByteLength;
    caps.featureReportLength = found.FeatureReportByteLength;
    return true;
}

// HidD's string calls take a byte count and write UTF-16, as char16_t is.
ULONG bytesFor(int units)
{
    return ULONG(std::max(units, 0)) * sizeof(wchar_t);
}

// --- an open interface ---

class WindowsHidHandle final : public HidHandle
{
public:
    WindowsHidHandle(HANDLE device, bool overlapped)
        : m_device(device)
    {
        if (overlapped) {
            m_readDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
            m_cancel = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        }
    }
    ~WindowsHidHandle() override
    {
        CloseHandle(m_device);
        if (m_readDone)
            CloseHandle(m_readDone);
        if (m_cancel)
            CloseHandle(m_cancel);
    }

    bool attributes(HidAttributes &attributes) override
    {
        HIDD_ATTRIBUTES found{};
        found.Size = sizeof found;
        if (!HidD_GetAttributes(m_device, &found))
            return false;
        attributes.vendorId = found.VendorID;
        attributes.productId = found.ProductID;
        attributes.versionNumber = found.VersionNumber;
        return true;
    }
    bool productString(char16_t *buffer, int units) override
    {
        return HidD_GetProductString(m_device, buffer, bytesFor(units));
    }
    bool serialNumberString(char16_t *buffer, int units) override
    {
        return HidD_GetSerialNumberString(m_device, buffer, bytesFor(units));
    }
    bool indexedString(int index, char16_t *buffer, int units) override
    {
        return HidD_GetIndexedString(m_device, ULONG(index), buffer, bytesFor(units));
    }
    bool capabilities(HidCaps &caps) override { return readCapabilities(m_device, caps); }
    bool setFeature(const std::uint8_t *data, int size) override
    {
        return HidD_SetFeature(m_device, const_cast<std::uint8_t *>(data), ULONG(size));
    }

    // One overlapped read, waited for together with the cancel event. A
    // read that times out is cancelled, and a report that completed it in
    // the meantime is still handed back.
    HidReadResult read(std::uint8_t *buffer, int length, int timeoutMs) override
    {
        using Status = HidReadResult::Status;
        if (!m_readDone || !m_cancel)
            return {Status::Failed, 0, ERROR_INVALID_HANDLE};
        if (m_cancelled)
            return {Status::Cancelled, 0, 0};
        OVERLAPPED request{};
        request.hEvent = m_readDone;
        ResetEvent(m_readDone);
        DWORD bytes = 0;
        if (!ReadFile(m_device, buffer, DWORD(length), &bytes, &request)) {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING)
                return {Status::Failed, 0, error};
            const HANDLE events[] = {m_readDone, m_cancel};
            const DWORD woken = WaitForMultipleObjects(2, events, FALSE, DWORD(std::max(timeoutMs, 0)));
            if (woken != WAIT_OBJECT_0)
                CancelIoEx(m_device, &request);
            // Waits for the cancel to land too: the request and the buffer
            // must outlive the read.
            if (!GetOverlappedResult(m_device, &request, &bytes, TRUE)) {
                const DWORD readError = GetLastError();
                if (readError != ERROR_OPERATION_ABORTED)
                    return {Status::Failed, 0, readError};
                return {m_cancelled ? Status::Cancelled : Status::Timeout, 0, 0};
            }
        }
        return {Status::Data, int(bytes), 0};
    }
    void cancelRead() override
    {
        m_cancelled = true;
        if (m_cancel)
            SetEvent(m_cancel);
    }

private:
    HANDLE m_device;
    HANDLE m_readDone = nullptr;
    HANDLE m_cancel = nullptr;
    std::atomic<bool> m_cancelled{false};
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
        RegisterClassExW(&windowClass);   // fails harmlessly when registered before
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
                path = QString::fromWCharArray(reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(lParam)->dbcc_name);
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

    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access, std::uint32_t &error) override
    {
        const HANDLE device = openHidInterface(path, access);
        if (device == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            return nullptr;
        }
        return std::make_unique<WindowsHidHandle>(device, access == HidAccess::Read);
    }

    void watchDeviceChanges(std::function<void(int)> notice) override
    {
        m_notice = std::move(notice);
        if (!m_notice) {
            m_window.reset();
            return;
        }
        if (!m_window)
            m_window = std::make_unique<DeviceNoticeWindow>([this](UINT_PTR event, const QString &path) {
                deviceChanged(event, path);
            });
    }

    std::unique_ptr<HidClaim> claim(const QString &path, QString &why) override
    {
        // Every program may open a HID interface for reading; the claim
        // keeps other copies of this one away.
        struct Claim final : HidClaim
        {
            std::unique_ptr<ProcessClaim> claim;
        };
        std::unique_ptr<ProcessClaim> claim = ProcessClaim::take(path, why);
        if (!claim)
            return nullptr;
        auto held = std::make_unique<Claim>();
        held->claim = std::move(claim);
        return held;
    }

    ResetResult resetUsbDevice(const QString &path, QString &detail) override
    {
        // Windows resets a USB device only by restarting its driver, which
        // needs an administrator; the HID driver sets a cable up at every
        // plug-in anyway.
        detail = QStringLiteral("%1: Windows lets only administrators restart a device").arg(path);
        return ResetResult::NotPermitted;
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
        const std::function<void(int)> notice = m_notice;
        if (notice)
            notice(DeviceNodesChanged);
    }

    HidInstanceKeys m_keys;
    std::function<void(int)> m_notice;
    std::unique_ptr<DeviceNoticeWindow> m_window;
};

} // namespace

std::unique_ptr<HidBackend> createHidBackend()
{
    return std::make_unique<WindowsHidBackend>();
}

std::uint32_t hidDeviceGoneError()
{
    return ERROR_DEVICE_NOT_CONNECTED;
}
