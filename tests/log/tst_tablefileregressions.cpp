#include "tablefileoracle.h"

#include <QDir>
#include <QFile>
#include <QTest>

// Replays, with the ordinary build, every input that once made a table file
// reader fail under the fuzzers (fuzz/regressions/<target>/).
class TestTableFileRegressions : public QObject
{
    Q_OBJECT

private slots:
    void replay_data();
    void replay();
};

void TestTableFileRegressions::replay_data()
{
    QTest::addColumn<bool>("xml");
    QTest::addColumn<QString>("path");
    for (const char *target : {"fuzz_textreader", "fuzz_xmlreader"}) {
        const QDir dir(QStringLiteral(QM320_FUZZ_DIR "/regressions/") + QLatin1String(target));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QTest::addRow("%s/%s", target, qPrintable(name))
                << (QLatin1String(target) == QLatin1String("fuzz_xmlreader")) << dir.filePath(name);
        }
    }
    // Inputs kept beside the seeds that exercise both readers' rules.
    for (const char *target : {"fuzz_textreader", "fuzz_xmlreader"}) {
        const QDir dir(QStringLiteral(QM320_FUZZ_DIR "/corpus/") + QLatin1String(target));
        for (const QString &name : dir.entryList(QDir::Files, QDir::Name)) {
            QTest::addRow("seed %s/%s", target, qPrintable(name))
                << (QLatin1String(target) == QLatin1String("fuzz_xmlreader")) << dir.filePath(name);
        }
    }
}

void TestTableFileRegressions::replay()
{
    QFETCH(bool, xml);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    const QString problem = xml ? tablefileoracle::checkXmlReader(input) : tablefileoracle::checkTextReader(input);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestTableFileRegressions)
#include "tst_tablefileregressions.moc"
