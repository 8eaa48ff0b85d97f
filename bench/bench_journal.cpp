// How long the start takes to learn what a journal left by an earlier run
// holds, before anything is offered, and the most memory that took: for a
// journal of good rows, and for journals that end in one very long line
// (complete, or cut short as a crash leaves it).
//
//   build/bench/bench_journal CASE [megabytes] [runs]
//
//   CASE  rows | long-line | long-partial-line
//
// The file is written into a temporary folder first (megabytes, default
// 200); prints the median time of the runs (default 3) and the peak
// resident memory of the process. One case per process, so that the memory
// figure is that case's.

#include "log/abandonedjournal.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "bench/median.h"

#include <cstdio>
#include <cstring>
#include <sys/resource.h>

namespace {

const QByteArray Header("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");

QByteArray row(int no)
{
    return QByteArray::number(no) + "\t10:" + QByteArray::number(10 + no / 60 % 50) + ':'
           + QByteArray::number(10 + no % 50) + "\tDC\t1.234\tV\tpass\r\n";
}

// Streams the file in pieces, so that writing it costs no memory either.
bool writeJournal(const QString &name, const QByteArray &kind, qint64 bytes)
{
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(Header);
    int no = 1;
    if (kind == "rows") {
        QByteArray piece;
        while (file.size() < bytes) {
            piece.clear();
            while (piece.size() < (1 << 20))
                piece += row(no++);
            file.write(piece);
        }
        return true;
    }
    for (; no <= 10; ++no)
        file.write(row(no));
    const QByteArray filler(1 << 20, 'x');
    for (qint64 written = 0; written < bytes; written += filler.size())
        file.write(filler);
    if (kind == "long-line")
        file.write("\r\n");
    return true;
}

long peakResidentKiB()
{
    struct rusage usage = {};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_journal rows|long-line|long-partial-line [megabytes] [runs]\n");
        return 2;
    }
    const QByteArray kind(argv[1]);
    const qint64 megabytes = argc > 2 ? std::atoll(argv[2]) : 200;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    QTemporaryDir dir;
    const QString name = dir.filePath(QStringLiteral("journal-20240101-100000-1.xls"));
    if (!writeJournal(name, kind, megabytes << 20)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(name));
        return 1;
    }
    const long beforeKiB = peakResidentKiB();

    std::vector<double> seconds;
    qint64 rows = 0;
    QString problem;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
        QString why;
        const std::unique_ptr<AbandonedJournal> journal = AbandonedJournal::claim(name, &failure, &why);
        if (!journal) {
            std::fprintf(stderr, "%s\n", qPrintable(why));
            return 1;
        }
        rows = journal->readings();
        problem = journal->problem();
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    std::printf("%-18s %6lld MB  %9lld rows  median %10.3f ms  peak resident %7ld KiB (%ld KiB before)\n",
                kind.constData(), megabytes, rows, median(seconds) * 1e3, peakResidentKiB(), beforeKiB);
    if (!problem.isEmpty())
        std::printf("%-18s stops at %s\n", "", qPrintable(problem));
    return 0;
}
