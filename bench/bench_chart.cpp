// The chart at the log's largest size: adding a point, paging, and what the
// points cost in memory. The view is shown offscreen at its design size, and
// every timed step includes the repaint that the event loop performs.
//
//   build/bench/bench_chart
//   build/bench/bench_chart --benchmark_filter=Repaint   # one case

#include "bench/median.h"
#include "chart/chartpager.h"
#include "chart/chartview.h"

#include <QApplication>
#include <QPaintEvent>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

#include <malloc.h>

namespace {

using Clock = std::chrono::steady_clock;

// Counts the paints of the plot widget and the pixels they cover, so a timed
// step can wait for exactly the repaint it caused and tell how much it
// repainted.
class PaintCounter : public QObject
{
public:
    qint64 paints = 0;
    qint64 pixels = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            for (const QRect &rect : static_cast<QPaintEvent *>(event)->region())
                pixels += qint64(rect.width()) * rect.height();
        }
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
        view.resize(350, 316);
        view.show();
        view.findChild<QWidget *>()->installEventFilter(&counter);
        repaint();
    }

    // Runs the event loop until the queued repaint has reached the screen.
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

// Heap bytes in use, from the allocator's own books. Unlike the resident
// size, which keeps the pages an earlier case freed, it counts only what is
// held now, so the figure does not depend on what ran before.
qint64 heapBytesInUse()
{
    const struct mallinfo2 heap = mallinfo2();
    return qint64(heap.uordblks + heap.hblkhd);
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
    state.counters["paints_per_point"] = double(chart.counter.paints - paintsBefore) / double(state.iterations());
}
BENCHMARK(BM_AddPoint)
    ->Arg(1'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Arg(10'000'000)
    ->Iterations(2000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// One value and the repaint it causes, at ten million points. Following the
// newest page, a value on it repaints what it changed, and every hundredth
// opens a new page, which repaints the whole chart; paged back, a value lands
// beyond the page shown and repaints nothing. Reports the median of each kind
// and the pixels repainted per value.
void BM_AddPointRepaint(benchmark::State &state)
{
    ShownChart chart;
    chart.fill(10'000'000 - 1);
    if (state.range(0) != 0) {
        chart.pager.showPreviousPage();
        chart.repaint();
    }
    std::vector<double> all, onPage, newPage;
    all.reserve(std::size_t(state.max_iterations));
    qint64 i = chart.view.pointCount();
    const qint64 paintsBefore = chart.counter.paints;
    const qint64 pixelsBefore = chart.counter.pixels;
    for (auto _ : state) {
        const qint32 page = chart.pager.currentPage();
        const auto start = Clock::now();
        chart.pager.addPoint(ShownChart::value(i++));
        chart.repaint();
        const double ms = millisecondsSince(start);
        state.SetIterationTime(ms / 1000);
        all.push_back(ms);
        (chart.pager.currentPage() == page ? onPage : newPage).push_back(ms);
    }
    const double values = double(state.iterations());
    state.counters["median_us"] = median(all) * 1000;
    if (!onPage.empty())
        state.counters["same_page_median_us"] = median(onPage) * 1000;
    if (!newPage.empty())
        state.counters["new_page_median_us"] = median(newPage) * 1000;
    state.counters["paints_per_point"] = double(chart.counter.paints - paintsBefore) / values;
    state.counters["pixels_per_point"] = double(chart.counter.pixels - pixelsBefore) / values;
}
BENCHMARK(BM_AddPointRepaint)
    ->ArgName("pagedBack")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

// Page moves at ten million points with page size 100: First and Last cross
// 99 999 pages, Next and Previous in the middle one; each is one step.
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

// Heap memory the chart takes per point over ten million points. The time is
// that of adding them in one burst, as when a log of that size is opened.
void BM_Memory(benchmark::State &state)
{
    for (auto _ : state) {
        auto chart = std::make_unique<ShownChart>();
        const qint64 before = heapBytesInUse();
        chart->fill(10'000'000 - 1);
        const qint64 after = heapBytesInUse();
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
