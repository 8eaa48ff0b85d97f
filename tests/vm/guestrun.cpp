#include "guestrun.h"

#include "simulator/metersimulator.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QTest>

#include <linux/netlink.h>
#include <unistd.h>

namespace GuestRun {

QString runFile(const QString &name)
{
    return QDir(HostControl::runFolder()).filePath(name);
}

bool writeSerialCapture(const QString &path, int frames, const QString &scenario)
{
    MeterSimulator meter(scenario);
    QFile file(path);
    if (!meter.isValid() || !file.open(QIODevice::WriteOnly))
        return false;
    // The LF that ended the frame before: the serial path needs it to take
    // the first frame.
    QByteArray capture("\n");
    for (int i = 0; i < frames; ++i) {
        const FrameBytes frame = meter.nextFrame();
        capture.append(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size()));
    }
    return file.write(capture) == capture.size() && file.flush();
}

bool waitForAdapter(bool present, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (QFileInfo::exists(AdapterNode) != present) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool holdsOpen(qint64 pid, const QString &path)
{
    const QByteArray wanted = QFile::encodeName(path);
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[4096];
        const ssize_t n = ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
        if (n > 0 && QByteArray(target, n) == wanted)
            return true;
    }
    return false;
}

bool listensForDeviceEvents(qint64 pid)
{
    // The inodes of the process's sockets, then whether the kernel lists one
    // of them as a netlink socket of the device-event family.
    QSet<QByteArray> sockets;
    const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
    for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        char target[256];
        const ssize_t n = ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
        const QByteArray link(target, n > 0 ? n : 0);
        if (link.startsWith("socket:[") && link.endsWith(']'))
            sockets.insert(link.mid(8, link.size() - 9));
    }
    QFile netlink(QStringLiteral("/proc/net/netlink"));
    if (sockets.isEmpty() || !netlink.open(QIODevice::ReadOnly))
        return false;
    // Columns: sk Eth Pid Groups Rmem Wmem Dump Locks Drops Inode.
    for (const QByteArray &line : netlink.readAll().split('\n')) {
        const QList<QByteArray> columns = line.simplified().split(' ');
        if (columns.size() >= 10 && columns.at(1) == QByteArray::number(NETLINK_KOBJECT_UEVENT)
            && sockets.contains(columns.at(9)))
            return true;
    }
    return false;
}

} // namespace GuestRun

CliRun::CliRun(const QStringList &arguments)
{
    // COM1 is the kernel's first adapter unless this says otherwise.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (int n = 1; n <= 4; ++n)
        environment.remove(QStringLiteral("QM320_COM%1").arg(n));
    m_process.setProcessEnvironment(environment);
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, &m_process,
                     [this] { m_output += m_process.readAllStandardOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, &m_process,
                     [this] { m_errors += m_process.readAllStandardError(); });
    m_process.start(QStringLiteral(QM320_BINARY_DIR "/cli/qm320-cli"), arguments);
    m_process.waitForStarted(10000);
}

CliRun::~CliRun()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

namespace {

template<typename Done>
bool waitUntil(const QProcess &process, int timeoutMs, Done done)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired() || process.state() == QProcess::NotRunning)
            return done();
        QTest::qWait(10);
    }
    return true;
}

} // namespace

bool CliRun::waitForLines(int lines, int timeoutMs)
{
    return waitUntil(m_process, timeoutMs, [&] { return lineCount() >= lines; });
}

bool CliRun::waitForErrorLines(int lines, int timeoutMs)
{
    return waitUntil(m_process, timeoutMs, [&] { return errorLines().size() >= lines; });
}

bool CliRun::waitUntilHolding(const QString &path, bool open, int timeoutMs)
{
    return waitUntil(m_process, timeoutMs, [&] { return GuestRun::holdsOpen(pid(), path) == open; });
}

bool CliRun::waitUntilListening(int timeoutMs)
{
    return waitUntil(m_process, timeoutMs, [&] { return GuestRun::listensForDeviceEvents(pid()); });
}

bool CliRun::waitForExit(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_process.state() != QProcess::NotRunning) {
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
    // What the run wrote last.
    m_output += m_process.readAllStandardOutput();
    m_errors += m_process.readAllStandardError();
    return true;
}

QStringList CliRun::errorLines() const
{
    return QString::fromLocal8Bit(m_errors).split(u'\n', Qt::SkipEmptyParts);
}

QString CliRun::howItEnded() const
{
    if (m_process.state() != QProcess::NotRunning)
        return QStringLiteral("still running");
    if (m_process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("crashed (%1)").arg(m_process.errorString());
    return QStringLiteral("exit %1").arg(m_process.exitCode());
}

bool CliRun::exitedWith(int code) const
{
    return m_process.state() == QProcess::NotRunning && m_process.exitStatus() == QProcess::NormalExit
           && m_process.exitCode() == code;
}

SerialAdapter::~SerialAdapter()
{
    // Pulling drops what the host has not delivered yet; an adapter merely
    // stopped would hand it to the next test.
    if (m_used && !m_pulled)
        pull();
    if (m_pulled)
        plug();
}

bool SerialAdapter::send(const QString &path, int intervalMs)
{
    m_used = true;
    return m_host.sendSerialCapture(QFileInfo(path).fileName(), intervalMs);
}

bool SerialAdapter::pull()
{
    m_pulled = true;
    return m_host.pullAdapter();
}

bool SerialAdapter::plug()
{
    m_pulled = false;
    m_used = false;
    return m_host.plugAdapter() && GuestRun::waitForAdapter(true, 15000);
}
