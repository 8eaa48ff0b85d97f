// Saving and opening one million logged rows in both table file forms, in
// megabytes of file per second, each beside a plain write or read of the
// same bytes ("plain_ratio": how many times longer the table file takes).
//
// Saves go through QSaveFile, which syncs the temporary file to disk before
// it replaces the target; the plain write syncs too ("plain write+sync"),
// so the ratio compares like with like. Files live in $TMPDIR (default
// /tmp).
//
//   build-log/bench/bench_logfiles

#include "log/logtable.h"
#include "log/tablefiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTime>

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

constexpr int Rows = 1000000;

// A meter logged at three frames a second: volts, then kilo-ohms, with a
// failing judgement now and then.
const LogTable &loggedTable()
{
    static LogTable table;
    if (table.isEmpty()) {
        for (int i = 0; i < Rows; ++i) {
            table.append();
            table.setText(int(LogField::Value), QString::number(1000 + (i * 37) % 3000).insert(1, u'.'));
            table.setText(int(LogField::Time), QTime(8, 0).addSecs(i / 3).toString(QStringLiteral("hh:mm:ss")));
            table.setInteger(int(LogField::No), i + 1);
            table.setText(int(LogField::DcAc), i < Rows / 2 ? u"DC" : u"OHM");
            table.setText(int(LogField::Unit), i < Rows / 2 ? u"V" : u"k*");
            table.setText(int(LogField::Auto), i % 50 ? u"pass" : u"Fail");
            table.post();
        }
    }
    return table;
}

QString path(const char *name)
{
    return QDir(qEnvironmentVariable("TMPDIR", QStringLiteral("/tmp"))).filePath(QLatin1String(name));
}

double plainWriteSeconds(const QByteArray &bytes)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(path("bench-plain.bin"));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || ::fdatasync(file.handle()) != 0)
        return 0;
    file.close();
    return double(timer.nsecsElapsed()) * 1e-9;
}

double plainReadSeconds(const QString &name)
{
    QElapsedTimer timer;
    timer.start();
    QFile file(name);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray bytes = file.readAll();
    benchmark::DoNotOptimize(bytes.data());
    return double(timer.nsecsElapsed()) * 1e-9;
}

void report(benchmark::State &state, qint64 bytes, double seconds, double plainSeconds)
{
    state.SetBytesProcessed(int64_t(state.iterations()) * bytes);
    state.counters["file_MB"] = double(bytes) / 1e6;
    state.counters["plain_MB/s"] = plainSeconds > 0 ? double(bytes) / plainSeconds / 1e6 : 0;
    state.counters["plain_ratio"] = plainSeconds > 0 ? seconds / plainSeconds : 0;
}

void save(benchmark::State &state, const char *name)
{
    const LogTable &table = loggedTable();
    const QString file = path(name);
    double seconds = 0;
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        // The text save moves the current row, nothing else.
        if (!saveTableFile(const_cast<LogTable &>(table), file))
            state.SkipWithError("save failed");
        seconds += double(timer.nsecsElapsed()) * 1e-9;
    }
    QFile written(file);
    written.open(QIODevice::ReadOnly);
    const QByteArray bytes = written.readAll();
    double plain = 0;
    for (int i = 0; i < 3; ++i)
        plain += plainWriteSeconds(bytes);
    report(state, bytes.size(), seconds / double(state.iterations()), plain / 3);
}

void open(benchmark::State &state, const char *name)
{
    const QString file = path(name);
    if (!QFile::exists(file) && !saveTableFile(const_cast<LogTable &>(loggedTable()), file)) {
        state.SkipWithError("save failed");
        return;
    }
    double seconds = 0;
    int rows = 0;
    for (auto _ : state) {
        LogTable table;
        QElapsedTimer timer;
        timer.start();
        if (!loadTableFile(file, table))
            state.SkipWithError("open failed");
        seconds += double(timer.nsecsElapsed()) * 1e-9;
        rows = table.rowCount();
        state.PauseTiming(); // freeing the table is not part of the open
        table.clear();
        state.ResumeTiming();
    }
    double plain = 0;
    for (int i = 0; i < 3; ++i)
        plain += plainReadSeconds(file);
    report(state, QFile(file).size(), seconds / double(state.iterations()), plain / 3);
    state.counters["rows"] = rows;
}

void BM_SaveText(benchmark::State &state)
{
    save(state, "bench-log.xls");
}
void BM_OpenText(benchmark::State &state)
{
    open(state, "bench-log.xls");
}
void BM_SaveXml(benchmark::State &state)
{
    save(state, "bench-log.xml");
}
void BM_OpenXml(benchmark::State &state)
{
    open(state, "bench-log.xml");
}

} // namespace

BENCHMARK(BM_SaveText)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_OpenText)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_SaveXml)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();
BENCHMARK(BM_OpenXml)->Unit(benchmark::kMillisecond)->MinTime(2)->UseRealTime();

BENCHMARK_MAIN();
