#include "app/logmodel.h"
#include "logfixtures.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

class TestLogModel : public QObject
{
    Q_OBJECT

private slots:
    void followsAppendsBulkReadsAndEmptying();
    void unitColumnShowsLcdSymbols_data();
    void unitColumnShowsLcdSymbols();
    void cellsShowFieldsInGridOrder();
    void currentRowReachesTheGrid();
};

void TestLogModel::followsAppendsBulkReadsAndEmptying()
{
    LogTable table;
    appendRow(table, loggedRow(1, "10:00:00", "DC", "1.000", "V", "pass"));
    LogModel model(table);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    QCOMPARE(model.rowCount(), 1);

    appendRow(table, loggedRow(2, "10:00:01", "DC", "1.001", "V", "pass"));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 1);

    // A bulk read shows its rows only when it announces them, in one piece.
    table.beginBulk();
    for (int i = 3; i <= 10; ++i)
        appendRow(table, loggedRow(i, "10:00:02", "DC", "1.002", "V", "pass"));
    QCOMPARE(model.rowCount(), 2);
    table.announce();
    QCOMPARE(model.rowCount(), 10);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.at(1).at(1).toInt(), 2);
    QCOMPARE(inserted.at(1).at(2).toInt(), 9);
    appendRow(table, loggedRow(11, "10:00:03", "DC", "1.003", "V", "pass"));
    table.endBulk();
    QCOMPARE(model.rowCount(), 11);

    table.clear();
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(reset.size(), 1);
    appendRow(table, loggedRow(1, "10:00:04", "AC", "0.500", "V", "Fail"));
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.index(0, 2).data().toString(), QString("AC"));

    // A model made while a bulk read runs counts what it finds.
    table.beginBulk();
    appendRow(table, loggedRow(2, "10:00:05", "AC", "0.501", "V", "Fail"));
    LogModel late(table);
    QAbstractItemModelTester lateTester(&late, QAbstractItemModelTester::FailureReportingMode::QtTest);
    appendRow(table, loggedRow(3, "10:00:06", "AC", "0.502", "V", "Fail"));
    table.endBulk();
    QCOMPARE(late.rowCount(), 3);
    QCOMPARE(model.rowCount(), 3);
}

void TestLogModel::unitColumnShowsLcdSymbols_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("ohm") << "*" << "\u03a9";
    QTest::newRow("kilo-ohm") << "k*" << "k\u03a9";
    QTest::newRow("mega-ohm") << "M*" << "M\u03a9";
    QTest::newRow("Celsius") << "#" << "\u00b0C";
    QTest::newRow("Fahrenheit") << "?" << "\u00b0F";
    QTest::newRow("microampere") << "uA" << "\u00b5A";
    QTest::newRow("microfarad") << "uF" << "\u00b5F";
    QTest::newRow("millivolt") << "mV" << "mV";
    QTest::newRow("hertz") << "Hz" << "Hz";
    QTest::newRow("kilohertz") << "kHz" << "kHz";
    QTest::newRow("megahertz") << "MHz" << "MHz";
    QTest::newRow("only a leading u is micro") << "Vu" << "Vu";
    QTest::newRow("empty") << "" << "";
}

void TestLogModel::unitColumnShowsLcdSymbols()
{
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    LogTable table;
    appendRow(table, loggedRow(1, "10:00:00", "OHM", "1.000", stored, "pass"));
    LogModel model(table);
    const QModelIndex unit = model.index(0, 4);
    QCOMPARE(unit.data().toString(), shown);
    QCOMPARE(unit.data(LogModel::StoredTextRole).toString(), stored);
    QCOMPARE(table.text(0, int(LogField::Unit)).toString(), stored);
}

void TestLogModel::cellsShowFieldsInGridOrder()
{
    LogTable table;
    appendRow(table, LogRow{42, "10:15:03", "DC", "-1.234", "V", "Fail", 7});
    appendRow(table, LogRow{});
    LogModel model(table);
    QCOMPARE(model.columnCount(), 6); // NVal has no column
    QStringList first, titles;
    for (int c = 0; c < model.columnCount(); ++c) {
        first << model.index(0, c).data().toString();
        titles << model.headerData(c, Qt::Horizontal).toString();
        QVERIFY(model.index(1, c).data().toString().isEmpty());
    }
    QCOMPARE(first, (QStringList{"42", "10:15:03", "DC", "-1.234", "V", "Fail"}));
    QCOMPARE(titles, (QStringList{"No.", "Time", "Function", "Value", "Unit", "Judge"}));
    QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
}

void TestLogModel::currentRowReachesTheGrid()
{
    LogTable table;
    LogModel model(table);
    QSignalSpy current(&model, &LogModel::currentRowChanged);
    appendRow(table, loggedRow(1, "t", "DC", "1", "V", "pass"));
    appendRow(table, loggedRow(2, "t", "DC", "1", "V", "pass"));
    table.beginBulk();
    appendRow(table, loggedRow(3, "t", "DC", "1", "V", "pass"));
    appendRow(table, loggedRow(4, "t", "DC", "1", "V", "pass"));
    table.endBulk();
    table.clear();
    QList<int> rows;
    for (const QList<QVariant> &args : current)
        rows << args.at(0).toInt();
    QCOMPARE(rows, (QList<int>{0, 1, 3, -1}));
}

QTEST_MAIN(TestLogModel)
#include "tst_logmodel.moc"
