// Logging one reading (ReadingLogger::logFrame: the row appended to the
// table, the grid model told, a proxy model following it) when the log
// already holds 1 000, 100 000, 1 000 000 and 10 000 000 rows, timed one
// reading at a time: "median_ns", "p99_ns" and "max_ns" per reading.
//
// BM_ResidentPerRow logs ten million readings the same way and reports the
// growth of resident memory (/proc/self/statm) per row. Run it alone for a
// clean figure, since memory freed by another benchmark may be reused:
//
//   build-log/bench/bench_logtable --benchmark_filter=ResidentPerRow
//   build-log/bench/bench_logtable --benchmark_filter=LogOneReading

#include "app/logmodel.h"
#include "log/logtable.h"
#include "log/readinglogger.h"
#include "meter/reading.h"
#include "shared/localeinfo.h"

#include <QGuiApplication>
#include <QIdentityProxyModel>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <limits>
#include <vector>

#include <unistd.h>

namespace {

const QTime Now(12, 0, 0);

// The readings of a meter that moves around: a few thousand values, two
// functions, now and then a failing judgement.
std::vector<Reading> sampleReadings()
{
    std::vector<Reading> readings(4096);
    for (int i = 0; i < int(readings.size()); ++i) {
        Reading &r = readings[std::size_t(i)];
        r.valueText = QString::number(1000 + (i * 37) % 3000).insert(1, u'.');
        r.function = i % 512 < 256 ? Reading::Function::Dc : Reading::Function::Ac;
        r.unit = Reading::Unit::Volt;
        r.range = Reading::Range::Auto;
        r.judgement = i % 50 ? Reading::Judgement::Pass : Reading::Judgement::Fail;
        r.numericValue = (1000 + (i * 37) % 3000) * 0.001;
    }
    return readings;
}

// The window's log: the table, the grid's model and a consumer of it.
struct Log
{
    LogTable table;
    LogModel model{table};
    QIdentityProxyModel proxy;
    FixedLocaleInfo locale;
    ReadingLogger logger{table, locale};
    long long inserted = 0;

    Log()
    {
        proxy.setSourceModel(&model);
        QObject::connect(&proxy, &QAbstractItemModel::rowsInserted, &proxy, [this] { ++inserted; });
        logger.setRecordLimit(std::numeric_limits<qint32>::max());
    }
};

double residentBytes()
{
    std::ifstream statm("/proc/self/statm");
    long long size = 0, resident = 0;
    statm >> size >> resident;
    return double(resident) * double(::sysconf(_SC_PAGESIZE));
}

void BM_LogOneReading(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const std::vector<Reading> readings = sampleReadings();
    Log log;
    // Filling is not timed; the model learns of these rows in one piece.
    log.table.beginBulk();
    for (int i = 0; i < rows; ++i)
        log.logger.logFrame(readings[std::size_t(i) % readings.size()], Now);
    log.table.endBulk();

    std::vector<double> samples;
    samples.reserve(1 << 20);
    std::size_t next = 0;
    for (auto _ : state) {
        const Reading &reading = readings[next++ % readings.size()];
        const auto start = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(log.logger.logFrame(reading, Now));
        const auto stop = std::chrono::steady_clock::now();
        const double seconds = std::chrono::duration<double>(stop - start).count();
        state.SetIterationTime(seconds);
        samples.push_back(seconds * 1e9);
    }
    std::sort(samples.begin(), samples.end());
    state.counters["median_ns"] = samples[samples.size() / 2];
    state.counters["p99_ns"] = samples[samples.size() * 99 / 100];
    state.counters["max_ns"] = samples.back();
    state.counters["rows_at_end"] = log.model.rowCount();
}

void BM_ResidentPerRow(benchmark::State &state)
{
    const int rows = int(state.range(0));
    const std::vector<Reading> readings = sampleReadings();
    for (auto _ : state) {
        const double before = residentBytes();
        auto log = std::make_unique<Log>();
        for (int i = 0; i < rows; ++i)
            log->logger.logFrame(readings[std::size_t(i) % readings.size()], Now);
        const double after = residentBytes();
        state.counters["bytes_per_row"] = (after - before) / rows;
        state.counters["table_bytes_per_row"] = double(log->table.memoryUsed()) / rows;
        state.counters["rows"] = log->model.rowCount();
    }
}

} // namespace

BENCHMARK(BM_ResidentPerRow)->Arg(10000000)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LogOneReading)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->Arg(10000000)
    ->UseManualTime()
    ->Iterations(200000)
    ->Unit(benchmark::kNanosecond);

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // the grid model hands out fonts
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
