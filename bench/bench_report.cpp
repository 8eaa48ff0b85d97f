// The Data Report of a default log (10 000 rows, 271 pages) and of a full
// "limitless" one (ten million rows, 270 271 pages): opening the print preview
// until its first page is drawn, writing a 100-page range of the big log to
// PDF and writing the whole small report, with the peak memory of each.
//
// "first_run_ms" is a case's first run; in the process's first case it also
// loads fonts and the print system. "above_table_MB" is the peak memory of
// one run less the memory in use just before it, with the table filled and
// the application made: what the report costs on top of the log. It is
// measured in a fresh process of its own (this program, started with
// --memory-case), because a process keeps the heap, fonts and glyph caches an
// earlier case grew, and a later case there would seem to cost nothing.

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
#include <QProcess>

#include <benchmark/benchmark.h>

#include <cstdio>
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

// Starts the peak over from what is resident now; filling the table grew
// and freed blocks that would otherwise count as the report's.
void resetPeak()
{
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

// The time of a case's first run, kept over all the times the library calls
// the benchmark.
class FirstRun
{
public:
    explicit FirstRun(const std::string &benchmark)
        : m_firstMs(records().try_emplace(benchmark, -1.0).first->second)
    { }

    void start() { m_timer.start(); }
    void stop()
    {
        if (m_firstMs < 0)
            m_firstMs = m_timer.nsecsElapsed() / 1e6;
    }
    void report(benchmark::State &state) const { state.counters["first_run_ms"] = m_firstMs; }

private:
    static std::map<std::string, double> &records()
    {
        static std::map<std::string, double> all;
        return all;
    }

    double &m_firstMs;
    QElapsedTimer m_timer;
};

QString selfPath;

// Runs `memoryCase` once in a fresh process and reports its peak above the
// table.
void reportMemory(benchmark::State &state, const QString &memoryCase)
{
    QProcess child;
    child.start(selfPath, {QStringLiteral("--memory-case=") + memoryCase});
    bool ok = false;
    double mb = 0;
    if (child.waitForFinished(600000) && child.exitCode() == 0)
        mb = child.readAllStandardOutput().trimmed().toDouble(&ok);
    if (!ok)
        state.SkipWithError("the memory case failed");
    state.counters["above_table_MB"] = mb;
}

// The preview of the report of `table`, open until its first page is on the
// screen; false when it never draws it.
bool openPreview(const LogTable &table, int *pageCount = nullptr)
{
    // What the print command does: the report of this moment, then the
    // preview.
    SilentMessages messages;
    ReportBuilder report(table);
    ReportPreviewDialog preview(report, messages);
    PaintWatcher watcher(preview.pageView().viewport());
    preview.show();
    QElapsedTimer waited;
    waited.start();
    while (!watcher.painted && waited.elapsed() < 10000)
        QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    if (pageCount)
        *pageCount = preview.pageView().pageCount();
    return watcher.painted;
}

// The middle hundred pages of the report of `table`.
QPageRanges middleHundredPages(const LogTable &table)
{
    const int middle = ReportBuilder(table).pageCount() / 2;
    QPageRanges pages;
    pages.addRange(middle, middle + 99);
    return pages;
}

QString pdfPath()
{
    return QDir::temp().filePath(QStringLiteral("qm320-bench-report-%1.pdf").arg(QCoreApplication::applicationPid()));
}

void BM_ReportPreviewOpen(benchmark::State &state)
{
    const LogTable &table = loggedTable(int(state.range(0)));
    FirstRun first("preview/" + std::to_string(state.range(0)));
    int pages = 0;
    for (auto _ : state) {
        first.start();
        if (!openPreview(table, &pages))
            state.SkipWithError("the preview never drew its page");
        first.stop();
    }
    state.counters["pages"] = pages;
    first.report(state);
    reportMemory(state, QStringLiteral("preview/%1").arg(state.range(0)));
}
BENCHMARK(BM_ReportPreviewOpen)->Arg(10000)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Writes `pages` to a PDF file (all when empty) and reports its size.
void writePdf(benchmark::State &state, const LogTable &table, const QPageRanges &pages, const QString &memoryCase)
{
    FirstRun first("pdf/" + memoryCase.toStdString());
    ReportBuilder report(table);
    const QString path = pdfPath();
    for (auto _ : state) {
        first.start();
        if (!report.writePdf(path, pages))
            state.SkipWithError(qPrintable(report.errorString()));
        first.stop();
    }
    state.counters["pages"] = pages.isEmpty() ? report.pageCount() : pages.lastPage() - pages.firstPage() + 1;
    state.counters["file_MB"] = QFile(path).size() / (1024.0 * 1024.0);
    first.report(state);
    QFile::remove(path);
    reportMemory(state, memoryCase);
}

void BM_ReportPdfRange(benchmark::State &state)
{
    const LogTable &table = loggedTable(int(state.range(0)));
    writePdf(state, table, middleHundredPages(table), QStringLiteral("pdfrange/%1").arg(state.range(0)));
}
BENCHMARK(BM_ReportPdfRange)->Arg(10000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReportPdf(benchmark::State &state)
{
    writePdf(state, loggedTable(int(state.range(0))), {}, QStringLiteral("pdf/%1").arg(state.range(0)));
}
BENCHMARK(BM_ReportPdf)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime();

// One case of --memory-case=KIND/ROWS, run once: prints the peak above the
// table in MB.
int runMemoryCase(const QString &memoryCase)
{
    const QStringList parts = memoryCase.split(u'/');
    bool ok = false;
    const int rows = parts.size() == 2 ? parts[1].toInt(&ok) : 0;
    if (!ok || rows <= 0)
        return 2;
    const LogTable &table = loggedTable(rows);
    const QString kind = parts[0];
    const QPageRanges pages = kind == QLatin1String("pdfrange") ? middleHundredPages(table) : QPageRanges();
    resetPeak();
    const double before = statusMB("VmRSS:");
    bool done = false;
    if (kind == QLatin1String("preview")) {
        done = openPreview(table);
    } else if (kind == QLatin1String("pdf") || kind == QLatin1String("pdfrange")) {
        ReportBuilder report(table);
        done = report.writePdf(pdfPath(), pages);
        QFile::remove(pdfPath());
    }
    if (!done)
        return 1;
    std::printf("%.2f\n", statusMB("VmHWM:") - before);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // the preview is a window
    const QString memoryFlag = QStringLiteral("--memory-case=");
    if (argc > 1 && QString::fromLocal8Bit(argv[1]).startsWith(memoryFlag))
        return runMemoryCase(QString::fromLocal8Bit(argv[1]).mid(memoryFlag.size()));
    selfPath = QCoreApplication::applicationFilePath();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
