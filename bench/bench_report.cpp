// The Data Report of a full default log (10 000 rows, 271 pages): building the
// print preview's pages and writing the PDF file, with the peak memory of each.
//
// Peak memory is the process's VmHWM, reset before every run through
// /proc/self/clear_refs: "peak_MB" is the highest mark of the runs, and
// "above_baseline_MB" that less the memory in use once the application object
// was made. The heap keeps what an earlier benchmark freed, so run one
// benchmark per process (--benchmark_filter) for clean figures.

#include "log/logtable.h"
#include "log/reportbuilder.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QTime>

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int TableRows = 10000;
double g_baselineMB = 0;

// The log holds the rows; the report reads them as it paints.
LogTable &loggedTable()
{
    static LogTable table;
    if (!table.isEmpty())
        return table;
    const QStringList units{"mV", "V", "k*", "uF", "#", "Hz"};
    table.beginBulk();
    for (int i = 0; i < TableRows; ++i) {
        table.append();
        table.setInteger(int(LogField::No), i + 1);
        table.setText(int(LogField::Time), QTime(8, 0).addSecs(i).toString("hh:mm:ss"));
        table.setText(int(LogField::DcAc), QString::fromLatin1(i % 2 ? "DC" : "AC"));
        table.setText(int(LogField::Value), QString::number((i % 4000) * 0.001, 'f', 3));
        table.setText(int(LogField::Unit), units.at(i % units.size()));
        table.setText(int(LogField::Auto), QString::fromLatin1(i % 7 ? "pass" : "Fail"));
        table.post(false);
    }
    table.endBulk();
    return table;
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
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_ReportPreviewPages(benchmark::State &state)
{
    ReportBuilder report(loggedTable());
    double peak = 0;
    for (auto _ : state) {
        resetPeak();
        {
            // What QPrintPreviewDialog does when it opens: paint every page
            // into a picture through the printer in preview mode.
            QPrinter printer(QPrinter::HighResolution);
            ReportBuilder::setUpPrinter(printer);
            QPrintPreviewWidget preview(&printer);
            QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, &preview,
                             [&](QPrinter *target) { report.print(target); });
            preview.updatePreview();
            if (preview.pageCount() != report.pageCount())
                state.SkipWithError("the preview lost pages");
        }
        peak = std::max(peak, statusMB("VmHWM:"));
    }
    state.counters["pages"] = report.pageCount();
    state.counters["peak_MB"] = peak;
    state.counters["above_baseline_MB"] = peak - g_baselineMB;
}
BENCHMARK(BM_ReportPreviewPages)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReportPdf(benchmark::State &state)
{
    ReportBuilder report(loggedTable());
    const QString path = QDir::temp().filePath(QStringLiteral("qm320-bench-report-%1.pdf").arg(QCoreApplication::applicationPid()));
    double peak = 0;
    for (auto _ : state) {
        resetPeak();
        if (!report.writePdf(path))
            state.SkipWithError(qPrintable(report.errorString()));
        peak = std::max(peak, statusMB("VmHWM:"));
    }
    state.counters["pages"] = report.pageCount();
    state.counters["file_MB"] = QFile(path).size() / (1024.0 * 1024.0);
    state.counters["peak_MB"] = peak;
    state.counters["above_baseline_MB"] = peak - g_baselineMB;
    QFile::remove(path);
}
BENCHMARK(BM_ReportPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // the preview widget needs one
    g_baselineMB = statusMB("VmRSS:");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
