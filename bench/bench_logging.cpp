// Logging one reading through the whole window, at 1 000, 100 000, 1 000 000
// and 10 000 000 logged rows: frame assembly and decoding, the LCD panel and
// the judgement, the log table and its grid, the chart point with the page
// follow, and the repaint of what changed. Also the resident memory that the
// logged rows cost (table, grid and chart together; the journal on disk is
// written as in a real run), and how long moving the
// grid or the chart to any place takes at the largest size.
//
//   build/bench/bench_logging [largest-row-count]
//
// Offscreen; prints medians of 200 readings at each size.

#include "app/chartcontrols.h"
#include "app/loggridview.h"
#include "app/mainwindow.h"
#include "bench/median.h"
#include "bench/sessionfeed.h"
#include "bench/silentmessages.h"
#include "session/metersession.h"

#include <QAction>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

long residentKiB()
{
    long pages = 0, resident = 0;
    if (std::FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

using SessionFeed::voltFrame;

template <class F> double timeMs(F &&f)
{
    QElapsedTimer t;
    t.start();
    f();
    return double(t.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long largest = argc > 1 ? std::atol(argv[1]) : 10000000;
    // The journal goes where it would for a user, in a folder of its own
    // here; every row is written to it as in a real run. The settings stay
    // away from the user's too.
    QTemporaryDir dataHome;
    qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dataHome.filePath(QStringLiteral("config")).toLocal8Bit());

    // The notice that the record limit is reached would wait for a click.
    WindowServices services = systemWindowServices();
    services.messages = std::make_unique<SilentMessages>();
    MainWindow window(std::move(services));
    window.show();
    window.findChild<QAction *>(QStringLiteral("recordLimitlessAction"))->trigger();
    app.processEvents();

    MeterSession &session = window.session();
    session.feedSerialBytes("\n");
    auto logOne = [&](int i) { session.feedSerialBytes(voltFrame(i)); };

    std::printf("%12s %14s %14s %16s\n", "rows", "median (us)", "p90 (us)", "resident B/row");
    const long startKiB = residentKiB();
    long logged = 0;
    for (long target : {1000L, 100000L, 1000000L, 10000000L}) {
        if (target > largest)
            break;
        // Up to the size; the chart queues one repaint.
        logged = SessionFeed::fillTo(session, logged, target - 200);

        std::vector<double> times;
        for (int k = 0; k < 200; ++k, ++logged) {
            times.push_back(1000.0 * timeMs([&] {
                                logOne(int(logged));
                                app.processEvents();
                            }));
        }
        std::vector<double> sorted = times;
        std::sort(sorted.begin(), sorted.end());
        const double bytesPerRow = double(residentKiB() - startKiB) * 1024.0 / double(logged);
        std::printf("%12ld %14.1f %14.1f %16.1f\n", logged, median(times), sorted[sorted.size() * 9 / 10], bytesPerRow);
        std::fflush(stdout);
    }

    // Moving the view at the largest size, each with its repaint.
    auto *grid = window.findChild<LogGridView *>(QStringLiteral("logGrid"));
    std::printf("\nat %ld rows:\n", logged);
    std::printf("  grid to the first row:   %8.2f ms\n", timeMs([&] {
                    grid->setCurrentRow(0);
                    app.processEvents();
                }));
    std::printf("  grid to the middle row:  %8.2f ms\n", timeMs([&] {
                    grid->setCurrentRow(int(logged / 2));
                    app.processEvents();
                }));
    std::printf("  grid to the last row:    %8.2f ms\n", timeMs([&] {
                    grid->setCurrentRow(int(logged - 1));
                    app.processEvents();
                }));
    std::printf("  chart to the first page: %8.2f ms\n", timeMs([&] {
                    window.chartControls().showFirstPage();
                    app.processEvents();
                }));
    std::printf("  chart one page on:       %8.2f ms\n", timeMs([&] {
                    window.chartControls().showNextPage();
                    app.processEvents();
                }));
    std::printf("  chart to the last page:  %8.2f ms\n", timeMs([&] {
                    window.chartControls().showLastPage();
                    app.processEvents();
                }));
    return 0;
}
