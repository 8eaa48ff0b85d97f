#pragma once

#include "hostcontrol.h"

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QString>
#include <QStringList>

// What the tests in the test machine share: the run folder, the devices the
// machine's kernel makes, and qm320-cli as a child process.
namespace GuestRun {

// The kernel names the first USB-to-RS-232 adapter so; COM1 maps to it when
// QM320_COM1 is not set.
inline const QString AdapterNode = QStringLiteral("/dev/ttyUSB0");

// A file in the run folder, which the host sees too.
QString runFile(const QString &name);

// Writes a serial capture of the simulator's first `frames` frames of
// `scenario` (an LF, then the frames) to `path`; false when it cannot.
bool writeSerialCapture(const QString &path, int frames, const QString &scenario);

// Waits until the adapter's node is there (after a plug-in) or gone.
bool waitForAdapter(bool present, int timeoutMs);

// Whether process `pid` holds the file at `path` open.
bool holdsOpen(qint64 pid, const QString &path);

// Whether process `pid` listens for the kernel's or udev's device events: a
// program sets that up once it has listed the devices present.
bool listensForDeviceEvents(qint64 pid);

} // namespace GuestRun

// qm320-cli run as a child process with its output collected while it runs.
// The test's event loop runs while it waits, and a run still going when the
// object goes is killed.
class CliRun
{
public:
    explicit CliRun(const QStringList &arguments);
    ~CliRun();

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    qint64 pid() const { return m_process.processId(); }

    // Waits until standard output holds `lines` lines, or the run ended.
    bool waitForLines(int lines, int timeoutMs);
    // Waits until standard error holds `lines` lines, or the run ended.
    bool waitForErrorLines(int lines, int timeoutMs);
    // Waits until the run holds `path` open (`open`) or let go of it.
    bool waitUntilHolding(const QString &path, bool open, int timeoutMs);
    // Waits until the run listens for device events.
    bool waitUntilListening(int timeoutMs);
    bool waitForExit(int timeoutMs);

    QByteArray output() const { return m_output; }
    QStringList errorLines() const;
    int lineCount() const { return int(m_output.count('\n')); }
    // "exit N", or how the run ended otherwise (a crash, still running).
    QString howItEnded() const;
    bool exitedWith(int code) const;

private:
    QProcess m_process;
    QByteArray m_output;
    QByteArray m_errors;
};

// The machine's USB-to-RS-232 adapter as one test uses it: fed, pulled and
// plugged in through the host. However the test ends, the adapter is left
// plugged in as /dev/ttyUSB0 with no byte of this test in flight, so the next
// test starts clean. Declare it before the runs that may hold the port: they
// go first, and the adapter comes back as /dev/ttyUSB0.
class SerialAdapter
{
public:
    explicit SerialAdapter(HostControl &host) : m_host(host) {}
    ~SerialAdapter();

    // Streams the capture at `path` (in the run folder), a frame every
    // `intervalMs` (0: all at once).
    bool send(const QString &path, int intervalMs);
    bool pull();
    // Plugs it in again and waits for its node.
    bool plug();

private:
    HostControl &m_host;
    bool m_used = false;
    bool m_pulled = false;
};
