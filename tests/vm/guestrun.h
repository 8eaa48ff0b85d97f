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

// Plugs the adapter back in when a test that pulled it ends, however it ends,
// so the next test finds COM1 where it belongs. Declare it before the runs
// that may hold the port: they go first, and the adapter comes back as
// /dev/ttyUSB0.
class AdapterGuard
{
public:
    explicit AdapterGuard(HostControl &host) : m_host(host) {}
    ~AdapterGuard();
    bool pull();
    bool plug();

private:
    HostControl &m_host;
    bool m_pulled = false;
};
