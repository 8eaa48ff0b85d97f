#include "hostcontrol.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QTest>

QString HostControl::runFolder()
{
    return qEnvironmentVariable("QM320_VM_RUN");
}

HostControl::HostControl(const QString &runFolder)
    : m_folder(runFolder)
{
}

bool HostControl::request(const QString &command, int timeoutMs)
{
    const QDir folder(m_folder);
    const QByteArray sequence = QByteArray::number(++m_sequence);
    QSaveFile out(folder.filePath(QStringLiteral("request")));
    // The host polls for the name; it must never see half a request.
    if (!out.open(QIODevice::WriteOnly) || out.write(sequence + ' ' + command.toUtf8() + '\n') < 0 || !out.commit()) {
        m_error = QStringLiteral("cannot write the request: %1").arg(out.errorString());
        return false;
    }
    QFile reply(folder.filePath(QStringLiteral("reply")));
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (reply.open(QIODevice::ReadOnly)) {
            const QByteArray text = reply.readAll().trimmed();
            reply.close();
            if (text.startsWith(sequence + ' ')) {
                reply.remove();
                const QByteArray answer = text.mid(sequence.size() + 1);
                if (answer.startsWith("ok"))
                    return true;
                m_error = QStringLiteral("the host answered '%1' to '%2'").arg(QString::fromUtf8(answer), command);
                return false;
            }
        }
        // The program under test goes on meanwhile.
        QTest::qWait(20);
    }
    m_error = QStringLiteral("the host did not answer '%1' within %2 ms").arg(command).arg(timeoutMs);
    return false;
}
