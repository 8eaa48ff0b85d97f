// The Data Report of a default log (10 000 rows, 271 pages) and of a full
// "limitless" one (ten million rows, 270 271 pages): opening the print preview
// until its first page is drawn, writing a 100-page range of the big log to
// PDF and writing the whole small report, with the peak memory of each.
//
// "first_run_ms" is the process's first run, which also loads fonts and the
// print system. Peak memory is the process's VmHWM, reset before every run
// through /proc/self/clear_refs: "above_table_MB" is the highest mark of the
// runs less the memory in use just before the run, with the table filled and
// the application made, so what the report costs on top of the log. The heap
// keeps what an earlier benchmark freed, so run one benchmark per process
// (--benchmark_filter) for clean figures.

#include "app/reportpageview.h"
#include "app/reportpreviewdialog.h"
#include "bench/silentmessages.h"
#include "log/logtable.h"
#include "log/reportbuilder.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPageRanges>

#include <benchmark/benchmark.h>

#include <fstream>
#include <malloc.h>
#include <map>
#include <memory>
#include <string>

namespace {

// A log as the meter fills it, with a handful of distinct texts, so that it
// fills in seconds: the report reads rows, not how they came.
const LogTable &loggedTable(int rows)
{
    static std::map<int, std::unique_ptr<LogTable>> tables;
    std::unique_ptr<LogTable> &table = tables[rows];
    if (table)
        return *table;
    table = std::make_unique<LogTable>();
    const QString times[] = {"08:00:00", "08:00:01", "08:00:02", "08:00:03"};
    const QString functions[] = {"DC", "AC"};
    const QString values[] = {"1.234", "-0.567", "25", "0.L"};
    const QString units[] = {"mV", "k*", "#", "uF", "Hz"};
    const QString judgements[] = {"pass", "Fail"};
    table->beginBulk();
    for (int i = 0; i < rows; ++i) {
        table->append();
        table->setInteger(int(LogField::No), i + 1);
        table->setText(int(LogField::Time), times[i % 4]);
        table->setText(int(LogField::DcAc), functions[i % 2]);
        table->setText(int(LogField::Value), values[i % 4]);
        table->setText(int(LogField::Unit), units[i % 5]);
        table->setText(int(LogField::Auto), judgements[i % 7 == 0 ? 1 : 0]);
        table->post(false);
    }
    table->endBulk();
    return *table;
}

// Kilobytes of a "VmHWM:" or "VmRSS:" line of /proc/self/status.
double statusMB(const char *key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stod(line.substr(std::string(key).size())) / 1024.0;
    }
    return 0;
}

void resetPeak()
{
    // Memory an earlier case freed stays resident unless it goes back to the
    // system; a later case would reuse it and seem to cost nothing.
    malloc_trim(0);
    std::ofstream("/proc/self/clear_refs") << "5";
}


// Notes the first paint event of a widget; once the event loop has handed it
// on, the widget has painted.
class PaintWatcher : public QObject
{
public:
    explicit PaintWatcher(QWidget *widget) { widget->installEventFilter(this); }
    bool painted = false;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// What the runs of one benchmark cost at most, kept over all the times the
// library calls it: the first run of a process pays for loading fonts and
// the print system, and later runs reuse the heap the first one grew, so the
// last call's runs alone would hide both.
class RunCost
{
public:
    explicit RunCost(const std::string &benchmark)
        : m_record(records()[benchmark])
    {
    }

    void start()
    {
        m_before = statusMB("VmRSS:");
        resetPeak();
        m_timer.start();
    }
    void stop()
    {
        const double ms = m_timer.nsecsElapsed() / 1e6;
        if (m_record.firstMs < 0)
            m_record.firstMs = ms;
        m_record.aboveTableMB = std::max(m_record.aboveTableMB, statusMB("VmHWM:") - m_before);
    }
    void report(benchmark::State &state) const
    {
        state.counters["first_run_ms"] = m_record.firstMs;
        state.counters["above_table_MB"] = m_record.aboveTableMB;
    }

private:
    struct Record
    {
        double firstMs = -1;
        double aboveTableMB = 0;
    };
    static std::map<std::string, Record> &records()
    {
        static std::map<std::string, Record> all;
        return all;
    }

    Record &m_record;
    double m_before = 0;
    QElapsedTimer m_timer;
};

void BM_ReportPreviewOpen(benchmark::State &state)
{
    const LogTable &table = loggedTable(int(state.range(0)));
    SilentMessages messages;
    RunCost cost("preview/" + std::to_string(state.range(0)));
    int pages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        cost.start();
        state.ResumeTiming();
        {
            // What the print command does: the report of this moment, then
            // the preview, until its first page is on the screen.
            ReportBuilder report(table);
            ReportPreviewDialog preview(report, messages);
            PaintWatcher watcher(preview.pageView().viewport());
            preview.show();
            QElapsedTimer waited;
            waited.start();
            while (!watcher.painted && waited.elapsed() < 10000)
                QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            if (!watcher.painted)
                state.SkipWithError("the preview never drew its page");
            pages = preview.pageView().pageCount();
        }
        state.PauseTiming();
        cost.stop();
        state.ResumeTiming();
    }
    state.counters["pages"] = pages;
    cost.report(state);
}
BENCHMARK(BM_ReportPreviewOpen)->Arg(10000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writes `pages` to a PDF file (all when empty) and reports size and memory.
void writePdf(benchmark::State &state, const LogTable &table, const QPageRanges &pages)
{
    RunCost cost("pdf/" + std::to_string(table.rowCount()) + "/" + pages.toString().toStdString());
    ReportBuilder report(table);
    const QString path = QDir::temp().filePath(
        QStringLiteral("qm320-bench-report-%1.pdf").arg(QCoreApplication::applicationPid()));
    for (auto _ : state) {
        state.PauseTiming();
        cost.start();
        state.ResumeTiming();
        if (!report.writePdf(path, pages))
            state.SkipWithError(qPrintable(report.errorString()));
        state.PauseTiming();
        cost.stop();
        state.ResumeTiming();
    }
    state.counters["pages"] = pages.isEmpty() ? report.pageCount() : pages.lastPage() - pages.firstPage() + 1;
    state.counters["file_MB"] = QFile(path).size() / (1024.0 * 1024.0);
    cost.report(state);
    QFile::remove(path);
}

void BM_ReportPdfRange(benchmark::State &state)
{
    // A hundred pages from the middle of the log.
    const LogTable &table = loggedTable(int(state.range(0)));
    const int middle = ReportBuilder(table).pageCount() / 2;
    QPageRanges pages;
    pages.addRange(middle, middle + 99);
    writePdf(state, table, pages);
}
BENCHMARK(BM_ReportPdfRange)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReportPdf(benchmark::State &state)
{
    writePdf(state, loggedTable(int(state.range(0))), {});
}
BENCHMARK(BM_ReportPdf)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // the preview is a window
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
