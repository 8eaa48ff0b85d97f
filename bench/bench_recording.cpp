// Logging one reading below the window, with the statistics and publishing
// to a broker on, at 1 000, 100 000, 1 000 000 and 10 000 000 logged rows:
// frame assembly and decoding, the judgement, the log table, the journal on
// disk, the statistics of the log, and the reading's message queued for the
// broker. What the window adds (grid, chart, painting) is bench_logging's.
//
//   build/bench/bench_recording [largest-row-count] [--broker mqtt://host:port/topic]
//
// Without --broker it starts a Mosquitto broker of its own on 127.0.0.1 (from
// the PATH or /usr/sbin), where there is one. Prints medians of 200 readings
// at each size, and what the publisher did.

#include "log/logstatistics.h"
#include "meter/localeinfo.h"
#include "publish/brokeraddress.h"
#include "publish/messagepublisher.h"
#include "publish/readingpublisher.h"
#include "session/metersession.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

QByteArray frame(int count)
{
    // DC volts, auto-ranging, a value that changes with every frame.
    QByteArray f("+0000 1");
    const QByteArray digits = QByteArray::number(count % 4000).rightJustified(4, '0');
    f.replace(1, 4, digits);
    f.append(char(0x30)).append('\0').append('\0').append(char(0x80)).append('\0').append("\r\n");
    return f;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A broker of the benchmark's own, on a port nobody uses.
QString startBroker(QProcess &broker, const QTemporaryDir &dir)
{
    QString mosquitto = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (mosquitto.isEmpty())
        mosquitto = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), {QStringLiteral("/usr/sbin")});
    if (mosquitto.isEmpty())
        return {};
    const int port = 20000 + int(QCoreApplication::applicationPid() % 20000);
    QFile config(dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!config.open(QIODevice::WriteOnly))
        return {};
    config.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n").arg(port).toUtf8());
    config.close();
    broker.start(mosquitto, {QStringLiteral("-c"), config.fileName()});
    if (!broker.waitForStarted())
        return {};
    QThread::msleep(300);
    return QStringLiteral("mqtt://127.0.0.1:%1/qm320/bench/recording").arg(port);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    long largest = 10000000;
    QString brokerUrl;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--broker") && i + 1 < args.size())
            brokerUrl = args[++i];
        else
            largest = args[i].toLong();
    }

    QTemporaryDir dir;
    QProcess ownBroker;
    if (brokerUrl.isEmpty())
        brokerUrl = startBroker(ownBroker, dir);

    FixedLocaleInfo locale;
    MeterSession session(locale, nullptr, nullptr);
    session.setRecordLimit(10000000);
    session.startJournal(dir.filePath(QStringLiteral("journal")));
    const LogStatistics statistics(session.log());

    ReadingPublisher publisher(createMessagePublisher());
    QString why;
    const std::optional<BrokerAddress> broker = BrokerAddress::parse(brokerUrl, &why);
    if (!broker || !publisher.start(*broker, QStringLiteral("qm320/bench/recording"), &why)) {
        std::fprintf(stderr, "no broker to publish to (%s): publishing stays off\n", why.toLocal8Bit().constData());
    } else {
        QElapsedTimer waited;
        waited.start();
        while (!publisher.status().connected && waited.elapsed() < 10000)
            QThread::msleep(10);
        std::printf("publishing to %s (%s)\n", broker->displayText().toLocal8Bit().constData(),
                    publisher.status().connected ? "connected" : "not connected");
    }
    QObject::connect(&session, &MeterSession::readingDecoded, &publisher, [&](const DecodeResult &result) {
        publisher.publishReading(result.reading, session.decodedFrames(), QDateTime::currentMSecsSinceEpoch());
    });

    session.feedSerialBytes("\n");
    std::printf("%12s %14s %14s %14s\n", "rows", "median (us)", "p90 (us)", "max (us)");
    long logged = 0;
    for (long target : {1000L, 100000L, 1000000L, 10000000L}) {
        if (target > largest)
            break;
        // Up to the size through the same path, frames in batches as the
        // port delivers them, every reading published.
        session.log().beginBulk();
        QByteArray batch;
        for (; logged < target - 200; ++logged) {
            batch += frame(int(logged));
            if (batch.size() >= 14 * 4096) {
                session.feedSerialBytes(batch);
                batch.clear();
            }
        }
        session.feedSerialBytes(batch);
        session.log().endBulk();
        app.processEvents();

        // One reading at a time, as the meter sends them.
        std::vector<double> times;
        for (int k = 0; k < 200; ++k, ++logged) {
            const QByteArray one = frame(int(logged));
            QElapsedTimer t;
            t.start();
            session.feedSerialBytes(one);
            times.push_back(double(t.nsecsElapsed()) / 1e3);
        }
        const double p90 = [&] {
            std::vector<double> sorted = times;
            std::sort(sorted.begin(), sorted.end());
            return sorted[sorted.size() * 9 / 10];
        }();
        std::printf("%12ld %14.1f %14.1f %14.1f\n", logged, median(times), p90,
                    *std::max_element(times.begin(), times.end()));
        std::fflush(stdout);
    }

    const ModeStatistics *current = statistics.current();
    std::printf("\nstatistics: %s\n", current ? current->summaryText(QStringLiteral(".")).toLocal8Bit().constData() : "-");
    const PublisherStatus status = publisher.status();
    std::printf("publisher: %lld delivered, %lld dropped, %lld waiting%s%s\n", status.delivered, status.dropped,
                status.waiting, status.problem.isEmpty() ? "" : ", ", status.problem.toLocal8Bit().constData());
    if (ownBroker.state() != QProcess::NotRunning) {
        ownBroker.terminate();
        ownBroker.waitForFinished();
    }
    return 0;
}
