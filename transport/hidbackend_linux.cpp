// The HID services on Linux: hidapi on hidraw opens the interfaces, reads
// their input reports, sends feature reports and reads their strings; libudev
// lists the hidraw interfaces, names them, tells what a device is without
// opening it, and reports plug-in and removal.

#include "transport/hidbackend.h"
#include "transport/devicelock.h"
#include "transport/hidreportdescriptor.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <hidapi/hidapi.h>
#include <libudev.h>
#include <linux/usb/ch9.h>
#include <linux/usbdevice_fs.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <vector>

namespace {

// hidapi cannot wake a waiting read, so a read waits in slices this long and
// looks for a cancel between them.
constexpr int ReadSliceMs = 50;

struct UdevDeleter
{
    void operator()(udev *u) const { udev_unref(u); }
    void operator()(udev_device *d) const { udev_device_unref(d); }
    void operator()(udev_enumerate *e) const { udev_enumerate_unref(e); }
    void operator()(udev_monitor *m) const { udev_monitor_unref(m); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

QString fromUtf8(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// "hidraw3" for "/dev/hidraw3", also when the path is a link a udev rule made.
QByteArray hidrawName(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return QFile::encodeName(QFileInfo(canonical.isEmpty() ? path : canonical).fileName());
}

// Every user may read the report descriptor in sysfs, so even a device this
// user may not open has its report lengths.
bool readReportLayout(const QString &path, HidReportLayout &layout)
{
    QFile file(QStringLiteral("/sys/class/hidraw/%1/device/report_descriptor")
                   .arg(QString::fromLocal8Bit(hidrawName(path))));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // The kernel caps a descriptor at 4096 bytes.
    layout = parseHidReportDescriptor(file.read(4096));
    return true;
}

// What udev knows of an interface, read without opening it.
struct UdevIdentity
{
    bool found = false;
    HidAttributes attributes;
    QString product;
    QString serial;
    QByteArray usbDevnode;   // "/dev/bus/usb/001/004"; empty when not on USB
};

UdevIdentity readIdentity(const QString &path)
{
    UdevIdentity identity;
    // A context of its own: libudev objects must not be shared between threads.
    const UdevPtr<udev> context(udev_new());
    if (!context)
        return identity;
    const UdevPtr<udev_device> raw(
        udev_device_new_from_subsystem_sysname(context.get(), "hidraw", hidrawName(path).constData()));
    if (!raw)
        return identity;
    // Parents belong to their child and are not unreferenced.
    udev_device *hid = udev_device_get_parent_with_subsystem_devtype(raw.get(), "hid", nullptr);
    if (!hid)
        return identity;
    unsigned bus = 0, vendor = 0, product = 0;
    const char *hidId = udev_device_get_property_value(hid, "HID_ID");
    if (!hidId || std::sscanf(hidId, "%x:%x:%x", &bus, &vendor, &product) != 3)
        return identity;
    identity.found = true;
    identity.attributes.vendorId = std::uint16_t(vendor);
    identity.attributes.productId = std::uint16_t(product);
    udev_device *usb = udev_device_get_parent_with_subsystem_devtype(raw.get(), "usb", "usb_device");
    if (usb) {
        identity.product = fromUtf8(udev_device_get_sysattr_value(usb, "product"));
        identity.serial = fromUtf8(udev_device_get_sysattr_value(usb, "serial"));
        if (const char *bcd = udev_device_get_sysattr_value(usb, "bcdDevice"))
            identity.attributes.versionNumber = std::uint16_t(std::strtoul(bcd, nullptr, 16));
        identity.usbDevnode = udev_device_get_devnode(usb);
    } else {
        // Bluetooth and virtual devices: the kernel's name and unique id.
        identity.product = fromUtf8(udev_device_get_property_value(hid, "HID_NAME"));
        identity.serial = fromUtf8(udev_device_get_property_value(hid, "HID_UNIQ"));
    }
    return identity;
}

bool copyString(const QString &text, char16_t *buffer, int units)
{
    if (text.isEmpty())
        return false;   // as the HID class driver, which fails for a string the device lacks
    const int n = std::min(int(text.size()), units);
    std::copy_n(reinterpret_cast<const char16_t *>(text.utf16()), n, buffer);
    if (n < units)
        buffer[n] = 0;
    return true;
}

// The answer to the string query at index 0: the device's language IDs, from
// its string descriptor 0. Reading that descriptor needs write access to the
// USB device node, which a user normally lacks; then the answer is US
// English, the language the kernel reads a device's strings in when the
// device names none, and the one nearly every device lists. Either way a
// device that reports a serial number keeps it: the serial number would have
// to begin with the language ID as a character to be taken for none.
std::vector<char16_t> languageIds(const QByteArray &usbDevnode)
{
    if (!usbDevnode.isEmpty()) {
        int fd = ::open(usbDevnode.constData(), O_RDWR | O_CLOEXEC);
        if (fd < 0)
            fd = ::open(usbDevnode.constData(), O_RDONLY | O_CLOEXEC);
        if (fd >= 0) {
            unsigned char descriptor[255] = {};
            usbdevfs_ctrltransfer transfer{};
            transfer.bRequestType = USB_DIR_IN | USB_TYPE_STANDARD | USB_RECIP_DEVICE;
            transfer.bRequest = USB_REQ_GET_DESCRIPTOR;
            transfer.wValue = USB_DT_STRING << 8;
            transfer.wIndex = 0;
            transfer.wLength = sizeof descriptor;
            transfer.timeout = 500;
            transfer.data = descriptor;
            const int n = ::ioctl(fd, USBDEVFS_CONTROL, &transfer);
            ::close(fd);
            if (n >= 4 && descriptor[1] == USB_DT_STRING) {
                std::vector<char16_t> ids;
                const int length = std::min(n, int(descriptor[0]));
                for (int i = 2; i + 1 < length; i += 2)
                    ids.push_back(char16_t(descriptor[i] | (descriptor[i + 1] << 8)));
                if (!ids.empty())
                    return ids;
            }
        }
    }
    return {char16_t(0x0409)};
}

bool indexedStringOf(const QByteArray &usbDevnode, int index, char16_t *buffer, int units)
{
    // hidraw offers no other indexed string.
    if (index != 0)
        return false;
    const std::vector<char16_t> ids = languageIds(usbDevnode);
    std::copy_n(ids.begin(), std::min(int(ids.size()), units), buffer);
    return true;
}

// An interface opened through hidapi: read and write access.
class HidapiHandle final : public HidHandle
{
public:
    HidapiHandle(hid_device *device, QString path)
        : m_device(device)
        , m_path(std::move(path))
    {
        m_layoutRead = readReportLayout(m_path, m_layout);
    }
    ~HidapiHandle() override { hid_close(m_device); }

    // hidapi knows USB and Bluetooth devices; for others (I2C, virtual) the
    // kernel's own HID identity answers.
    bool attributes(HidAttributes &attributes) override
    {
        if (const hid_device_info *info = hid_get_device_info(m_device)) {
            attributes.vendorId = info->vendor_id;
            attributes.productId = info->product_id;
            attributes.versionNumber = info->release_number;
            return true;
        }
        const UdevIdentity identity = readIdentity(m_path);
        attributes = identity.attributes;
        return identity.found;
    }
    bool productString(char16_t *buffer, int units) override
    {
        return hidString(&hid_get_product_string, buffer, units)
               || copyString(readIdentity(m_path).product, buffer, units);
    }
    bool serialNumberString(char16_t *buffer, int units) override
    {
        return hidString(&hid_get_serial_number_string, buffer, units)
               || copyString(readIdentity(m_path).serial, buffer, units);
    }
    bool indexedString(int index, char16_t *buffer, int units) override
    {
        return indexedStringOf(readIdentity(m_path).usbDevnode, index, buffer, units);
    }
    bool capabilities(HidCaps &caps) override
    {
        caps = m_layout.caps;
        return m_layoutRead;
    }
    bool setFeature(const std::uint8_t *data, int size) override
    {
        return hid_send_feature_report(m_device, data, std::size_t(size)) >= 0;
    }

    HidReadResult read(std::uint8_t *buffer, int length, int timeoutMs) override
    {
        using Status = HidReadResult::Status;
        using namespace std::chrono;
        // hidraw hands over a report without its ID byte when the device
        // numbers no reports; the controller wants the ID first, 0 then.
        const int offset = m_layout.numberedReports ? 0 : 1;
        if (length <= offset)
            return {Status::Failed, 0, EINVAL};
        const auto deadline = steady_clock::now() + milliseconds(timeoutMs);
        for (;;) {
            if (m_cancelled)
                return {Status::Cancelled, 0, 0};
            const long long left = duration_cast<milliseconds>(deadline - steady_clock::now()).count();
            const int slice = int(std::clamp<long long>(left, 0, ReadSliceMs));
            errno = 0;
            const int n = hid_read_timeout(m_device, buffer + offset, std::size_t(length - offset), slice);
            if (n > 0) {
                if (offset)
                    buffer[0] = 0;
                return {Status::Data, n + offset, 0};
            }
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                // Without errno hidapi saw the node hang up: the device is gone.
                return {Status::Failed, 0, std::uint32_t(errno ? errno : ENODEV)};
            }
            if (left <= 0)
                return {Status::Timeout, 0, 0};
        }
    }
    void cancelRead() override { m_cancelled = true; }

private:
    bool hidString(int (*query)(hid_device *, wchar_t *, std::size_t), char16_t *buffer, int units)
    {
        std::vector<wchar_t> wide(std::size_t(units) + 1, L'\0');
        if (query(m_device, wide.data(), wide.size()) < 0)
            return false;
        return copyString(QString::fromWCharArray(wide.data()), buffer, units);
    }

    hid_device *m_device;
    QString m_path;
    HidReportLayout m_layout;
    bool m_layoutRead = false;
    std::atomic<bool> m_cancelled{false};
};

// Access 0: what may be known of an interface this user may not open.
class QueryHandle final : public HidHandle
{
public:
    QueryHandle(UdevIdentity identity, const QString &path)
        : m_identity(std::move(identity))
    {
        m_layoutRead = readReportLayout(path, m_layout);
    }

    bool attributes(HidAttributes &attributes) override
    {
        attributes = m_identity.attributes;
        return true;
    }
    bool productString(char16_t *buffer, int units) override { return copyString(m_identity.product, buffer, units); }
    bool serialNumberString(char16_t *buffer, int units) override
    {
        return copyString(m_identity.serial, buffer, units);
    }
    bool indexedString(int index, char16_t *buffer, int units) override
    {
        return indexedStringOf(m_identity.usbDevnode, index, buffer, units);
    }
    bool capabilities(HidCaps &caps) override
    {
        caps = m_layout.caps;
        return m_layoutRead;
    }
    bool setFeature(const std::uint8_t *, int) override { return false; }
    HidReadResult read(std::uint8_t *, int, int) override { return {HidReadResult::Status::Failed, 0, EBADF}; }
    void cancelRead() override {}

private:
    UdevIdentity m_identity;
    HidReportLayout m_layout;
    bool m_layoutRead = false;
};

class LinuxHidBackend final : public HidBackend
{
public:
    LinuxHidBackend()
        : m_udev(udev_new())
    {
        // Sets the C locale for hidapi's string conversion once, here on the
        // main thread, rather than at a first open on a read thread.
        hid_init();
    }

    bool isAvailable() const override { return bool(m_udev); }

    std::vector<HidInterfaceInfo> listInterfaces() override
    {
        struct Entry
        {
            unsigned minor;
            HidInterfaceInfo info;
        };
        std::vector<Entry> entries;
        const UdevPtr<udev_enumerate> enumerate(udev_enumerate_new(m_udev.get()));
        if (!enumerate)
            return {};
        udev_enumerate_add_match_subsystem(enumerate.get(), "hidraw");
        udev_enumerate_scan_devices(enumerate.get());
        udev_list_entry *entry;
        udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
        {
            const UdevPtr<udev_device> device(udev_device_new_from_syspath(m_udev.get(), udev_list_entry_get_name(entry)));
            if (!device)
                continue;
            const char *node = udev_device_get_devnode(device.get());
            if (!node)
                continue;
            entries.push_back({minor(udev_device_get_devnum(device.get())),
                               {instanceKey(device.get()), QString::fromLocal8Bit(node)}});
        }
        // hidraw0, hidraw1, ...: the order the kernel numbered them in.
        std::sort(entries.begin(), entries.end(), [](const Entry &a, const Entry &b) { return a.minor < b.minor; });
        std::vector<HidInterfaceInfo> list;
        for (Entry &e : entries)
            list.push_back(std::move(e.info));
        return list;
    }

    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access, std::uint32_t &error) override
    {
        const QByteArray native = QFile::encodeName(path);
        if (access == HidAccess::QueryOnly) {
            struct stat status;
            if (::stat(native.constData(), &status) != 0) {
                error = std::uint32_t(errno);
                return nullptr;
            }
            UdevIdentity identity = readIdentity(path);
            if (!identity.found) {
                error = ENODEV;
                return nullptr;
            }
            return std::make_unique<QueryHandle>(std::move(identity), path);
        }
        errno = 0;
        hid_device *device = hid_open_path(native.constData());
        if (!device) {
            error = std::uint32_t(errno ? errno : EIO);
            return nullptr;
        }
        return std::make_unique<HidapiHandle>(device, path);
    }

    void watchDeviceChanges(std::function<void(int)> notice) override
    {
        m_notice = std::move(notice);
        if (!m_notice) {
            m_notifier.reset();
            m_monitor.reset();
            return;
        }
        if (m_monitor || !m_udev)
            return;
        // Events from udev rather than the kernel: they come after the rules
        // have run, so a new node already carries its permissions.
        m_monitor.reset(udev_monitor_new_from_netlink(m_udev.get(), "udev"));
        if (!m_monitor)
            return;
        udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "hidraw", nullptr);
        if (udev_monitor_enable_receiving(m_monitor.get()) < 0) {
            m_monitor.reset();
            return;
        }
        m_notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(m_monitor.get()), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, m_notifier.get(), [this] { receiveChanges(); });
    }

    std::unique_ptr<HidClaim> claim(const QString &path, QString &why) override
    {
        // hidraw has no exclusive open; a lock on the node is the claim, and
        // it goes with the process that held it.
        struct LockClaim final : HidClaim
        {
            std::unique_ptr<DeviceLock> lock;
        };
        std::unique_ptr<DeviceLock> lock = DeviceLock::take(path, why);
        if (!lock)
            return nullptr;
        auto claim = std::make_unique<LockClaim>();
        claim->lock = std::move(lock);
        return claim;
    }

    ResetResult resetUsbDevice(const QString &path, QString &detail) override
    {
        const QByteArray node = readIdentity(path).usbDevnode;
        if (node.isEmpty()) {
            detail = QStringLiteral("%1 is not a USB device").arg(path);
            return ResetResult::Failed;
        }
        const auto failed = [&detail, &node](int error) {
            detail = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(node), qt_error_string(error));
            return error == EACCES || error == EPERM || error == EROFS ? ResetResult::NotPermitted
                                                                        : ResetResult::Failed;
        };
        const int fd = ::open(node.constData(), O_WRONLY | O_CLOEXEC);
        if (fd < 0)
            return failed(errno);
        // The HID driver stays bound through a reset, so the hidraw node and
        // the handles open on it survive; the bridge only forgets its setup.
        const int result = ::ioctl(fd, USBDEVFS_RESET, 0);
        const int error = errno;
        ::close(fd);
        if (result < 0)
            return failed(error);
        detail = QString::fromLocal8Bit(node);
        return ResetResult::Done;
    }

private:
    // The sysfs path names the interface while it is plugged in, but a
    // re-plug into the same port gives the same path; the USB device number,
    // counted up at every plug-in, and the moment udev first saw the node
    // tell the two apart.
    static QString instanceKey(udev_device *device)
    {
        QString key = fromUtf8(udev_device_get_syspath(device));
        if (udev_device *usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device")) {
            key += QLatin1Char('|') + fromUtf8(udev_device_get_sysattr_value(usb, "busnum")) + QLatin1Char('/')
                   + fromUtf8(udev_device_get_sysattr_value(usb, "devnum"));
        }
        if (const char *initialized = udev_device_get_property_value(device, "USEC_INITIALIZED"))
            key += QLatin1Char('|') + fromUtf8(initialized);
        return key;
    }

    void receiveChanges()
    {
        // A plug-in arrives as a burst of events; one pass answers them all.
        bool nodesChanged = false;
        while (const UdevPtr<udev_device> device{udev_monitor_receive_device(m_monitor.get())}) {
            const char *action = udev_device_get_action(device.get());
            if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
                nodesChanged = true;
        }
        const std::function<void(int)> notice = m_notice;
        if (nodesChanged && notice)
            notice(DeviceNodesChanged);
    }

    UdevPtr<udev> m_udev;
    UdevPtr<udev_monitor> m_monitor;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void(int)> m_notice;
};

} // namespace

std::unique_ptr<HidBackend> createHidBackend()
{
    return std::make_unique<LinuxHidBackend>();
}

std::uint32_t hidDeviceGoneError()
{
    return ENODEV;
}
