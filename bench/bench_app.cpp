// The window: how long from process start until it is on the screen, next to
// a bare Qt window started the same way, and what one decoded frame costs
// the LCD panel (decode, then paint). Offscreen, so no display is needed.
//
// A third window, bare but for one line of text, shows what any window with
// text pays before it shows: reading the system's font configuration and
// loading a font, which the bare window never does.
//
//   build/bench/bench_app
//
// Each start-up sample spawns a fresh process (this program in a child mode)
// and times it until the child reports its window's first paint; the
// figures to read are the medians. For the ratios, read the interleaved
// case: the separate cases run one after another, and a machine that slows
// or speeds up meanwhile moves their ratios by a tenth or more.

#include "app/mainwindow.h"
#include "app/qm320application.h"
#include "app/usermessages.h"
#include "bench/median.h"
#include "meter/lcdpanel.h"
#include "session/metersession.h"
#include "shared/localeinfo.h"
#include "transport/serialbackend.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

const char *ChildWindow = "--child=window";
const char *ChildBare = "--child=bare";
const char *ChildText = "--child=text";

// Reports the first paint of the watched window on standard output and ends
// the child.
class FirstPaint : public QObject
{
protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !m_reported) {
            m_reported = true;
            std::fputs("shown\n", stdout);
            std::fflush(stdout);
            QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
        }
        return false;
    }

private:
    bool m_reported = false;
};

enum class Child { Window, Bare, Text };

int runChild(int argc, char **argv, Child child)
{
    if (child == Child::Window) {
        // As main() does it.
        Qm320Application app(argc, argv);
        MainWindow w(systemWindowServices());
        FirstPaint watch;
        w.installEventFilter(&watch);
        w.centreOnScreen();
        w.show();
        return app.exec();
    }
    QApplication app(argc, argv);
    QWidget w;
    w.resize(663, 530);
    if (child == Child::Text)
        new QLabel(QStringLiteral("Digital Multimeter"), &w);
    FirstPaint watch;
    w.installEventFilter(&watch);
    w.show();
    return app.exec();
}

QString selfPath;

// Milliseconds from starting the child until it reports its first paint,
// or a negative number when it never does.
double msUntilShown(const char *mode)
{
    QProcess child;
    QElapsedTimer clock;
    clock.start();
    child.start(selfPath, {QString::fromLatin1(mode)});
    bool shown = false;
    while (!shown && child.waitForReadyRead(10000))
        shown = child.readAllStandardOutput().contains("shown");
    const double ms = double(clock.nsecsElapsed()) * 1e-6;
    child.waitForFinished(10000);
    return shown ? ms : -1;
}

void startUntilShown(benchmark::State &state, const char *mode)
{
    for (auto _ : state) {
        const double ms = msUntilShown(mode);
        if (ms < 0) {
            state.SkipWithError("the child never showed its window");
            break;
        }
        state.SetIterationTime(ms * 1e-3);
    }
}

// The three windows started in turn, round after round, so that whatever
// else the machine does in the meantime weighs on all three alike; the
// ratios of the medians are the figures to read. Its time is the window's.
void BM_StartToShown_Interleaved(benchmark::State &state)
{
    constexpr int Rounds = 25;
    for (auto _ : state) {
        std::vector<double> bare, text, window;
        for (int round = 0; round < Rounds; ++round) {
            bare.push_back(msUntilShown(ChildBare));
            text.push_back(msUntilShown(ChildText));
            window.push_back(msUntilShown(ChildWindow));
            if (bare.back() < 0 || text.back() < 0 || window.back() < 0) {
                state.SkipWithError("a child never showed its window");
                return;
            }
        }
        const double bareMs = median(bare), textMs = median(text), windowMs = median(window);
        state.SetIterationTime(windowMs * 1e-3);
        state.counters["bare_ms"] = bareMs;
        state.counters["text_ms"] = textMs;
        state.counters["window_ms"] = windowMs;
        state.counters["text_per_bare"] = textMs / bareMs;
        state.counters["window_per_bare"] = windowMs / bareMs;
    }
}
BENCHMARK(BM_StartToShown_Interleaved)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_StartToShown_BareQtWindow(benchmark::State &state)
{
    startUntilShown(state, ChildBare);
}
BENCHMARK(BM_StartToShown_BareQtWindow)->UseManualTime()->Iterations(1)->Repetitions(9)->Unit(benchmark::kMillisecond);

void BM_StartToShown_BareQtWindowWithText(benchmark::State &state)
{
    startUntilShown(state, ChildText);
}
BENCHMARK(BM_StartToShown_BareQtWindowWithText)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(9)
    ->Unit(benchmark::kMillisecond);

void BM_StartToShown_Qm320Window(benchmark::State &state)
{
    startUntilShown(state, ChildWindow);
}
BENCHMARK(BM_StartToShown_Qm320Window)->UseManualTime()->Iterations(1)->Repetitions(9)->Unit(benchmark::kMillisecond);

class SilentMessages : public UserMessages
{
public:
    void information(QWidget *, const QString &) override { }
    void error(QWidget *, const QString &) override { }
    bool confirm(QWidget *, const QString &) override { return false; }
    bool ask(QWidget *, const QString &, const QString &) override { return false; }
    SaveChoice askToSave(QWidget *, const QString &) override { return SaveChoice::Discard; }
    OpenChoice askHowToOpen(QWidget *, const QString &) override { return OpenChoice::Replace; }
};

// Two frames that differ in digits, point, sign and annunciators, so every
// frame changes what the panel shows.
QByteArray frame(bool odd)
{
    const char a[] = {'+', '1', '2', '3', '4', ' ', '1', 0x30, 0x00, 0x00, char(0x80), 0x00, '\r', '\n'};
    const char b[] = {'-', '0', '3', '5', '0', ' ', '4', 0x10, 0x20, char(0x80), 0x40, 0x00, '\r', '\n'};
    return odd ? QByteArray(b, 14) : QByteArray(a, 14);
}

void BM_DecodeAndPaintFrame(benchmark::State &state)
{
    WindowServices services;
    services.locale = std::make_unique<FixedLocaleInfo>();
    services.messages = std::make_unique<SilentMessages>();
    services.serialBackend = createSerialBackend();
    services.machine = QStringLiteral("x86_64");
    MainWindow window(std::move(services));
    window.show();
    QCoreApplication::processEvents();
    auto *panel = window.findChild<LcdPanel *>(QStringLiteral("lcdPanel"));
    MeterSession &session = window.session();

    session.feedSerialBytes("\n");
    bool odd = false;
    for (auto _ : state) {
        const QByteArray bytes = frame(odd);
        odd = !odd;
        session.feedSerialBytes(bytes);
        // The whole panel, although a frame usually changes only a few
        // elements; the bar graph below it overlaps its last row and is
        // painted with it.
        panel->repaint();
    }
}
BENCHMARK(BM_DecodeAndPaintFrame)->Repetitions(9)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && !std::strcmp(argv[1], ChildWindow))
        return runChild(argc, argv, Child::Window);
    if (argc > 1 && !std::strcmp(argv[1], ChildBare))
        return runChild(argc, argv, Child::Bare);
    if (argc > 1 && !std::strcmp(argv[1], ChildText))
        return runChild(argc, argv, Child::Text);

    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The started windows keep their journal and settings away from the user's.
    QTemporaryDir home;
    qputenv("XDG_DATA_HOME", home.filePath(QStringLiteral("data")).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.filePath(QStringLiteral("config")).toLocal8Bit());
    QApplication app(argc, argv);
    selfPath = QCoreApplication::applicationFilePath();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
