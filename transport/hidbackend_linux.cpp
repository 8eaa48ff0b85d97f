// The HID services on Linux: hidapi on hidraw opens the interfaces, reads
// their input reports and sends feature reports; libudev lists the hidraw
// interfaces, names them, tells what a device is without opening it, and
// reports plug-in and removal.

#include "transport/devicelock.h"
#include "transport/hidbackend.h"
#include "transport/hidreportdescriptor.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include <hidapi/hidapi.h>
#include <libudev.h>
#include <linux/usbdevice_fs.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

struct UdevDeleter
{
    void operator()(udev *u) const { udev_unref(u); }
    void operator()(udev_device *d) const { udev_device_unref(d); }
    void operator()(udev_enumerate *e) const { udev_enumerate_unref(e); }
    void operator()(udev_monitor *m) const { udev_monitor_unref(m); }
};
template <typename T> using UdevPtr = std::unique_ptr<T, UdevDeleter>;

QString fromUtf8(const char *text)
{
    return text ? QString::fromUtf8(text) : QString();
}

// The one place where an errno becomes a failure: its kind and the system's
// sentence for it.
HidFailure failureFor(int error)
{
    HidError kind = HidError::Io;
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        kind = HidError::NoSuchDevice;
        break;
    case EACCES:
    case EPERM:
    case EROFS:
        kind = HidError::PermissionDenied;
        break;
    case EBUSY:
        kind = HidError::InUse;
        break;
    default:
        break;
    }
    return {kind, qt_error_string(error)};
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
    QFile file(
        QStringLiteral("/sys/class/hidraw/%1/device/report_descriptor").arg(QString::fromLocal8Bit(hidrawName(path))));
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
    QByteArray usbDevnode; // "/dev/bus/usb/001/004"; empty when not on USB
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
        identity.usbDevnode = udev_device_get_devnode(usb);
    } else {
        // Bluetooth and virtual devices: the kernel's name and unique id.
        identity.product = fromUtf8(udev_device_get_property_value(hid, "HID_NAME"));
        identity.serial = fromUtf8(udev_device_get_property_value(hid, "HID_UNIQ"));
    }
    return identity;
}

// An interface opened through hidapi: feature reports and input reports.
class HidapiHandle final : public HidHandle
{
public:
    HidapiHandle(hid_device *device, QString path)
        : m_device(device)
        , m_path(std::move(path))
    {
        readReportLayout(m_path, m_layout);
    }
    ~HidapiHandle() override { hid_close(m_device); }

    // hidapi knows USB and Bluetooth devices; for others (I2C, virtual) the
    // kernel's own HID identity answers.
    bool attributes(HidAttributes &attributes) override
    {
        if (const hid_device_info *info = hid_get_device_info(m_device)) {
            attributes.vendorId = info->vendor_id;
            attributes.productId = info->product_id;
            return true;
        }
        const UdevIdentity identity = readIdentity(m_path);
        attributes = identity.attributes;
        return identity.found;
    }
    QString productString() override
    {
        const QString text = hidString(&hid_get_product_string);
        return text.isEmpty() ? readIdentity(m_path).product : text;
    }
    QString serialNumber() override
    {
        const QString text = hidString(&hid_get_serial_number_string);
        return text.isEmpty() ? readIdentity(m_path).serial : text;
    }
    int inputReportLength() override { return m_layout.caps.inputReportLength; }
    bool sendFeatureReport(QByteArrayView report) override
    {
        return !report.isEmpty()
               && hid_send_feature_report(m_device, reinterpret_cast<const unsigned char *>(report.data()),
                                          std::size_t(report.size()))
                      >= 0;
    }

    HidRead read(std::uint8_t *buffer, int capacity, int timeoutMs) override
    {
        using Status = HidRead::Status;
        // hidraw hands over a report without its ID byte when the device
        // numbers no reports; the caller wants the ID first, 0 then.
        const int offset = m_layout.numberedReports ? 0 : 1;
        if (capacity <= offset)
            return {Status::Failed, 0, failureFor(EINVAL)};
        int n;
        do {
            errno = 0;
            n = hid_read_timeout(m_device, buffer + offset, std::size_t(capacity - offset), timeoutMs);
        } while (n < 0 && errno == EINTR);
        if (n == 0)
            return {Status::Timeout, 0, {}};
        if (n < 0) {
            // Without errno hidapi saw the node hang up: the device is gone.
            return {Status::Failed, 0, failureFor(errno ? errno : ENODEV)};
        }
        if (offset)
            buffer[0] = 0;
        return {Status::Data, n + offset, {}};
    }

private:
    // The strings of a USB string descriptor are at most 126 UTF-16 units;
    // only names from elsewhere (the kernel's name of a Bluetooth or virtual
    // device) can be longer, and are cut here.
    static constexpr std::size_t StringUnits = 254;

    QString hidString(int (*query)(hid_device *, wchar_t *, std::size_t))
    {
        std::vector<wchar_t> wide(StringUnits + 1, L'\0');
        if (query(m_device, wide.data(), wide.size()) < 0)
            return {};
        return QString::fromWCharArray(wide.data());
    }

    hid_device *m_device;
    QString m_path;
    HidReportLayout m_layout;
};

// What may be known of an interface, also of one this user may not open.
// Every device change opens one of these for each interface, so nothing is
// read before it is asked for.
class QueryHandle final : public HidHandle
{
public:
    QueryHandle(UdevIdentity identity, QString path)
        : m_identity(std::move(identity))
        , m_path(std::move(path))
    { }

    bool attributes(HidAttributes &attributes) override
    {
        attributes = m_identity.attributes;
        return true;
    }
    QString productString() override { return m_identity.product; }
    QString serialNumber() override { return m_identity.serial; }
    int inputReportLength() override
    {
        HidReportLayout layout;
        readReportLayout(m_path, layout);
        return layout.caps.inputReportLength;
    }
    bool sendFeatureReport(QByteArrayView) override { return false; }
    HidRead read(std::uint8_t *, int, int) override { return {HidRead::Status::Failed, 0, failureFor(EBADF)}; }

private:
    UdevIdentity m_identity;
    QString m_path;
};

class LinuxHidBackend final : public HidBackend
{
public:
    LinuxHidBackend()
        : m_udev(udev_new())
    {
        // Sets the C locale for hidapi's string conversion once, here on the
        // main thread, rather than at a first open.
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
            const UdevPtr<udev_device> device(
                udev_device_new_from_syspath(m_udev.get(), udev_list_entry_get_name(entry)));
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

    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access, HidFailure &why) override
    {
        const QByteArray native = QFile::encodeName(path);
        if (access == HidAccess::QueryOnly) {
            struct stat status;
            if (::stat(native.constData(), &status) != 0) {
                why = failureFor(errno);
                return nullptr;
            }
            UdevIdentity identity = readIdentity(path);
            if (!identity.found) {
                why = failureFor(ENODEV);
                return nullptr;
            }
            return std::make_unique<QueryHandle>(std::move(identity), path);
        }
        // hidraw gives reads and feature reports on the same kind of handle.
        errno = 0;
        hid_device *device = hid_open_path(native.constData());
        if (!device) {
            why = failureFor(errno ? errno : EIO);
            return nullptr;
        }
        return std::make_unique<HidapiHandle>(device, path);
    }

    void watchDeviceChanges(std::function<void()> changed) override
    {
        m_changed = std::move(changed);
        if (!m_changed) {
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

    std::unique_ptr<HidClaim> claim(const QString &path, HidFailure &why) override
    {
        // hidraw has no exclusive open; a lock on the node is the claim, and
        // it goes with the process that held it.
        struct LockClaim final : HidClaim
        {
            std::unique_ptr<DeviceLock> lock;
        };
        std::unique_ptr<DeviceLock> lock = DeviceLock::take(path, why.reason);
        if (!lock) {
            why.error = HidError::InUse;
            return nullptr;
        }
        auto claim = std::make_unique<LockClaim>();
        claim->lock = std::move(lock);
        return claim;
    }

    bool resetUsbDevice(const QString &path, HidFailure &why) override
    {
        const QByteArray node = readIdentity(path).usbDevnode;
        if (node.isEmpty()) {
            why = {HidError::Unsupported, QStringLiteral("%1 is not a USB device").arg(path)};
            return false;
        }
        const auto failed = [&why, &node](int error) {
            why = failureFor(error);
            why.reason = QStringLiteral("%1: %2").arg(QString::fromLocal8Bit(node), why.reason);
            return false;
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
        return true;
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
        // Other actions ("change", "bind") leave the set of nodes as it is.
        bool nodesChanged = false;
        while (const UdevPtr<udev_device> device{udev_monitor_receive_device(m_monitor.get())}) {
            const char *action = udev_device_get_action(device.get());
            if (action && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0))
                nodesChanged = true;
        }
        const std::function<void()> changed = m_changed;
        if (nodesChanged && changed)
            changed();
    }

    UdevPtr<udev> m_udev;
    UdevPtr<udev_monitor> m_monitor;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::function<void()> m_changed;
};

} // namespace

std::unique_ptr<HidBackend> createHidBackend()
{
    return std::make_unique<LinuxHidBackend>();
}
