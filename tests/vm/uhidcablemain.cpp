// uhidcable: the meter's USB interface cable on /dev/uhid, driven by
// commands on standard input, one a line. Each command is answered by one
// line on standard output, "ok ..." or "error ...":
//
//   create                     plug the cable in
//   destroy                    pull it out, mid-frame if frames are playing
//   play N [INTERVAL [PAUSE]]  queue N frames of the simulated meter (-1: until
//                              stopped), INTERVAL ms from frame to frame
//                              (default 0), one report every PAUSE ms (10)
//   idle MS [PAUSE]            queue reports without payload for MS ms
//   wait [TIMEOUT]             wait until everything queued went out (ms, 60000)
//   stop                       drop what is queued
//   features                   the feature reports received since create, as hex
//   opened                     "ok yes" while a program holds the device open
//   node                       "ok /dev/hidrawN", the cable's node once it is there
//   sent                       the number of frames that went out whole
//   quit
//
// Options: --log FILE (each frame that went out whole, as hex, one a line),
// --scenario NAME (the simulator's scenario, default "all").

#include "uhidcable.h"

#include <QCoreApplication>
#include <QFile>
#include <QStringList>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

void answer(const QString &text)
{
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

bool toInt(const QStringList &words, int index, long long &value)
{
    if (index >= words.size())
        return true;
    bool ok = false;
    value = words.at(index).toLongLong(&ok);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QString logName;
    QString scenario = QString::fromLatin1(MeterSimulator::AllScenarios);
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--log") && i + 1 < args.size()) {
            logName = args.at(++i);
        } else if (args.at(i) == QLatin1String("--scenario") && i + 1 < args.size()) {
            scenario = args.at(++i);
        } else {
            std::fprintf(stderr, "usage: uhidcable [--log FILE] [--scenario NAME] (commands on standard input)\n");
            return 2;
        }
    }

    std::FILE *log = nullptr;
    if (!logName.isEmpty()) {
        log = std::fopen(QFile::encodeName(logName).constData(), "w");
        if (!log) {
            std::fprintf(stderr, "uhidcable: cannot write %s\n", qPrintable(logName));
            return 2;
        }
    }

    int status = 0;
    {
        UhidCable cable(scenario, log);
        if (!cable.isAvailable()) {
            std::fprintf(stderr, "uhidcable: %s\n", qPrintable(cable.errorString()));
            status = 2;
        }
        std::string line;
        while (status == 0 && std::getline(std::cin, line)) {
            const QStringList words = QString::fromStdString(line).split(u' ', Qt::SkipEmptyParts);
            if (words.isEmpty())
                continue;
            const QString &command = words.first();
            if (command == QLatin1String("create")) {
                answer(cable.create() ? QStringLiteral("ok created") : QStringLiteral("error ") + cable.errorString());
            } else if (command == QLatin1String("destroy")) {
                answer(cable.destroy() ? QStringLiteral("ok destroyed") : QStringLiteral("error ") + cable.errorString());
            } else if (command == QLatin1String("play")) {
                long long frames = 0, interval = 0, pause = UhidCable::ReportPauseMs;
                if (words.size() < 2 || !toInt(words, 1, frames) || !toInt(words, 2, interval) || !toInt(words, 3, pause)
                    || pause < 1) {
                    answer(QStringLiteral("error play N [INTERVAL [PAUSE]]"));
                    continue;
                }
                cable.play(frames, int(interval), int(pause));
                answer(QStringLiteral("ok playing"));
            } else if (command == QLatin1String("idle")) {
                long long ms = 0, pause = UhidCable::ReportPauseMs;
                if (words.size() < 2 || !toInt(words, 1, ms) || !toInt(words, 2, pause) || pause < 1) {
                    answer(QStringLiteral("error idle MS [PAUSE]"));
                    continue;
                }
                cable.idle(int(ms), int(pause));
                answer(QStringLiteral("ok idling"));
            } else if (command == QLatin1String("wait")) {
                long long timeout = 60000;
                if (!toInt(words, 1, timeout)) {
                    answer(QStringLiteral("error wait [TIMEOUT]"));
                    continue;
                }
                answer(cable.waitUntilPlayed(int(timeout)) ? QStringLiteral("ok played")
                                                           : QStringLiteral("error still playing"));
            } else if (command == QLatin1String("stop")) {
                cable.stop();
                answer(QStringLiteral("ok stopped"));
            } else if (command == QLatin1String("features")) {
                QStringList hex;
                for (const QByteArray &report : cable.featureReports())
                    hex << QString::fromLatin1(report.toHex().toUpper());
                answer((QStringList{QStringLiteral("ok")} + hex).join(u' '));
            } else if (command == QLatin1String("opened")) {
                answer(cable.isOpened() ? QStringLiteral("ok yes") : QStringLiteral("ok no"));
            } else if (command == QLatin1String("node")) {
                const QString node = cable.hidrawNode(5000);
                answer(node.isEmpty() ? QStringLiteral("error no hidraw node") : QStringLiteral("ok ") + node);
            } else if (command == QLatin1String("sent")) {
                answer(QStringLiteral("ok %1").arg(cable.framesSent()));
            } else if (command == QLatin1String("quit")) {
                answer(QStringLiteral("ok bye"));
                break;
            } else {
                answer(QStringLiteral("error unknown command ") + command);
            }
        }
    }
    if (log)
        std::fclose(log);
    return status;
}
