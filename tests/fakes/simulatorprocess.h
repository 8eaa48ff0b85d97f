#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <algorithm>

// A meter on a pseudo-terminal: qm320-cli's simulator, started with
// `arguments` after "simulate". Returns the device it plays on, as it says
// in its "QM320_COM1=/dev/pts/N" line; empty when it did not say so within
// ten seconds.
inline QString startSimulator(QProcess &simulator, const QStringList &arguments)
{
    simulator.start(QStringLiteral(QM320_BINARY_DIR "/cli/qm320-cli"), QStringList{QStringLiteral("simulate")} + arguments);
    if (!simulator.waitForStarted())
        return {};
    const QByteArray prefix("QM320_COM1=");
    QByteArray printed;
    const QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        printed += simulator.readAllStandardOutput();
        const qsizetype at = printed.indexOf(prefix);
        const qsizetype end = at < 0 ? -1 : printed.indexOf('\n', at);
        if (end > at)
            return QString::fromLocal8Bit(printed.mid(at + prefix.size(), end - at - prefix.size()));
        simulator.waitForReadyRead(int(std::max<qint64>(1, deadline.remainingTime())));
    }
    return {};
}
