#include "uhidcable.h"

#include <QDir>
#include <QFile>

#include <linux/input.h>
#include <linux/uhid.h>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

// Vendor page FFA0, one collection: 8-byte input and output reports and a
// 9-byte feature report, without report IDs. The program counts the report
// ID byte in, so it sees a 9-byte input and a 10-byte feature report.
const QByteArray CableDescriptor = QByteArray::fromHex(
    "06a0ff" "0901" "a101"        // usage page FFA0, usage 1, application collection
    "1500" "26ff00" "7508"        // bytes 0..255
    "9508" "0901" "8102"          // 8 input bytes
    "0902" "9102"                 // 8 output bytes
    "9509" "0903" "b102"          // 9 feature bytes
    "c0");

constexpr std::uint16_t VirtualVendor = 0xF0E1;
constexpr std::uint16_t VirtualProduct = 0x0320;

// How long the kernel may take to start a new device.
constexpr int StartTimeoutMs = 5000;

QString systemError() { return QString::fromLocal8Bit(std::strerror(errno)); }

} // namespace

UhidCable::UhidCable(const QString &scenario, std::FILE *frameLog)
    : m_frameLog(frameLog)
    , m_meter(scenario)
{
    if (!m_meter.isValid()) {
        m_error = QStringLiteral("there is no scenario '%1'").arg(scenario);
        return;
    }
    m_fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = QStringLiteral("cannot open /dev/uhid: %1").arg(systemError());
        return;
    }
    m_eventThread = std::thread([this] { serveEvents(); });
    m_playerThread = std::thread([this] { runPlayer(); });
}

UhidCable::~UhidCable()
{
    if (m_fd < 0)
        return;
    destroy();
    {
        std::lock_guard lock(m_jobMutex);
        m_quit = true;
    }
    m_jobChanged.notify_all();
    m_playerThread.join();
    // The event thread polls in short slices and sees the flag.
    m_closing = true;
    m_eventThread.join();
    ::close(m_fd);
}

bool UhidCable::write(const void *event)
{
    std::lock_guard lock(m_writeMutex);
    return ::write(m_fd, event, sizeof(uhid_event)) == ssize_t(sizeof(uhid_event));
}

bool UhidCable::create()
{
    if (m_fd < 0 || m_created)
        return false;
    {
        std::lock_guard lock(m_featureMutex);
        m_features.clear();
    }
    m_started = false;
    m_opened = false;

    uhid_event ev{};
    ev.type = UHID_CREATE2;
    std::strncpy(reinterpret_cast<char *>(ev.u.create2.name), ProductName, sizeof ev.u.create2.name - 1);
    // A place of its own, by which its hidraw node is found among other cables.
    std::strncpy(reinterpret_cast<char *>(ev.u.create2.phys), physicalPlace().constData(), sizeof ev.u.create2.phys - 1);
    ev.u.create2.rd_size = std::uint16_t(CableDescriptor.size());
    ev.u.create2.bus = BUS_USB;
    ev.u.create2.vendor = VirtualVendor;
    ev.u.create2.product = VirtualProduct;
    std::memcpy(ev.u.create2.rd_data, CableDescriptor.constData(), std::size_t(CableDescriptor.size()));
    if (!write(&ev)) {
        m_error = QStringLiteral("cannot create the device: %1").arg(systemError());
        return false;
    }
    m_created = true;
    // Reports sent before the kernel started the device would be refused.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(StartTimeoutMs);
    while (!m_started) {
        if (std::chrono::steady_clock::now() > deadline) {
            m_error = QStringLiteral("the kernel did not start the device within %1 ms").arg(StartTimeoutMs);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

QByteArray UhidCable::physicalPlace()
{
    return "qm320-vm/uhidcable/" + QByteArray::number(qint64(::getpid()));
}

QString UhidCable::hidrawNode(int timeoutMs) const
{
    const QByteArray wanted = "HID_PHYS=" + physicalPlace() + '\n';
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    do {
        const QDir hidraw(QStringLiteral("/sys/class/hidraw"));
        for (const QString &name : hidraw.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile uevent(hidraw.filePath(name + QStringLiteral("/device/uevent")));
            const QString node = QStringLiteral("/dev/") + name;
            if (uevent.open(QIODevice::ReadOnly) && uevent.readAll().contains(wanted) && QFile::exists(node))
                return node;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return {};
}

bool UhidCable::destroy()
{
    if (!m_created)
        return true;
    // Once stop() returns the player sends nothing more, so no report can
    // follow the destroy.
    stop();
    uhid_event ev{};
    ev.type = UHID_DESTROY;
    m_created = false;
    if (!write(&ev)) {
        m_error = QStringLiteral("cannot destroy the device: %1").arg(systemError());
        return false;
    }
    m_started = false;
    m_opened = false;
    return true;
}

void UhidCable::play(long long frames, int frameIntervalMs, int pauseMs)
{
    std::lock_guard lock(m_jobMutex);
    m_jobs.push_back({frames, 0, frameIntervalMs, pauseMs});
    m_jobChanged.notify_all();
}

void UhidCable::idle(int milliseconds, int pauseMs)
{
    std::lock_guard lock(m_jobMutex);
    m_jobs.push_back({0, milliseconds, 0, pauseMs});
    m_jobChanged.notify_all();
}

void UhidCable::stop()
{
    std::unique_lock lock(m_jobMutex);
    m_jobs.clear();
    m_stopRequested = true;
    m_jobChanged.notify_all();
    // Returns once the player is between jobs, so nothing more goes out.
    m_jobChanged.wait(lock, [this] { return !m_playing; });
    m_stopRequested = false;
}

bool UhidCable::waitUntilPlayed(int timeoutMs)
{
    std::unique_lock lock(m_jobMutex);
    return m_jobChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                 [this] { return m_jobs.empty() && !m_playing; });
}

QList<QByteArray> UhidCable::featureReports() const
{
    std::lock_guard lock(m_featureMutex);
    return m_features;
}

bool UhidCable::sendReport(const HidReport &report)
{
    if (!m_created)
        return false;
    uhid_event ev{};
    ev.type = UHID_INPUT2;
    // The kernel drops a report shorter than the descriptor declares, so
    // every report is whole: the count byte and seven payload bytes, the
    // unused ones left as filler. The report ID byte stays behind, as the
    // device numbers no reports.
    ev.u.input2.size = std::uint16_t(report.size() - 1);
    std::memcpy(ev.u.input2.data, report.data() + 1, report.size() - 1);
    return write(&ev);
}

bool UhidCable::pause(int milliseconds)
{
    std::unique_lock lock(m_jobMutex);
    return !m_jobChanged.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                  [this] { return m_stopRequested || m_quit; });
}

bool UhidCable::runJob(const Job &job)
{
    if (job.frames == 0) {
        for (int elapsed = 0; elapsed < job.idleMs; elapsed += job.pauseMs) {
            if (!sendReport(HidReport{}) || !pause(job.pauseMs))
                return false;
        }
        return true;
    }
    for (long long n = 0; job.frames < 0 || n < job.frames; ++n) {
        const FrameBytes frame = m_meter.nextFrame();
        for (const HidReport &report : hidReportsForFrame(frame, job.frameIntervalMs)) {
            if (!sendReport(report) || !pause(job.pauseMs))
                return false;
        }
        ++m_framesSent;
        if (m_frameLog) {
            const QByteArray hex = QByteArray(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()))
                                       .toHex()
                                       .toUpper();
            std::fprintf(m_frameLog, "%s\n", hex.constData());
            std::fflush(m_frameLog);
        }
    }
    return true;
}

void UhidCable::runPlayer()
{
    std::unique_lock lock(m_jobMutex);
    for (;;) {
        // Between jobs the cable goes on reporting that nothing arrived, as
        // the real one does every 10 ms while the meter is silent.
        m_jobChanged.wait_for(lock, std::chrono::milliseconds(ReportPauseMs),
                              [this] { return m_quit || (!m_jobs.empty() && !m_stopRequested); });
        if (m_quit)
            return;
        const bool filler = m_jobs.empty() || m_stopRequested;
        const Job job = filler ? Job{} : m_jobs.front();
        if (!filler)
            m_jobs.pop_front();
        m_playing = true;
        lock.unlock();
        bool finished = true;
        if (!filler)
            finished = runJob(job);
        else if (m_started)
            sendReport(HidReport{});
        lock.lock();
        m_playing = false;
        if (!finished)
            m_jobs.clear();
        m_jobChanged.notify_all();
    }
}

void UhidCable::serveEvents()
{
    while (!m_closing) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        uhid_event ev{};
        if (::read(m_fd, &ev, sizeof ev) <= 0)
            continue;
        switch (ev.type) {
        case UHID_START:
            m_started = true;
            break;
        case UHID_STOP:
            m_started = false;
            break;
        case UHID_OPEN:
            m_opened = true;
            break;
        case UHID_CLOSE:
            m_opened = false;
            break;
        case UHID_SET_REPORT: {
            // Without an answer the program's feature write would wait for
            // the kernel's time-out.
            const QByteArray data(reinterpret_cast<const char *>(ev.u.set_report.data), ev.u.set_report.size);
            {
                std::lock_guard lock(m_featureMutex);
                m_features.append(data);
                m_lastFeature = data;
            }
            uhid_event reply{};
            reply.type = UHID_SET_REPORT_REPLY;
            reply.u.set_report_reply.id = ev.u.set_report.id;
            reply.u.set_report_reply.err = 0;
            write(&reply);
            break;
        }
        case UHID_GET_REPORT: {
            // The cable hands back the set-up it holds.
            uhid_event reply{};
            reply.type = UHID_GET_REPORT_REPLY;
            reply.u.get_report_reply.id = ev.u.get_report.id;
            {
                std::lock_guard lock(m_featureMutex);
                QByteArray data = m_lastFeature;
                data.resize(10, '\0');
                reply.u.get_report_reply.size = std::uint16_t(data.size());
                std::memcpy(reply.u.get_report_reply.data, data.constData(), std::size_t(data.size()));
            }
            reply.u.get_report_reply.err = 0;
            write(&reply);
            break;
        }
        default:
            break;
        }
    }
}
