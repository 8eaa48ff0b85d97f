// The chart at the log's largest size: adding a point, paging, and what the
// points cost in memory. The view is shown offscreen at its design size, and
// every timed step includes the repaint that the event loop performs.
//
//   build/bench/bench_chart
//
// Run the memory figure on its own, so no earlier benchmark's freed heap hides
// the growth:
//
//   build/bench/bench_chart --benchmark_filter=Memory

#include "chart/chartview.h"
#include "chart/chartpager.h"

#include <QApplication>
#include <QEvent>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <memory>
#include <vector>

#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Counts the paints of the plot widget, so a timed step can wait for exactly
// the repaint it caused.
class PaintCounter : public QObject
{
public:
    qint64 paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

struct ShownChart
{
    ChartView view;
    ChartPager pager{view, 100};
    PaintCounter counter;

    ShownChart()
    {
        view.resetSeries();
        view.resize(350, 316);
        view.show();
        view.findChild<QWidget *>()->installEventFilter(&counter);
        repaint();
    }

    // Runs the event loop until the queued replot has reached the screen.
    void repaint()
    {
        const qint64 before = counter.paints;
        for (int i = 0; i < 10 && counter.paints == before; ++i)
            QCoreApplication::processEvents();
    }

    // Logged values arrive through the pager, as from the log.
    void fill(qint64 count)
    {
        for (qint64 i = 0; i < count; ++i)
            pager.addPoint(value(i));
        repaint();
    }

    static double value(qint64 i) { return 3000 * std::sin(double(i) / 17.0); }
};

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

qint64 residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    qint64 size = 0;
    qint64 resident = 0;
    statm >> size >> resident;
    return resident * sysconf(_SC_PAGESIZE);
}

// One logged value: addPoint, the page follow, and the repaint of the page.
void BM_AddPoint(benchmark::State &state)
{
    ShownChart chart;
    // The placeholder counts as the first point.
    chart.fill(state.range(0) - 1);
    std::vector<double> samples;
    samples.reserve(std::size_t(state.max_iterations));
    qint64 i = state.range(0);
    const qint64 paintsBefore = chart.counter.paints;
    for (auto _ : state) {
        const auto start = Clock::now();
        chart.pager.addPoint(ShownChart::value(i++));
        chart.repaint();
        const double ms = millisecondsSince(start);
        state.SetIterationTime(ms / 1000);
        samples.push_back(ms);
    }
    state.counters["median_us"] = median(samples) * 1000;
    state.counters["points"] = double(chart.view.pointCount());
    // 1 when every step reached the screen.
    state.counters["paints_per_point"] =
        double(chart.counter.paints - paintsBefore) / double(state.iterations());
}
BENCHMARK(BM_AddPoint)
    ->Arg(1'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Iterations(2000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Page moves at ten million points with page size 100: First and Last cross
// 99 999 pages one scroll at a time; Next and Previous in the middle cross one.
void BM_Paging(benchmark::State &state)
{
    ShownChart chart;
    chart.fill(10'000'000 - 1);
    std::vector<double> first, last, next, previous;
    auto timed = [&chart](std::vector<double> &samples, void (ChartPager::*move)()) {
        const auto start = Clock::now();
        (chart.pager.*move)();
        chart.repaint();
        samples.push_back(millisecondsSince(start));
    };
    for (auto _ : state) {
        timed(first, &ChartPager::showFirstPage);
        timed(last, &ChartPager::showLastPage);
        chart.pager.showFirstPage();
        for (int page = 1; page < 50'000; ++page)
            chart.pager.showNextPage();
        chart.repaint();
        timed(next, &ChartPager::showNextPage);
        timed(previous, &ChartPager::showPreviousPage);
        chart.pager.showLastPage();
        chart.repaint();
    }
    state.counters["first_ms"] = median(first);
    state.counters["last_ms"] = median(last);
    state.counters["middle_next_ms"] = median(next);
    state.counters["middle_previous_ms"] = median(previous);
}
BENCHMARK(BM_Paging)->Iterations(15)->Unit(benchmark::kMillisecond);

// Resident memory the chart gains per point over ten million points.
void BM_Memory(benchmark::State &state)
{
    for (auto _ : state) {
        auto chart = std::make_unique<ShownChart>();
        const qint64 before = residentBytes();
        chart->fill(10'000'000 - 1);
        const qint64 after = residentBytes();
        state.counters["bytes_per_point"] = double(after - before) / 10'000'000.0;
    }
}
BENCHMARK(BM_Memory)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
