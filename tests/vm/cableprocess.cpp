#include "cableprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QTest>

CableProcess::CableProcess(const QString &frameLog, const QString &scenario)
    : m_frameLog(frameLog)
    , m_scenario(scenario)
{
    m_process.setProgram(QStringLiteral(QM320_BINARY_DIR "/tests/vm/uhidcable"));
    QStringList args{QStringLiteral("--log"), frameLog};
    if (!scenario.isEmpty())
        args << QStringLiteral("--scenario") << scenario;
    m_process.setArguments(args);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

CableProcess::~CableProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    // quit destroys the device; a cable stuck past that is killed.
    m_process.write("quit\n");
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

bool CableProcess::start()
{
    m_process.start();
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("cannot start %1: %2").arg(m_process.program(), m_process.errorString());
        return false;
    }
    return true;
}

bool CableProcess::command(const QString &line, int timeoutMs)
{
    m_answer.clear();
    if (m_process.state() != QProcess::Running) {
        m_answer = QStringLiteral("error the cable process is not running");
        return false;
    }
    m_process.write(line.toUtf8() + '\n');
    const QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || m_process.state() != QProcess::Running) {
            m_answer = QStringLiteral("error no answer to '%1'").arg(line);
            return false;
        }
        QTest::qWait(5);
    }
    m_answer = QString::fromUtf8(m_process.readLine()).trimmed();
    return m_answer.startsWith(QLatin1String("ok"));
}

QStringList CableProcess::featureReports()
{
    if (!command(QStringLiteral("features")))
        return {};
    return m_answer.split(u' ', Qt::SkipEmptyParts).mid(1);
}

QStringList CableProcess::sentFrames() const
{
    QFile file(m_frameLog);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}
