#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// The uhidcable emulator (tests/vm/uhidcablemain.cpp) as a child process: the
// meter's USB cable that a test plugs in, plays frames on and pulls out.
// While it waits for an answer the caller's event loop runs on, so a program
// under test in the same process keeps reading.
class CableProcess
{
public:
    // `frameLog` collects the frames that went out whole.
    explicit CableProcess(const QString &frameLog, const QString &scenario = QString());
    ~CableProcess();

    bool start();
    QString errorString() const { return m_error; }

    // One command and its answer ("ok ..." or "error ..."); true for "ok".
    bool command(const QString &line, int timeoutMs = 10000);
    QString lastAnswer() const { return m_answer; }

    // The feature reports the cable received since it was created, as hex.
    QStringList featureReports();
    // The frames that went out whole, as hex, in order.
    QStringList sentFrames() const;

private:
    QProcess m_process;
    QString m_frameLog;
    QString m_scenario;
    QString m_answer;
    QString m_error;
};
