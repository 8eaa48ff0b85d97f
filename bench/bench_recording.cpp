// Logging one reading below the window, with the statistics and publishing
// to a broker on, at 1 000, 100 000, 1 000 000 and 10 000 000 logged rows:
// frame assembly and decoding, the judgement, the log table, the journal on
// disk, the statistics of the log, and the reading's message queued for the
// broker.
//
// With --window the same through the whole window, as a bench runs it: the
// LCD, the grid, the chart, the statistics line under the grid and the
// window's own publishing to the broker, each reading painted before the
// next (offscreen).
//
//   build/bench/bench_recording [largest-row-count] [--broker mqtt://host:port/topic] [--window]
//
// Without --broker it starts a Mosquitto broker of its own on 127.0.0.1 (from
// the PATH or /usr/sbin), where there is one. Prints medians of 200 readings
// at each size, and what the publisher did.

#include "app/brokerpublishing.h"
#include "app/mainwindow.h"
#include "bench/median.h"
#include "bench/sessionfeed.h"
#include "bench/silentmessages.h"
#include "log/logstatistics.h"
#include "publish/brokeraddress.h"
#include "publish/messagepublisher.h"
#include "publish/readingpublisher.h"
#include "session/metersession.h"
#include "shared/localeinfo.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

using SessionFeed::voltFrame;

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
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    long largest = 10000000;
    QString brokerUrl;
    bool throughWindow = false;
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--broker") && i + 1 < args.size())
            brokerUrl = args[++i];
        else if (args[i] == QLatin1String("--window"))
            throughWindow = true;
        else
            largest = args[i].toLong();
    }

    QTemporaryDir dir;
    QProcess ownBroker;
    if (brokerUrl.isEmpty())
        brokerUrl = startBroker(ownBroker, dir);

    FixedLocaleInfo locale;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<MeterSession> ownSession;
    std::unique_ptr<LogStatistics> ownStatistics;
    ReadingPublisher publisher(createMessagePublisher());
    if (throughWindow) {
        // The journal and the settings stay away from the user's.
        qputenv("XDG_CONFIG_HOME", dir.filePath(QStringLiteral("config")).toLocal8Bit());
        WindowServices services = systemWindowServices();
        services.messages = std::make_unique<SilentMessages>();
        services.dataFolder = dir.filePath(QStringLiteral("journal"));
        services.settingsFile.clear();
        window = std::make_unique<MainWindow>(std::move(services));
        window->show();
        window->findChild<QAction *>(QStringLiteral("recordLimitlessAction"))->trigger();
        QString why;
        if (!window->publishing().setAddress(brokerUrl, &why))
            std::fprintf(stderr, "no broker to publish to (%s): publishing stays off\n", why.toLocal8Bit().constData());
        QElapsedTimer waited;
        waited.start();
        while (!window->publishing().statusText().contains(QLatin1String("connected")) && waited.elapsed() < 10000)
            app.processEvents(QEventLoop::AllEvents, 50);
        std::printf("through the window, %s\n", window->publishing().statusText().toLocal8Bit().constData());
    } else {
        ownSession = std::make_unique<MeterSession>(locale);
        ownSession->setRecordLimit(10000000);
        ownSession->startJournal(dir.filePath(QStringLiteral("journal")));
        ownStatistics = std::make_unique<LogStatistics>(ownSession->log());
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
        QObject::connect(ownSession.get(), &MeterSession::readingDecoded, &publisher, [&](const DecodeResult &result) {
            publisher.publishReading(result.reading, ownSession->decodedFrames(), QDateTime::currentMSecsSinceEpoch());
        });
    }
    MeterSession &session = window ? window->session() : *ownSession;

    session.feedSerialBytes("\n");
    std::printf("%12s %14s %14s %14s\n", "rows", "median (us)", "p90 (us)", "max (us)");
    long logged = 0;
    for (long target : {1000L, 100000L, 1000000L, 10000000L}) {
        if (target > largest)
            break;
        // Up to the size through the same path, every reading published.
        logged = SessionFeed::fillTo(session, logged, target - 200);

        // One reading at a time, as the meter sends them.
        std::vector<double> times;
        for (int k = 0; k < 200; ++k, ++logged) {
            const QByteArray one = voltFrame(int(logged));
            QElapsedTimer t;
            t.start();
            session.feedSerialBytes(one);
            if (window)
                app.processEvents(); // painted, as the next reading finds it
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

    if (window) {
        const QString line = window->findChild<QLabel *>(QStringLiteral("statisticsLabel"))->text();
        std::printf("\nstatistics: %s\n", line.simplified().toLocal8Bit().constData());
        // The queue gets its moment to reach the broker before the count.
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 2000)
            app.processEvents(QEventLoop::AllEvents, 50);
        std::printf("publisher: %s\n", window->publishing().statusText().toLocal8Bit().constData());
    } else {
        const ModeStatistics *current = ownStatistics->current();
        std::printf("\nstatistics: %s\n",
                    current ? current->summaryText(QStringLiteral(".")).toLocal8Bit().constData() : "-");
        const PublisherStatus status = publisher.status();
        std::printf("publisher: %lld delivered, %lld dropped, %lld waiting%s%s\n", status.delivered, status.dropped,
                    status.waiting, status.problem.isEmpty() ? "" : ", ", status.problem.toLocal8Bit().constData());
    }
    window.reset();
    if (ownBroker.state() != QProcess::NotRunning) {
        ownBroker.terminate();
        ownBroker.waitForFinished();
    }
    return 0;
}
