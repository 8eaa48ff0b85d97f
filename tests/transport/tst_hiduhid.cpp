// The HID device list, the read thread and the Linux backend end to end on
// this system's own HID stack: a virtual "USB to Serial" cable made through
// /dev/uhid is listed, takes a feature report and sends input reports, read
// through hidraw, and is found gone when it is destroyed.

#include "transport/hiddevicecontroller.h"
#include "transport/hidreadthread.h"

#include <QtTest>

#include <linux/input.h>
#include <linux/uhid.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

namespace {

constexpr std::uint16_t VirtualVendor = 0xF0E1;
constexpr std::uint16_t VirtualProduct = 0x0320;

// Vendor page FFA0: 8-byte input and output reports, a 9-byte feature
// report, no report IDs.
const QByteArray BridgeDescriptor = QByteArray::fromHex("06a0ff0901a101" "150026ff00" "75089508" "0901" "8102"
                                                        "0902" "9102" "9509" "0903" "b102" "c0");

class VirtualCable
{
public:
    explicit VirtualCable(int fd) : m_fd(fd) {}
    ~VirtualCable()
    {
        destroy();
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_fd);
    }

    bool create()
    {
        uhid_event ev{};
        ev.type = UHID_CREATE2;
        std::strcpy(reinterpret_cast<char *>(ev.u.create2.name), "USB to Serial");
        ev.u.create2.rd_size = std::uint16_t(BridgeDescriptor.size());
        ev.u.create2.bus = BUS_USB;
        ev.u.create2.vendor = VirtualVendor;
        ev.u.create2.product = VirtualProduct;
        std::memcpy(ev.u.create2.rd_data, BridgeDescriptor.constData(), std::size_t(BridgeDescriptor.size()));
        if (!send(ev))
            return false;
        m_created = true;
        m_thread = std::thread([this] { serve(); });
        return true;
    }
    void destroy()
    {
        if (!m_created)
            return;
        uhid_event ev{};
        ev.type = UHID_DESTROY;
        send(ev);
        m_created = false;
    }
    // The cable's way of carrying bytes: 8-byte reports of a count byte and
    // up to seven payload bytes, then one without payload. Returns the
    // reports as sent.
    QList<QByteArray> sendBytes(const QByteArray &bytes)
    {
        QList<QByteArray> sent;
        for (qsizetype at = 0; at < bytes.size(); at += 7) {
            const int n = int(std::min<qsizetype>(7, bytes.size() - at));
            sent << sendInput(QByteArray(1, char(0xF0 | n)) + bytes.mid(at, n));
        }
        sent << sendInput(QByteArray(1, char(0xF0)));
        return sent;
    }
    QList<QByteArray> featureReports() const
    {
        std::lock_guard lock(m_mutex);
        return m_features;
    }

private:
    QByteArray sendInput(QByteArray report)
    {
        report.resize(8, '\0');
        uhid_event ev{};
        ev.type = UHID_INPUT2;
        ev.u.input2.size = 8;
        std::memcpy(ev.u.input2.data, report.constData(), 8);
        send(ev);
        return report;
    }
    bool send(const uhid_event &ev)
    {
        std::lock_guard lock(m_writeMutex);
        return ::write(m_fd, &ev, sizeof ev) == ssize_t(sizeof ev);
    }
    void serve()
    {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            uhid_event ev{};
            if (::read(m_fd, &ev, sizeof ev) <= 0)
                continue;
            if (ev.type == UHID_SET_REPORT) {
                {
                    std::lock_guard lock(m_mutex);
                    m_features.append(QByteArray(reinterpret_cast<const char *>(ev.u.set_report.data),
                                                 ev.u.set_report.size));
                }
                uhid_event reply{};
                reply.type = UHID_SET_REPORT_REPLY;
                reply.u.set_report_reply.id = ev.u.set_report.id;
                reply.u.set_report_reply.err = 0;
                send(reply);
            } else if (ev.type == UHID_GET_REPORT) {
                uhid_event reply{};
                reply.type = UHID_GET_REPORT_REPLY;
                reply.u.get_report_reply.id = ev.u.get_report.id;
                reply.u.get_report_reply.err = EIO;
                send(reply);
            }
        }
    }

    int m_fd;
    bool m_created = false;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_writeMutex;
    mutable std::mutex m_mutex;
    QList<QByteArray> m_features;
};

const HidDevice *findVirtualCable(HidDeviceController &controller)
{
    controller.refresh();
    for (const HidDevice &device : controller.devices()) {
        if (device.vendorId == VirtualVendor && device.productId == VirtualProduct)
            return &device;
    }
    return nullptr;
}

} // namespace

class TestHidUhid : public QObject
{
    Q_OBJECT
private slots:
    void virtualCable();
};

void TestHidUhid::virtualCable()
{
    const int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        QSKIP(qPrintable(QStringLiteral("/dev/uhid cannot be opened (%1); the end-to-end test of the HID backend "
                                        "needs the uhid module and write access to /dev/uhid")
                             .arg(qt_error_string(errno))));
    }
    VirtualCable cable(fd);
    QVERIFY(cable.create());

    const std::unique_ptr<HidBackend> backend = createHidBackend();
    HidDeviceController controller(*backend);
    controller.start();
    const HidDevice *found = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((found = findVirtualCable(controller)) != nullptr, 10000);
    const HidDevice device = *found;
    QCOMPARE(device.productString, QStringLiteral("USB to Serial"));
    QCOMPARE(device.serialNumber, QString());

    HidFailure why;
    std::unique_ptr<HidHandle> control = backend->open(device.path, HidAccess::ReadWrite, why);
    if (!control && why.error == HidError::PermissionDenied)
        QSKIP("the virtual cable's hidraw node is not readable by this user");
    QVERIFY2(control, qPrintable(why.reason));
    QCOMPARE(control->inputReportLength(), 9);

    // The bridge's set-up report: ID 0, 2400 bit/s least significant byte
    // first, 8 data bits, four zero bytes.
    const QByteArray setup = QByteArray::fromHex("00600900000300000000");
    QVERIFY(control->sendFeatureReport(setup));
    QTRY_COMPARE(cable.featureReports().size(), 1);
    QVERIFY(cable.featureReports()[0].contains(setup.mid(1)));

    // Each input report arrives whole and in order: ID 0 (the cable numbers
    // no reports), then the eight bytes the cable sent. hidraw keeps reports
    // only for a node that is open, so the read handle opens before the cable
    // sends.
    std::unique_ptr<HidHandle> readHandle = backend->open(device.path, HidAccess::Read, why);
    QVERIFY2(readHandle, qPrintable(why.reason));
    QList<QByteArray> received;
    QList<HidFailure> failures;
    HidReadThread reader(
        std::move(readHandle),
        [&](std::uint8_t id, QByteArrayView data) { received << QByteArray(1, char(id)) + data.toByteArray(); },
        [&](const HidFailure &failure) { failures << failure; });
    const QList<QByteArray> sent = cable.sendBytes(QByteArray::fromHex("002b3132333420313100ff80070f0d0a"));
    QList<QByteArray> expected;
    for (const QByteArray &report : sent)
        expected << QByteArray(1, '\0') + report;
    QTRY_COMPARE(received, expected);

    // Unplugged: the read fails, and the next pass finds it gone.
    QStringList removed;
    QObject::connect(&controller, &HidDeviceController::deviceRemoved, &controller,
                     [&removed](const HidDevice &gone) { removed << gone.path; });
    cable.destroy();
    QTRY_COMPARE_WITH_TIMEOUT(failures.size(), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT((controller.refresh(), removed == QStringList{device.path}), 10000);
    QVERIFY(!findVirtualCable(controller));
}

QTEST_GUILESS_MAIN(TestHidUhid)
#include "tst_hiduhid.moc"
