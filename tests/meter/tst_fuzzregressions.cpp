#include "fuzz/meterinput.h"

#include <QDirIterator>
#include <QtTest>

// Replays every input that the meter fuzzer once found through the same code
// path, in the normal build, so a fixed fault stays fixed.
class TestFuzzRegressions : public QObject
{
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
};

void TestFuzzRegressions::replay_data()
{
    QTest::addColumn<QString>("path");
    const QString folder = QStringLiteral(QM320_SOURCE_DIR "/fuzz/regressions/fuzz_meter");
    QDirIterator it(folder, QDir::Files);
    while (it.hasNext()) {
        const QString path = it.next();
        QTest::newRow(qPrintable(QFileInfo(path).fileName())) << path;
    }
    // The seed corpus too: valid frames of every kind.
    QDirIterator seeds(QStringLiteral(QM320_SOURCE_DIR "/fuzz/corpus/fuzz_meter"), QDir::Files);
    while (seeds.hasNext()) {
        const QString path = seeds.next();
        QTest::newRow(qPrintable(QStringLiteral("seed ") + QFileInfo(path).fileName())) << path;
    }
}

void TestFuzzRegressions::replay()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray data = file.readAll();
    feedMeterInput(reinterpret_cast<const std::uint8_t *>(data.constData()), std::size_t(data.size()));
}

QTEST_GUILESS_MAIN(TestFuzzRegressions)
#include "tst_fuzzregressions.moc"
