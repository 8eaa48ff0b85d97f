#include "log/logtable.h"
#include "logfixtures.h"

#include <QRandomGenerator>
#include <QTest>

class RecordingListener : public LogTableListener
{
public:
    QStringList events;
    void rowsAppended(int first, int last) override { events << QStringLiteral("rows %1-%2").arg(first).arg(last); }
    void tableAboutToBeEmptied() override { events << QStringLiteral("emptying"); }
    void tableEmptied() override { events << QStringLiteral("emptied"); }
    void tableCurrentRowChanged(int row) override { events << QStringLiteral("current %1").arg(row); }
};

class TestLogTable : public QObject
{
    Q_OBJECT

private slots:
    void fieldLookupIgnoresCase_data();
    void fieldLookupIgnoresCase();
    void textsAreCutTo20_data();
    void textsAreCutTo20();
    void integerFromText_data();
    void integerFromText();
    void fieldsWithoutValue();
    void anyTextComesBackExactly();
    void appendPostAndCancel();
    void rowsAcrossBlocks();
    void clearDiscardsRowsAndMarks();
    void listenersFollowBulkUpdates();
    void rollBackTakesBackUnseenRows_data();
    void rollBackTakesBackUnseenRows();
    void replaceWithSwapsTheRows();
    void loggedRowsStayCompact();
};

void TestLogTable::fieldLookupIgnoresCase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("field");
    // The names logging, the text writer and the report use.
    QTest::newRow("value") << "value" << int(LogField::Value);
    QTest::newRow("time") << "time" << int(LogField::Time);
    QTest::newRow("no") << "no" << int(LogField::No);
    QTest::newRow("DC/AC") << "DC/AC" << int(LogField::DcAc);
    QTest::newRow("dc/ac") << "dc/ac" << int(LogField::DcAc);
    QTest::newRow("unit") << "unit" << int(LogField::Unit);
    QTest::newRow("Auto") << "Auto" << int(LogField::Auto);
    QTest::newRow("AUTO") << "AUTO" << int(LogField::Auto);
    QTest::newRow("nval") << "nval" << int(LogField::NVal);
    QTest::newRow("the slash matters") << "DC_AC" << -1;
    QTest::newRow("no prefix match") << "Val" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestLogTable::fieldLookupIgnoresCase()
{
    QFETCH(QString, name);
    QFETCH(int, field);
    QCOMPARE(LogTable::fieldIndex(name), field);
}

void TestLogTable::textsAreCutTo20_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("stored");
    const QString twenty = QStringLiteral("abcdefghijklmnopqrst");
    QTest::newRow("20 stay") << twenty << twenty;
    QTest::newRow("25 cut") << twenty + "uvwxy" << twenty;
    const QString clef = QString::fromUcs4(U"\U0001D11E");
    // A pair of UTF-16 units that the cut would split is left out whole.
    QTest::newRow("surrogate pair across the cut")
        << twenty.left(19) + clef + "x" << twenty.left(19);
    QTest::newRow("surrogate pair before the cut") << twenty.left(18) + clef + "xy" << twenty.left(18) + clef;
    QTest::newRow("empty") << QString("") << QString("");
}

void TestLogTable::textsAreCutTo20()
{
    QFETCH(QString, text);
    QFETCH(QString, stored);
    LogTable table;
    QVERIFY(table.append());
    table.setText(int(LogField::Value), text);
    table.post();
    QCOMPARE(table.text(0, int(LogField::Value)).toString(), stored);
    QVERIFY(table.hasValue(0, int(LogField::Value)));
}

void TestLogTable::integerFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<std::optional<qint32>>("stored");
    QTest::newRow("digits") << "12" << true << std::optional<qint32>(12);
    QTest::newRow("negative") << "-5" << true << std::optional<qint32>(-5);
    QTest::newRow("plus sign") << "+7" << true << std::optional<qint32>(7);
    QTest::newRow("largest") << "2147483647" << true << std::optional<qint32>(2147483647);
    QTest::newRow("smallest") << "-2147483648" << true << std::optional<qint32>(-2147483647 - 1);
    QTest::newRow("empty leaves no value") << "" << true << std::optional<qint32>();
    QTest::newRow("too large") << "2147483648" << false << std::optional<qint32>(3);
    QTest::newRow("many digits") << "99999999999999999999" << false << std::optional<qint32>(3);
    QTest::newRow("decimal") << "1.5" << false << std::optional<qint32>(3);
    QTest::newRow("blank") << " 1" << false << std::optional<qint32>(3);
    QTest::newRow("sign alone") << "-" << false << std::optional<qint32>(3);
    QTest::newRow("NULL") << "NULL" << false << std::optional<qint32>(3);
}

void TestLogTable::integerFromText()
{
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(std::optional<qint32>, stored);
    LogTable table;
    QVERIFY(table.append());
    table.setInteger(int(LogField::NVal), 3);
    QCOMPARE(table.setFieldText(int(LogField::NVal), text), accepted);
    table.post();
    QCOMPARE(table.integer(0, int(LogField::NVal)), stored);
}

void TestLogTable::fieldsWithoutValue()
{
    LogTable table;
    QVERIFY(table.append());
    QVERIFY(table.setText(u"time", u"12:00:00"));
    QVERIFY(table.setText(u"DC/AC", u""));
    QVERIFY(!table.setText(u"Range", u"AUTO"));
    table.post();
    QCOMPARE(rowAt(table, 0), (LogRow{std::nullopt, "12:00:00", "", std::nullopt, std::nullopt, std::nullopt, std::nullopt}));
    // An empty text is a value; a field never set has none.
    QVERIFY(table.hasValue(0, int(LogField::DcAc)));
    QVERIFY(!table.hasValue(0, int(LogField::Value)));
    QVERIFY(!table.hasValue(0, int(LogField::No)));
    QCOMPARE(table.displayText(0, int(LogField::No)), QString());
}

void TestLogTable::anyTextComesBackExactly()
{
    // Texts loaded from files may hold anything; the shared text store must
    // keep each one apart, including texts that differ only in case or end.
    const QStringList texts{
        "", " ", "pass", "Pass", "PASS", "pass ", "\t", QString(QChar(0)), QString::fromUtf8("a\0b", 3), "\"quoted\"",
        "\u03a9\u00b5\u00b0C", QString::fromUcs4(U"\U0001F600x"), "<&>'\\", "12345678901234567890",
    };
    LogTable table;
    for (int round = 0; round < 3; ++round) {
        for (const QString &t : texts) {
            QVERIFY(table.append());
            table.setText(int(LogField::Unit), t);
            table.post();
        }
    }
    for (int row = 0; row < table.rowCount(); ++row)
        QCOMPARE(table.text(row, int(LogField::Unit)).toString(), texts[row % texts.size()]);
}

void TestLogTable::appendPostAndCancel()
{
    LogTable table;
    QCOMPARE(table.currentRow(), -1);
    appendRow(table, loggedRow(1, "10:00:00", "DC", "1.000", "V", "pass"));
    QCOMPARE(table.currentRow(), 0);

    // Not posted: not part of the table.
    QVERIFY(table.append());
    table.setInteger(int(LogField::No), 2);
    QCOMPARE(table.rowCount(), 1);
    table.cancel();
    QCOMPARE(table.rowCount(), 1);
    QVERIFY(!table.isEditing());

    // Appending again while a row is open posts that row first.
    QVERIFY(table.append());
    table.setInteger(int(LogField::No), 3);
    QVERIFY(table.append());
    table.setInteger(int(LogField::No), 4);
    table.post();
    QCOMPARE(table.rowCount(), 3);
    QCOMPARE(table.integer(1, int(LogField::No)), 3);
    QCOMPARE(table.integer(2, int(LogField::No)), 4);
    QCOMPARE(table.currentRow(), 2);
    QCOMPARE(table.pendingInsertCount(), 3);
}

void TestLogTable::rowsAcrossBlocks()
{
    // Rows are stored in blocks of 65536; the rows on either side of a block
    // border and a random sample must read back as written.
    LogTable table;
    const int rows = 140000;
    for (int i = 0; i < rows; ++i) {
        QVERIFY(table.append());
        table.setInteger(int(LogField::No), i);
        table.setText(int(LogField::Value), QString::number(i % 5000));
        if (i % 3 == 0)
            table.setInteger(int(LogField::NVal), -i);
        table.post(i % 2 == 0);
    }
    QCOMPARE(table.rowCount(), rows);
    QList<int> sample{0, 65535, 65536, 65537, 131071, 131072, rows - 1};
    for (int i = 0; i < 200; ++i)
        sample << int(QRandomGenerator::global()->bounded(rows));
    for (int row : sample) {
        QCOMPARE(table.integer(row, int(LogField::No)), row);
        QCOMPARE(table.text(row, int(LogField::Value)).toString(), QString::number(row % 5000));
        QCOMPARE(table.integer(row, int(LogField::NVal)), row % 3 == 0 ? std::optional<qint32>(-row) : std::nullopt);
        QCOMPARE(table.pendingInsert(row), row % 2 == 0);
    }
    QCOMPARE(table.pendingInsertCount(), rows / 2);
}

void TestLogTable::clearDiscardsRowsAndMarks()
{
    LogTable table;
    appendRow(table, loggedRow(1, "10:00:00", "DC", "1.000", "V", "pass"));
    appendRow(table, loggedRow(2, "10:00:01", "DC", "1.001", "V", "pass"), false);
    QCOMPARE(table.pendingInsertCount(), 1);
    const auto generation = table.generation();
    table.clear();
    QCOMPARE(table.rowCount(), 0);
    QCOMPARE(table.currentRow(), -1);
    QCOMPARE(table.pendingInsertCount(), 0);
    QVERIFY(table.generation() != generation);
    // The fields stay: the table takes rows again.
    appendRow(table, loggedRow(1, "10:00:02", "AC", "2.000", "V", "Fail"));
    QCOMPARE(rowAt(table, 0), loggedRow(1, "10:00:02", "AC", "2.000", "V", "Fail"));
    QCOMPARE(table.pendingInsertCount(), 1);
}

void TestLogTable::listenersFollowBulkUpdates()
{
    LogTable table;
    RecordingListener listener;
    table.addListener(&listener);
    appendRow(table, loggedRow(1, "t", "DC", "1", "V", "pass"));
    table.beginBulk();
    appendRow(table, loggedRow(2, "t", "DC", "1", "V", "pass"));
    appendRow(table, loggedRow(3, "t", "DC", "1", "V", "pass"));
    table.announce();
    appendRow(table, loggedRow(4, "t", "DC", "1", "V", "pass"));
    table.setCurrentRow(0);
    table.endBulk();
    table.clear();
    table.removeListener(&listener);
    appendRow(table, loggedRow(1, "t", "DC", "1", "V", "pass"));
    QCOMPARE(listener.events, (QStringList{"rows 0-0", "current 0", "rows 1-2", "current 2", "rows 3-3", "current 0",
                                           "emptying", "emptied", "current -1"}));
}

void TestLogTable::rollBackTakesBackUnseenRows_data()
{
    QTest::addColumn<int>("before");
    QTest::addColumn<int>("added");
    QTest::newRow("into an empty table") << 0 << 5;
    QTest::newRow("within the first block") << 3 << 200;
    QTest::newRow("across blocks") << 65530 << 70000;
}

void TestLogTable::rollBackTakesBackUnseenRows()
{
    QFETCH(int, before);
    QFETCH(int, added);
    LogTable table;
    RecordingListener listener;
    table.addListener(&listener);
    const auto time = [](int i) { return QStringLiteral("t%1").arg(i); };
    for (int i = 0; i < before; ++i)
        appendRow(table, loggedRow(i, time(i), "DC", "1", "V", "pass"), i % 2 == 0);
    table.setCurrentRow(before / 2);
    const int pending = table.pendingInsertCount();
    const auto generation = table.generation();
    listener.events.clear();

    table.beginBulk();
    const LogTable::Mark mark = table.mark();
    for (int i = 0; i < added; ++i)
        appendRow(table, loggedRow(-i, time(before + i), "new", "2", "mV", "Fail"));
    table.append(); // a row being built goes as well
    table.rollBack(mark);
    table.endBulk();

    QCOMPARE(table.rowCount(), before);
    QCOMPARE(table.currentRow(), before == 0 ? -1 : before / 2);
    QCOMPARE(table.pendingInsertCount(), pending);
    QVERIFY(!table.isEditing());
    QVERIFY(table.generation() != generation);
    QCOMPARE(listener.events, QStringList());   // nobody saw the rows come and go
    if (before > 0)
        QCOMPARE(rowAt(table, before - 1), loggedRow(before - 1, time(before - 1), "DC", "1", "V", "pass"));
    // Texts the rolled-back rows brought went with them; old and new texts
    // are found again.
    appendRow(table, loggedRow(7, time(before), "DC", "new", "V", "pass"));
    QCOMPARE(rowAt(table, before), loggedRow(7, time(before), "DC", "new", "V", "pass"));
    QCOMPARE(listener.events, (QStringList{QStringLiteral("rows %1-%1").arg(before), QStringLiteral("current %1").arg(before)}));
}

void TestLogTable::replaceWithSwapsTheRows()
{
    LogTable table;
    RecordingListener listener;
    appendRow(table, loggedRow(1, "old", "DC", "1", "V", "pass"));
    table.addListener(&listener);
    LogTable read;
    appendRow(read, loggedRow(5, "a", "AC", "2", "V", "pass"), false);
    appendRow(read, loggedRow(6, "b", "AC", "3", "V", "Fail"));
    read.setCurrentRow(0);
    const auto generation = table.generation();
    table.replaceWith(read);
    QCOMPARE(rowsOf(table), (LogRows{loggedRow(5, "a", "AC", "2", "V", "pass"), loggedRow(6, "b", "AC", "3", "V", "Fail")}));
    QCOMPARE(table.pendingInsertCount(), 1);
    QCOMPARE(table.currentRow(), 0);
    QVERIFY(table.generation() != generation);
    QCOMPARE(listener.events, (QStringList{"emptying", "emptied", "rows 0-1", "current 0"}));
    QCOMPARE(rowsOf(read), LogRows{loggedRow(1, "old", "DC", "1", "V", "pass")});
    // Both go on taking rows.
    appendRow(table, loggedRow(7, "c", "AC", "4", "V", "pass"));
    appendRow(read, loggedRow(2, "d", "DC", "5", "V", "pass"));
    QCOMPARE(rowAt(table, 2), loggedRow(7, "c", "AC", "4", "V", "pass"));
    QCOMPARE(rowAt(read, 1), loggedRow(2, "d", "DC", "5", "V", "pass"));
}

void TestLogTable::loggedRowsStayCompact()
{
    // Ten million logged readings must fit the window's memory budget; the
    // table's share is at most 40 bytes a row. Rows as the meter logs them at
    // three frames a second for four days.
    LogTable table;
    const int rows = 1 << 20;
    for (int i = 0; i < rows; ++i) {
        const int second = i / 3;
        QVERIFY(table.append());
        table.setText(int(LogField::Value), QString::number(1000 + (i * 7) % 3000).insert(1, u'.'));
        table.setText(int(LogField::Time), QStringLiteral("%1:%2:%3")
                                               .arg(second / 3600 % 24, 2, 10, QLatin1Char('0'))
                                               .arg(second / 60 % 60, 2, 10, QLatin1Char('0'))
                                               .arg(second % 60, 2, 10, QLatin1Char('0')));
        table.setInteger(int(LogField::No), i + 1);
        table.setText(int(LogField::DcAc), i % 2 ? u"DC" : u"AC");
        table.setText(int(LogField::Unit), u"V");
        table.setText(int(LogField::Auto), i % 5 ? u"pass" : u"Fail");
        table.post();
    }
    const double perRow = double(table.memoryUsed()) / rows;
    qInfo("%.1f bytes per row", perRow);
    QVERIFY2(perRow <= 40.0, qPrintable(QString::number(perRow)));
}

QTEST_GUILESS_MAIN(TestLogTable)
#include "tst_logtable.moc"
