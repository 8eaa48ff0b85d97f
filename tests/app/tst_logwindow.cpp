#include "meterframes.h"
#include "windowfixture.h"

#include "app/loggridview.h"
#include "app/logmodel.h"
#include "chart/chartpager.h"
#include "chart/chartview.h"
#include "log/abandonedjournal.h"
#include "log/logtable.h"
#include "log/tablefiles.h"

#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QRegularExpression>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTimer>
#include <QScrollBar>
#include <QToolButton>
#include <QtTest>

using namespace MeterBits;

// The reading log through the window: frames become grid rows and chart
// points, the Record menu and New act on them, and the table files and the
// report take what the grid shows.
class TestLogWindow : public QObject
{
    Q_OBJECT
private slots:
    void gridShowsTitlesAboveRows();
    void framesFillGridAndChart();
    void gridFollowsOnlyAtTheEnd();
    void recordLimitStopsAndResumes();
    void newAsksFirst_data();
    void newAsksFirst();
    void unsavedRowsQuestion_data();
    void unsavedRowsQuestion();
    void samplingInterval_data();
    void samplingInterval();
    void samplingModeLogsOncePerTick();
    void digitOnlyEdits_data();
    void digitOnlyEdits();
    void saveAndOpen_data();
    void saveAndOpen();
    void openSaysWhatItWillDo_data();
    void openSaysWhatItWillDo();
    void failedOpenLeavesTheLog_data();
    void failedOpenLeavesTheLog();
    void openedValuesChartUnderAnyLocale_data();
    void openedValuesChartUnderAnyLocale();
    void fileFailures();
    void readingsDuringAnOpenFollowTheFile();
    void reportHoldsTheRowsOfItsMoment();
    void readingsWaitForTheAnswer_data();
    void readingsWaitForTheAnswer();
    void recoveryIsAQuestion();
    void columnsFitTheirTexts_data();
    void columnsFitTheirTexts();
    void recordLimitLineHidesNoRow_data();
    void recordLimitLineHidesNoRow();
    void wholeNumberEditingKeys_data();
    void wholeNumberEditingKeys();
    void wholeNumberOutOfRange_data();
    void wholeNumberOutOfRange();
};

namespace {

QByteArray volts(int count)
{
    char digits[5];
    std::snprintf(digits, sizeof digits, "%04u", unsigned(count) % 10000u);
    return meterFrame('+', reinterpret_cast<const char(&)[5]>(digits), '1', {Auto | Dc, 0, 0, Volt});
}

QStringList gridRow(const WindowFixture &f, int row)
{
    const QAbstractItemModel *model = f.find<LogGridView>("logGrid")->model();
    QStringList cells;
    for (int c = 0; c < model->columnCount(); ++c)
        cells << model->index(row, c).data().toString();
    return cells;
}

int gridRows(const WindowFixture &f) { return f.find<LogGridView>("logGrid")->model()->rowCount(); }

QString pageNumber(const WindowFixture &f) { return f.find<QToolButton>("pageNumberButton")->text(); }

} // namespace

void TestLogWindow::gridShowsTitlesAboveRows()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *grid = f.find<LogGridView>("logGrid");
    QHeaderView *header = grid->horizontalHeader();
    QStringList titles;
    for (int c = 0; c < header->count(); ++c)
        titles << grid->model()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles, QStringList({"No.", "Time", "Function", "Value", "Unit", "Judge"}));
    QVERIFY(header->isVisible());
    QVERIFY(header->height() >= 14);
    QCOMPARE(header->geometry().bottom() + 1, grid->viewport()->geometry().top());
    // Emptying the log keeps the widths the columns have.
    grid->setColumnWidth(1, 70);
    f.messages->answerYes = true;
    f.receiveFrame(volts(1));
    f.window->fileCommands().clearLog();
    QCOMPARE(grid->columnWidth(1), 70);
}

void TestLogWindow::framesFillGridAndChart()
{
    WindowFixture f;
    for (int i = 1; i <= 150; ++i)
        f.receiveFrame(volts(1000 + i));
    QCOMPARE(gridRows(f), 150);
    const QStringList last = gridRow(f, 149);
    QCOMPARE(last.at(0), QStringLiteral("150"));
    QCOMPARE(last.mid(2), QStringList({"DC", "1.150", "V", "pass"}));
    QVERIFY(QTime::fromString(last.at(1), QStringLiteral("HH:mm:ss")).isValid());
    // The grid shows the newest row; the chart follows to page 2.
    QCOMPARE(f.find<LogGridView>("logGrid")->currentRow(), 149);
    QCOMPARE(f.find<LogGridView>("logGrid")->firstVisibleRow() + f.find<LogGridView>("logGrid")->visibleRowCount() - 1, 149);
    QCOMPARE(pageNumber(f), QStringLiteral("2 of 2"));
    QCOMPARE(f.window->chartPager().pageCount(), 2);
}

void TestLogWindow::gridFollowsOnlyAtTheEnd()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *grid = f.find<LogGridView>("logGrid");
    // The widest function and the title fit their column, bold as well
    // (the cell text sits 2 px inside each side).
    const int function = 2;
    for (bool bold : {false, true}) {
        QFont cell = LogModel::cellFont();
        QFont title = LogModel::titleFont();
        cell.setBold(bold);
        title.setBold(bold);
        QVERIFY(grid->columnWidth(function) - 4 >= QFontMetrics(cell).horizontalAdvance(QStringLiteral("DutyCycle")));
        QVERIFY(grid->columnWidth(function) - 4 >= QFontMetrics(title).horizontalAdvance(QStringLiteral("Function")));
    }

    for (int i = 1; i <= 60; ++i)
        f.receiveFrame(volts(1000 + i));
    QScrollBar *bar = grid->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    // The user scrolls back to read: new rows do not pull the view away.
    bar->setValue(0);
    for (int i = 61; i <= 80; ++i)
        f.receiveFrame(volts(1000 + i));
    QCOMPARE(gridRows(f), 80);
    QCOMPARE(grid->firstVisibleRow(), 0);
    // Back at the end, the grid follows the newest row again.
    bar->setValue(bar->maximum());
    f.receiveFrame(volts(1081));
    QCOMPARE(grid->currentRow(), 80);
    QCOMPARE(bar->value(), bar->maximum());
    QCOMPARE(grid->firstVisibleRow() + grid->visibleRowCount() - 1, 80);
}

void TestLogWindow::recordLimitStopsAndResumes()
{
    WindowFixture f;
    f.find<QAction>("recordLimit1000Action")->trigger();
    for (int i = 0; i < 1003; ++i)
        f.receiveFrame(volts(i));
    QCOMPARE(gridRows(f), 1000);
    f.find<QAction>("recordLimit5000Action")->trigger();   // logging resumes with No 1001
    f.receiveFrame(volts(7));
    QCOMPARE(gridRows(f), 1001);
    QCOMPARE(gridRow(f, 1000).at(0), QStringLiteral("1001"));
}

void TestLogWindow::newAsksFirst_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("Yes empties the log") << true;
    QTest::newRow("No keeps it") << false;
}

void TestLogWindow::newAsksFirst()
{
    // A saved log is emptied after the question of its own.
    QFETCH(bool, yes);
    QTemporaryDir dir;
    WindowFixture f;
    for (int i = 0; i < 120; ++i)
        f.receiveFrame(volts(i));
    QVERIFY(f.window->fileCommands().saveLogFile(dir.filePath(QStringLiteral("log.xls"))));
    f.messages->shown.clear();
    f.messages->answerYes = yes;
    f.find<QToolButton>("clearLogButton")->click();
    QCOMPARE(f.messages->shown, QStringList{QStringLiteral("confirm: Do you want to empty the logged data?")});
    QCOMPARE(gridRows(f), yes ? 0 : 120);
    QCOMPARE(pageNumber(f), yes ? QStringLiteral("1 of 1") : QStringLiteral("2 of 2"));
    f.receiveFrame(volts(5000));
    QCOMPARE(gridRow(f, gridRows(f) - 1).at(0), yes ? QStringLiteral("1") : QStringLiteral("121"));
}

void TestLogWindow::unsavedRowsQuestion_data()
{
    QTest::addColumn<QString>("action");   // quit, close, clear
    QTest::addColumn<QString>("log");      // empty, saved, unsaved, "saved then more"
    QTest::addColumn<int>("answer");       // UserMessages::SaveChoice, when asked
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("goesOn");

    using Choice = UserMessages::SaveChoice;
    for (const char *action : {"quit", "close", "clear"}) {
        for (const char *log : {"empty", "saved"})
            QTest::addRow("%s, %s log: no question", action, log) << action << log << int(Choice::Cancel) << false << true;
        QTest::addRow("%s, unsaved: Cancel stops it", action) << action << "unsaved" << int(Choice::Cancel) << true << false;
        QTest::addRow("%s, unsaved: Discard goes on", action) << action << "unsaved" << int(Choice::Discard) << true << true;
        QTest::addRow("%s, unsaved: Save saves, then goes on", action) << action << "unsaved" << int(Choice::Save) << true
                                                                    << true;
        QTest::addRow("%s, saved then more readings: asked again", action)
            << action << "saved then more" << int(Choice::Cancel) << true << false;
    }
}

void TestLogWindow::unsavedRowsQuestion()
{
    QFETCH(QString, action);
    QFETCH(QString, log);
    QFETCH(int, answer);
    QFETCH(bool, asked);
    QFETCH(bool, goesOn);

    QTemporaryDir dir;
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    if (log != u"empty") {
        for (int i = 0; i < 3; ++i)
            f.receiveFrame(volts(100 + i));
    }
    if (log.startsWith(u"saved")) {
        QVERIFY(f.window->fileCommands().saveLogFile(dir.filePath(QStringLiteral("before.xls"))));
        if (log == u"saved then more")
            f.receiveFrame(volts(200));
    }
    f.messages->shown.clear();
    f.messages->saveChoice = UserMessages::SaveChoice(answer);
    // The questions of their own: Quit's and Clear's.
    f.messages->answerYes = true;
    const QString savedName = dir.filePath(QStringLiteral("asked.xls"));
    f.dialogs->names = {savedName};

    bool wentOn = false;
    const int rowsBefore = gridRows(f);
    if (action == u"quit") {
        QTimer::singleShot(0, f.window.get(), [&] {
            f.window->quit();
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(7); });
        });
        wentOn = QCoreApplication::exec() == 0;
    } else if (action == u"close") {
        wentOn = f.window->close();
    } else {
        f.window->fileCommands().clearLog();
        wentOn = gridRows(f) == 0 && rowsBefore > 0;
        if (rowsBefore == 0)
            wentOn = f.messages->shown.contains(QStringLiteral("confirm: Do you want to empty the logged data?"));
    }
    const bool questionShown = !f.messages->shown.filter(QStringLiteral("save? ")).isEmpty();
    QCOMPARE(questionShown, asked);
    QCOMPARE(wentOn, goesOn);
    if (asked)
        QVERIFY(f.messages->shown.filter(QStringLiteral("save? ")).first().contains(QLatin1String("not saved")));
    if (asked && answer == int(UserMessages::SaveChoice::Save))
        QVERIFY(QFile::exists(savedName));
}

void TestLogWindow::samplingInterval_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("interval");
    QTest::newRow("five seconds") << "5" << "5" << 5000;
    QTest::newRow("zero becomes one") << "0" << "1" << 1000;
    QTest::newRow("empty keeps the interval") << "" << "" << 3000;
    QTest::newRow("negative pasted text is refused") << "-5" << "3" << 3000;
    QTest::newRow("too long for the timer") << "2147484" << "3" << 3000;
}

void TestLogWindow::samplingInterval()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(int, interval);
    WindowFixture f;
    auto *edit = f.find<QLineEdit>("samplingIntervalEdit");
    edit->setText(QStringLiteral("3"));
    edit->setText(typed);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(f.session().samplingInterval(), interval);
}

void TestLogWindow::samplingModeLogsOncePerTick()
{
    WindowFixture f;
    f.find<QCheckBox>("samplingCheck")->setChecked(true);
    for (int i = 0; i < 5; ++i)
        f.receiveFrame(volts(100 + i));
    QCOMPARE(gridRows(f), 0);
    f.session().tickSampling();
    f.session().tickSampling();   // nothing fresh since the last tick
    QCOMPARE(gridRows(f), 1);
    QCOMPARE(gridRow(f, 0).at(2), QStringLiteral("DC"));
    QCOMPARE(gridRow(f, 0).at(3), QStringLiteral("0.104"));
}

void TestLogWindow::digitOnlyEdits_data()
{
    QTest::addColumn<QString>("edit");
    QTest::newRow("sampling interval") << "samplingIntervalEdit";
    QTest::newRow("page size") << "pageSizeEdit";
}

void TestLogWindow::digitOnlyEdits()
{
    QFETCH(QString, edit);
    WindowFixture f;
    auto *line = f.find<QLineEdit>(qPrintable(edit));
    line->clear();
    QTest::keyClicks(line, QStringLiteral("1a2-3.4 "));
    QCOMPARE(line->text(), QStringLiteral("1234"));
    QTest::keyClick(line, Qt::Key_Backspace);
    QCOMPARE(line->text(), QStringLiteral("123"));
    // A paste passes the key filter but not the edit's judgement.
    QGuiApplication::clipboard()->setText(QStringLiteral("4x"));
    QTest::keyClick(line, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(line->text(), QStringLiteral("123"));
}

void TestLogWindow::saveAndOpen_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("rowsAfterOpen");
    // Text appends to what the table holds; XML replaces it.
    QTest::newRow("spreadsheet text") << "log.xls" << 6;
    QTest::newRow("plain text") << "log.txt" << 6;
    QTest::newRow("XML data packet") << "log.xml" << 3;
    QTest::newRow("upper-case XML is text") << "log.XML" << 6;
}

void TestLogWindow::saveAndOpen()
{
    QFETCH(QString, name);
    QFETCH(int, rowsAfterOpen);
    QTemporaryDir dir;
    const QString file = dir.filePath(name);
    WindowFixture f;
    for (int i = 0; i < 3; ++i)
        f.receiveFrame(volts(2000 + i));
    f.dialogs->names = {file, file};
    f.find<QToolButton>("saveLogButton")->click();
    QCOMPARE(f.messages->shown, QStringList{"information: Save table to specified file: " + file + " Scuss!"});
    f.find<QToolButton>("openLogButton")->click();
    QCOMPARE(f.messages->shown.size(), 1);   // an open that works says nothing
    QCOMPARE(gridRows(f), rowsAfterOpen);
    QCOMPARE(gridRow(f, rowsAfterOpen - 1).mid(2), QStringList({"DC", "2.002", "V", "pass"}));
}

namespace {

// A table file of two rows, 5.001 V and 5.002 V, numbered 51 and 52.
QString writeTwoRows(const QTemporaryDir &dir, const QString &name)
{
    LogTable table;
    for (int i = 1; i <= 2; ++i) {
        table.append();
        table.setInteger(int(LogField::No), 50 + i);
        table.setText(int(LogField::Time), u"10:00:00");
        table.setText(int(LogField::DcAc), u"DC");
        table.setText(int(LogField::Value), QStringLiteral("5.00%1").arg(i));
        table.setText(int(LogField::Unit), u"V");
        table.setText(int(LogField::Auto), u"pass");
        table.post();
    }
    const QString file = dir.filePath(name);
    return saveTableFile(table, file) ? file : QString();
}

QStringList gridValues(const WindowFixture &f)
{
    QStringList values;
    for (int r = 0; r < gridRows(f); ++r)
        values << gridRow(f, r).at(3);
    return values;
}

} // namespace

void TestLogWindow::openSaysWhatItWillDo_data()
{
    QTest::addColumn<QString>("file");        // the file opened
    QTest::addColumn<QString>("log");         // empty, saved, unsaved
    QTest::addColumn<int>("openAnswer");      // UserMessages::OpenChoice, when asked
    QTest::addColumn<int>("saveAnswer");      // UserMessages::SaveChoice, when asked
    QTest::addColumn<QStringList>("asked");   // the questions, in order
    QTest::addColumn<QStringList>("values");  // the grid's values afterwards
    QTest::addColumn<int>("unsaved");

    using Open = UserMessages::OpenChoice;
    using Save = UserMessages::SaveChoice;
    const QStringList log{"0.100", "0.101", "0.102"};
    const QStringList file{"5.001", "5.002"};
    const QStringList none;
    const QStringList openQ{"open?"}, saveQ{"save?"}, bothQ{"open?", "save?"};
    const int add = int(Open::Add), replace = int(Open::Replace), cancel = int(Open::Cancel);

    // Text: its rows go after the log's, unless the user says otherwise.
    QTest::newRow("text into an empty log") << "t.xls" << "empty" << cancel << int(Save::Cancel) << none << file << 0;
    QTest::newRow("text after saved rows") << "t.xls" << "saved" << cancel << int(Save::Cancel) << none << log + file << 0;
    QTest::newRow("text, unsaved: Add") << "t.xls" << "unsaved" << add << int(Save::Cancel) << openQ << log + file << 3;
    QTest::newRow("text, unsaved: Cancel") << "t.txt" << "unsaved" << cancel << int(Save::Cancel) << openQ << log << 3;
    QTest::newRow("text, unsaved: Replace, Discard") << "t.txt" << "unsaved" << replace << int(Save::Discard) << bothQ << file << 0;
    QTest::newRow("text, unsaved: Replace, Save") << "t.txt" << "unsaved" << replace << int(Save::Save) << bothQ << file << 0;
    QTest::newRow("text, unsaved: Replace, Cancel") << "t.txt" << "unsaved" << replace << int(Save::Cancel) << bothQ << log << 3;
    // XML replaces the log: only the rows that would go are asked about.
    QTest::newRow("XML into a saved log") << "t.xml" << "saved" << cancel << int(Save::Cancel) << none << file << 0;
    QTest::newRow("XML, unsaved: Discard") << "t.xml" << "unsaved" << cancel << int(Save::Discard) << saveQ << file << 0;
    QTest::newRow("XML, unsaved: Save") << "t.xml" << "unsaved" << cancel << int(Save::Save) << saveQ << file << 0;
    QTest::newRow("XML, unsaved: Cancel") << "t.xml" << "unsaved" << cancel << int(Save::Cancel) << saveQ << log << 3;
}

void TestLogWindow::openSaysWhatItWillDo()
{
    QFETCH(QString, file);
    QFETCH(QString, log);
    QFETCH(int, openAnswer);
    QFETCH(int, saveAnswer);
    QFETCH(QStringList, asked);
    QFETCH(QStringList, values);
    QFETCH(int, unsaved);

    QTemporaryDir dir;
    const QString path = writeTwoRows(dir, file);
    QVERIFY(!path.isEmpty());
    WindowFixture f;
    if (log != u"empty") {
        for (int i = 0; i < 3; ++i)
            f.receiveFrame(volts(100 + i));
    }
    if (log == u"saved")
        QVERIFY(f.window->fileCommands().saveLogFile(dir.filePath(QStringLiteral("before.xls"))));
    f.messages->shown.clear();
    f.messages->openChoice = UserMessages::OpenChoice(openAnswer);
    f.messages->saveChoice = UserMessages::SaveChoice(saveAnswer);
    const QString savedName = dir.filePath(QStringLiteral("kept.xls"));
    f.dialogs->names = {path, savedName};
    // A reading that comes while the user thinks waits, and is logged after
    // whatever the log then holds.
    f.messages->whileAskingHowToOpen = [&f] { f.receiveFrame(volts(700)); };
    if (asked.contains(u"open?")) {
        values << QStringLiteral("0.700");
        ++unsaved;
    }

    f.find<QToolButton>("openLogButton")->click();

    QStringList questions;
    for (const QString &message : std::as_const(f.messages->shown)) {
        if (message.startsWith(u"open? ") || message.startsWith(u"save? "))
            questions << message.section(u' ', 0, 0);
    }
    QCOMPARE(questions, asked);
    // Each question says what the open will do, with the file and the count.
    if (asked.contains(u"open?")) {
        QCOMPARE(f.messages->shown.first(), "open? The log holds 3 readings that are not saved.\n\nAdd the rows of " + path
                                                + " after them, or replace the log with the file?");
    }
    if (asked.contains(u"save?")) {
        QCOMPARE(f.messages->shown.filter(QStringLiteral("save? ")).first(),
                 "save? Opening " + path + " replaces the log, which holds 3 readings that are not saved. Save them first?");
    }
    QCOMPARE(QFile::exists(savedName), saveAnswer == int(UserMessages::SaveChoice::Save) && asked.contains(u"save?"));
    QCOMPARE(gridValues(f), values);
    QCOMPARE(f.window->chartPager().valueCount(), qint64(values.size()));
    QCOMPARE(f.session().unsavedRows(), unsaved);
    // Logging goes on after whatever the log now holds.
    f.receiveFrame(volts(900));
    QCOMPARE(gridValues(f).last(), QStringLiteral("0.900"));
    QCOMPARE(f.session().unsavedRows(), unsaved + 1);
}

void TestLogWindow::failedOpenLeavesTheLog_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("openAnswer");   // how the user asked it to open, with unsaved rows
    QTest::addColumn<QString>("reason");

    QByteArray tenRows("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
    for (int i = 1; i <= 10; ++i)
        tenRows += QByteArray::number(i) + "\t10:00:00\tDC\t7.000\tV\tpass\r\n";
    const QByteArray garbage = tenRows + "\xde\xad 1 2 3 4 5 6 7 8\r\n";
    const int add = int(UserMessages::OpenChoice::Add), replace = int(UserMessages::OpenChoice::Replace);
    QTest::newRow("garbage on line 12, added") << "g.xls" << garbage << add << "line 12: cell 8 of 7";
    QTest::newRow("garbage on line 12, replacing") << "g.txt" << garbage << replace << "line 12: cell 8 of 7";
    QTest::newRow("a NUL byte") << "n.xls" << tenRows + QByteArray("11\t\0", 4) << add << "line 12, byte 315: a NUL byte";
    QTest::newRow("binary") << "b.xls" << QByteArray("\x7f" "ELF\x02\x01\x01\0\0\0", 10) << add << "line 1, byte 7: a NUL byte";
    QTest::newRow("no line end") << "e.txt" << QByteArray(200000, 'x') << replace << "line 1, byte 65536: no line end";
    QTest::newRow("XML with a bad row") << "x.xml" << QByteArray("<DATAPACKET><ROWDATA/></DATAPACKET>") << replace
                                        << "byte 12: ROWDATA before METADATA";
}

void TestLogWindow::failedOpenLeavesTheLog()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(int, openAnswer);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(content);
    }
    WindowFixture f;
    for (int i = 0; i < 3; ++i)
        f.receiveFrame(volts(100 + i));
    f.messages->shown.clear();
    f.messages->openChoice = UserMessages::OpenChoice(openAnswer);
    f.messages->saveChoice = UserMessages::SaveChoice::Discard;   // when replacing
    f.dialogs->names = {path};

    f.find<QToolButton>("openLogButton")->click();

    // The program's words, then the file and what in it stood in the way.
    const QString told = f.messages->shown.last();
    QVERIFY2(told.startsWith("error: Failed to Load File!\n\n" + path + ": " + reason), qPrintable(told));
    // The log is as it was: its rows, its unsaved count, its chart.
    QCOMPARE(gridValues(f), (QStringList{"0.100", "0.101", "0.102"}));
    QCOMPARE(f.session().unsavedRows(), 3);
    QCOMPARE(f.window->chartPager().valueCount(), 3);
    f.receiveFrame(volts(103));
    QCOMPARE(gridRow(f, 3).at(0), QStringLiteral("4"));
    QCOMPARE(f.session().unsavedRows(), 4);
}

void TestLogWindow::openedValuesChartUnderAnyLocale_data()
{
    QTest::addColumn<QString>("separator");
    QTest::newRow("decimal point") << ".";
    QTest::newRow("decimal comma") << ",";
}

void TestLogWindow::openedValuesChartUnderAnyLocale()
{
    QFETCH(QString, separator);
    // Files logged under either locale, opened under this one.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("values.txt"));
    {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"
                  "1\t10:00:00\tDC\t1000.5\tmV\tpass\r\n"
                  "2\t10:00:01\tDC\t1000,5\tmV\tpass\r\n"
                  "3\t10:00:02\tDIODE\t-0,583\tV\tpass\r\n"
                  "4\t10:00:03\tOHM\t0.L\tM*\tFail\r\n"
                  "5\t10:00:04\tDC\t1,000.5\tmV\tpass\r\n");
    }
    WindowFixture f(separator, separator);
    f.window->fileCommands().openLogFile(path);
    auto *chart = f.find<ChartView>("chart");
    QList<double> drawn;
    for (qint64 i = 1; i < chart->seriesPointCount(0); ++i)   // after the series' placeholder
        drawn << chart->seriesValue(0, i);
    // A value holds one separator and no grouping: either reads; what is no
    // number (over range, or grouped) draws at zero.
    QCOMPARE(drawn, (QList<double>{1000.5, 1000.5, -0.583, 0, 0}));
}

void TestLogWindow::fileFailures()
{
    QTemporaryDir dir;
    WindowFixture f;
    f.receiveFrame(volts(1));
    // A folder that is a file: neither form can be saved there.
    QFile blocker(dir.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString textName = dir.filePath(QStringLiteral("blocker/log.txt"));
    // The program's words with the file, then the system's reason.
    f.window->fileCommands().saveLogFile(textName);
    QCOMPARE(f.messages->shown.last(), "error: Could not save table to specified file: " + textName + "\n\nNot a directory");
    const QString xmlName = dir.filePath(QStringLiteral("blocker/log.xml"));
    f.window->fileCommands().saveLogFile(xmlName);
    QCOMPARE(f.messages->shown.last(), "error: Could not save table to specified file: " + xmlName + "\n\nNot a directory");
    QCOMPARE(f.session().unsavedRows(), 1);

    f.window->fileCommands().openLogFile(dir.filePath(QStringLiteral("missing.xls")));
    // The program's words, then the file and what stood in the way.
    QCOMPARE(f.messages->shown.last(), "error: Failed to Load File!\n\n" + dir.filePath(QStringLiteral("missing.xls"))
                                           + ": No such file or directory");
    QCOMPARE(gridRows(f), 1);
}

void TestLogWindow::readingsDuringAnOpenFollowTheFile()
{
    // A file long enough that the open reports progress, and with it lets
    // the meter's frames in.
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("big.txt"));
    {
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        QByteArray text("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n");
        for (int i = 1; i <= 80000; ++i)
            text += QByteArray::number(i) + "\t10:00:00\tDC\t1.000\tV\tpass\r\n";
        out.write(text);
    }
    WindowFixture f;
    f.receiveFrame(volts(1));
    QTimer::singleShot(0, f.window.get(), [&f] { f.receiveFrame(volts(4321)); });
    f.window->fileCommands().openLogFile(file);
    QCOMPARE(gridRows(f), 1 + 80000 + 1);
    QCOMPARE(gridRow(f, 80000).at(3), QStringLiteral("1.000"));
    QCOMPARE(gridRow(f, 80001).at(3), QStringLiteral("4.321"));
    QCOMPARE(gridRow(f, 80001).at(0), QStringLiteral("2"));
    // The reading held meanwhile is logged like any other: unsaved.
    QCOMPARE(f.session().unsavedRows(), 2);
}

void TestLogWindow::reportHoldsTheRowsOfItsMoment()
{
    WindowFixture f;
    for (int i = 0; i < 40; ++i)
        f.receiveFrame(volts(i));
    f.dialogs->duringPreview = [&f] { f.receiveFrame(volts(99)); };
    f.find<QToolButton>("printLogButton")->click();
    QCOMPARE(f.dialogs->previewedRows, QList<int>{40});
    QCOMPARE(f.dialogs->previewedPages, QList<int>{2});
    QCOMPARE(gridRows(f), 41);
}

void TestLogWindow::readingsWaitForTheAnswer_data()
{
    QTest::addColumn<QString>("action");   // quit, close, clear
    QTest::addColumn<bool>("saved");       // saved before: Quit's and Clear's own Yes/No questions
    QTest::addColumn<int>("answer");       // UserMessages::SaveChoice; Save stands for Yes, Cancel for No
    QTest::addColumn<bool>("goesOn");      // the action went through
    QTest::addColumn<int>("rowsAfter");    // in the log after the answer
    QTest::addColumn<int>("journalRows");  // in the journal left when the window is gone; -1: none left

    // Five rows are logged, three readings arrive while the question waits;
    // where the run goes on, one more reading follows.
    using Choice = UserMessages::SaveChoice;
    for (const char *action : {"quit", "close"}) {
        QTest::addRow("%s: Save saves the five counted, and the run ends", action)
            << action << false << int(Choice::Save) << true << 5 << -1;
        QTest::addRow("%s: Discard ends the run", action) << action << false << int(Choice::Discard) << true << 5 << -1;
        QTest::addRow("%s: Cancel logs what waited", action) << action << false << int(Choice::Cancel) << false << 8 << 9;
    }
    QTest::addRow("quit a saved log: Yes ends without another question")
        << "quit" << true << int(Choice::Save) << true << 5 << -1;
    QTest::addRow("quit a saved log: No logs what waited") << "quit" << true << int(Choice::Cancel) << false << 8 << 9;
    QTest::addRow("clear: Save, then the new log takes what waited")
        << "clear" << false << int(Choice::Save) << true << 3 << 4;
    QTest::addRow("clear: Cancel keeps all") << "clear" << false << int(Choice::Cancel) << false << 8 << 9;
    QTest::addRow("clear a saved log: Yes, then the new log takes what waited")
        << "clear" << true << int(Choice::Save) << true << 3 << 4;
}

void TestLogWindow::readingsWaitForTheAnswer()
{
    QFETCH(QString, action);
    QFETCH(bool, saved);
    QFETCH(int, answer);
    QFETCH(bool, goesOn);
    QFETCH(int, rowsAfter);
    QFETCH(int, journalRows);

    QTemporaryDir dir;
    const QString journals = dir.filePath(QStringLiteral("journals"));
    const QString savedName = dir.filePath(QStringLiteral("asked.xls"));
    auto f = std::make_unique<WindowFixture>(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"),
                                             std::function<void(FakeHidSystem &)>(), QString(), journals);
    f->window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f->window.get()));
    for (int i = 1; i <= 5; ++i)
        f->receiveFrame(volts(i));
    if (saved)
        QVERIFY(f->window->fileCommands().saveLogFile(dir.filePath(QStringLiteral("before.xls"))));
    f->messages->shown.clear();
    f->messages->saveChoice = UserMessages::SaveChoice(answer);
    f->messages->answerYes = answer == int(UserMessages::SaveChoice::Save);
    f->messages->whileAsking = [&f] {
        for (int i = 6; i <= 8; ++i)
            f->receiveFrame(volts(i));
    };
    f->dialogs->names = {savedName};

    bool wentOn = false;
    if (action == u"quit") {
        QTimer::singleShot(0, f->window.get(), [&f] {
            f->window->quit();
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(7); });
        });
        wentOn = QCoreApplication::exec() == 0;
    } else if (action == u"close") {
        wentOn = f->window->close();
    } else {
        f->window->fileCommands().clearLog();
        wentOn = gridRows(*f) != 8;
    }
    QCOMPARE(wentOn, goesOn);
    // One question, counting the rows there were when it was asked.
    const QStringList questions = f->messages->shown.filter(QRegularExpression(QStringLiteral("^(save\\? |confirm: )")));
    QCOMPARE(questions.size(), 1);
    if (!saved)
        QVERIFY2(questions.first().contains(QLatin1String(" 5 readings")), qPrintable(questions.first()));
    if (QFile::exists(savedName)) {
        LogTable file;
        QVERIFY(loadTableFile(savedName, file));
        QCOMPARE(file.rowCount(), 5);
    }
    // The readings that waited are numbered on without a gap, or are gone
    // with the run the user ended.
    QCOMPARE(gridRows(*f), rowsAfter);
    for (int row = 0; row < rowsAfter; ++row)
        QCOMPARE(gridRow(*f, row).at(0), QString::number(row + 1));
    if (!goesOn || action == u"clear") {
        f->messages->whileAsking = nullptr;
        f->receiveFrame(volts(9));
        QCOMPARE(gridRows(*f), rowsAfter + 1);
    }

    // A journal stays only of rows nobody saved or gave up, with all of them.
    f.reset();
    const QStringList left = QDir(journals).entryList({QStringLiteral("journal-*.xls")}, QDir::Files);
    if (journalRows < 0) {
        QVERIFY2(left.isEmpty(), qPrintable(left.join(u' ')));
    } else {
        QCOMPARE(left.size(), 1);
        JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
        QString why;
        const auto journal = AbandonedJournal::claim(QDir(journals).filePath(left.first()), &failure, &why);
        QVERIFY2(journal, qPrintable(why));
        QCOMPARE(journal->readings(), journalRows);
    }
}

void TestLogWindow::recoveryIsAQuestion()
{
    QTemporaryDir dir;
    const std::function<void(FakeHidSystem &)> noDevices;
    QString journal;
    {
        // A run that ends with rows nobody saved leaves its journal.
        WindowFixture earlier(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), noDevices, QString(),
                              dir.path());
        for (int i = 1; i <= 3; ++i)
            earlier.receiveFrame(volts(i));
        journal = earlier.session().journalFile();
    }
    // Named by the second and the process, which the next window in this
    // process may share: the earlier run's is older.
    QVERIFY(QFile::rename(journal, dir.filePath(QStringLiteral("journal-20000101-000000-1.xls"))));
    WindowFixture f(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), noDevices, QString(), dir.path());
    f.messages->answerYes = true;
    f.window->offerRecovery();
    QCOMPARE(f.messages->shown.size(), 1);
    QVERIFY2(f.messages->shown.first().startsWith(QLatin1String("question Recover readings?: ")),
             qPrintable(f.messages->shown.first()));
    QCOMPARE(gridRows(f), 3);
}

void TestLogWindow::columnsFitTheirTexts_data()
{
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("timeSeparator");
    QTest::addColumn<QString>("timeFormat");   // the locale's own time of day, as sampling logs it
    QTest::addColumn<bool>("sideBySide");      // all six columns fit in the grid beside its scroll bar

    QTest::newRow("de_DE: 24-hour clock, decimal comma") << "," << ":" << "HH:mm:ss" << true;
    QTest::newRow("en_US: 12-hour clock with AM and PM") << "." << ":" << "hh:mm:ss AP" << true;
    QTest::newRow("12-hour clock, one-digit hours") << "." << ":" << "h:mm:ss AP" << true;
    QTest::newRow("fi_FI: dots between") << "," << "." << "H.mm.ss" << true;
    QTest::newRow("a word after the time") << "," << ":" << "HH:mm:ss 'Uhr'" << false;
}

void TestLogWindow::columnsFitTheirTexts()
{
    QFETCH(QString, decimal);
    QFETCH(QString, timeSeparator);
    QFETCH(QString, timeFormat);
    QFETCH(bool, sideBySide);

    WindowFixture f(decimal, decimal, QStringLiteral("x86_64"), {}, QString(), QString(),
                    std::make_unique<FixedLocaleInfo>(decimal, decimal, timeSeparator, timeFormat));
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *grid = f.find<LogGridView>("logGrid");
    // Cells are drawn in the model's font on the grid's, inside 2 px on each side.
    const QFontMetrics cell(LogModel::cellFont().resolve(grid->font()));
    const QFontMetrics title(LogModel::titleFont().resolve(grid->horizontalHeader()->font()));
    const auto fits = [&](int column, const QString &text) {
        return cell.horizontalAdvance(text) <= grid->columnWidth(column) - 4;
    };
    for (int c = 0; c < 6; ++c) {
        const QString name = grid->model()->headerData(c, Qt::Horizontal).toString();
        QVERIFY2(title.horizontalAdvance(name) <= grid->columnWidth(c) - 4, qPrintable(name));
    }

    // Every second of the day would do; every minute, its seconds alike,
    // holds every digit in every place of both forms.
    const FixedLocaleInfo locale(decimal, decimal, timeSeparator, timeFormat);
    const auto twoDigits = [](int n) { return QString::number(n).rightJustified(2, u'0'); };
    for (int hour = 0; hour < 24; ++hour) {
        for (int minute = 0; minute < 60; ++minute) {
            const QString clock = twoDigits(hour) + timeSeparator + twoDigits(minute) + timeSeparator + twoDigits(minute);
            QVERIFY2(fits(1, clock), qPrintable(clock));
            const QString sampled = locale.timeOfDayText(QTime(hour, minute, minute));
            QVERIFY2(fits(1, sampled), qPrintable(sampled));
        }
    }
    for (int digit = 0; digit <= 9; ++digit) {
        const QString digits(4, QChar(u'0' + digit));
        for (int point = 1; point <= 3; ++point) {
            const QString value = QLatin1Char('-') + digits.left(point) + decimal + digits.mid(point);
            QVERIFY2(fits(3, value), qPrintable(value));
        }
    }
    for (const char *function : {"DutyCycle", "Diode", "Freq"})
        QVERIFY2(fits(2, QString::fromLatin1(function)), function);
    for (const char *unit : {"MΩ", "kΩ", "µF", "MHz", "kHz", "°C", "°F", "%"})
        QVERIFY2(fits(4, QString::fromUtf8(unit)), unit);
    for (const char *judge : {"pass", "Fail"})
        QVERIFY2(fits(5, QString::fromLatin1(judge)), judge);

    if (sideBySide) {
        int widths = 0;
        for (int c = 0; c < 6; ++c)
            widths += grid->columnWidth(c);
        QVERIFY2(widths <= grid->width() - 2 * grid->frameWidth() - grid->verticalScrollBar()->sizeHint().width(),
                 qPrintable(QString::number(widths)));
    }

    // Row numbers: five digits from the start, as the design has room for,
    // then whatever the rows bring: ten million rows, frames counted with
    // Repeat off, a file's numbers.
    const int designWidth = grid->columnWidth(0);
    QVERIFY(fits(0, QStringLiteral("88888")));
    LogTable &log = f.session().log();
    for (qint32 number : {1, 99999, 249989, 10000000, 2147483647, -2147483647 - 1}) {
        QVERIFY(log.append());
        log.setInteger(int(LogField::No), number);
        log.post();
        QVERIFY2(fits(0, QString::number(number)), qPrintable(QString::number(number)));
        if (number >= 0 && number <= 99999)
            QCOMPARE(grid->columnWidth(0), designWidth);
    }
}

void TestLogWindow::recordLimitLineHidesNoRow_data()
{
    QTest::addColumn<bool>("scrolledBack");
    QTest::addColumn<bool>("enlargedBetween");
    QTest::newRow("following the end") << false << false;
    QTest::newRow("scrolled back, then Ctrl+End") << true << false;
    QTest::newRow("chart enlarged and restored") << false << true;
}

void TestLogWindow::recordLimitLineHidesNoRow()
{
    QFETCH(bool, scrolledBack);
    QFETCH(bool, enlargedBetween);

    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.find<QAction>("recordLimit1000Action")->trigger();
    auto *grid = f.find<LogGridView>("logGrid");
    auto *line = f.find<QLabel>("recordLimitLabel");
    for (int i = 0; i < 500; ++i)
        f.receiveFrame(volts(i));
    if (scrolledBack)
        grid->verticalScrollBar()->setValue(0);
    for (int i = 500; i < 1000; ++i)
        f.receiveFrame(volts(i));
    QCOMPARE(gridRows(f), 1000);
    QVERIFY(line->isVisible());
    if (enlargedBetween) {
        f.window->chartControls().enlargeChart();
        f.window->chartControls().restoreChart();
        QVERIFY(line->isVisible());
    }
    if (scrolledBack) {
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    }
    QCOMPARE(grid->currentRow(), 999);

    // The last row lies whole inside the grid's rows, and the line below them.
    const int bottomOfLastRow = (999 - grid->firstVisibleRow() + 1) * grid->rowHeight();
    QVERIFY(bottomOfLastRow <= grid->viewport()->height());
    const QPoint viewportBottom = grid->viewport()->mapTo(f.window.get(), QPoint(0, grid->viewport()->height()));
    const QPoint lineTop = line->mapTo(f.window.get(), QPoint(0, 0));
    QVERIFY2(viewportBottom.y() <= lineTop.y(), qPrintable(QStringLiteral("%1 %2").arg(viewportBottom.y()).arg(lineTop.y())));
    // All in the grid's design place, the statistics at its bottom.
    const QRect statistics = f.find("statisticsLabel")->geometry();
    QCOMPARE(grid->geometry().top(), 264);
    QCOMPARE(statistics.bottom(), 264 + 241 - 1);
    QCOMPARE(line->geometry().bottom() + 1, statistics.top());

    // A larger limit: the line goes, the grid has its place back.
    f.find<QAction>("recordLimit5000Action")->trigger();
    QVERIFY(!line->isVisible());
    QCOMPARE(grid->geometry(), QRect(4, 264, 303, statistics.top() - 264));
}

namespace {

// Key names as QKeySequence reads them ("Ctrl+A", "End"); digits are typed.
void pressKeys(QWidget *widget, const QStringList &keys)
{
    for (const QString &key : keys) {
        if (key.front().isDigit()) {
            QTest::keyClicks(widget, key);
            continue;
        }
        const QKeyCombination combination = QKeySequence::fromString(key)[0];
        QTest::keyClick(widget, combination.key(), combination.keyboardModifiers());
    }
}

// What the edit's value in force is: the session's interval, or the pager's
// page size once the edit's text was applied.
int valueInForce(WindowFixture &f, const QString &edit)
{
    if (edit == u"pageSizeEdit") {
        f.window->chartControls().applyPageSize();
        return f.window->chartPager().pageSize();
    }
    return f.session().samplingInterval() / 1000;
}

} // namespace

void TestLogWindow::wholeNumberEditingKeys_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("shown");

    // Each edit starts at 55: the row's name, its keys, what the edit shows.
    const QStringList rows[] = {
        {"Ctrl+A then 50", "Ctrl+A", "50", "50"},
        {"copy, and paste at the end", "Ctrl+A", "Ctrl+C", "End", "Ctrl+V", "5555"},
        {"cut, and paste twice", "Ctrl+A", "Ctrl+X", "Ctrl+V", "Ctrl+V", "5555"},
        {"undo a typed digit", "End", "7", "Ctrl+Z", "55"},
        {"redo it", "End", "7", "Ctrl+Z", "Ctrl+Shift+Z", "557"},
    };
    for (const char *edit : {"samplingIntervalEdit", "pageSizeEdit"}) {
        for (const QStringList &row : rows)
            QTest::addRow("%s: %s", edit, qPrintable(row.first())) << edit << row.mid(1, row.size() - 2) << row.last();
    }
}

void TestLogWindow::wholeNumberEditingKeys()
{
    QFETCH(QString, edit);
    QFETCH(QStringList, keys);
    QFETCH(QString, shown);

    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *line = f.find<QLineEdit>(qPrintable(edit));
    line->setText(QStringLiteral("55"));
    QCOMPARE(valueInForce(f, edit), 55);
    line->setFocus();
    pressKeys(line, keys);
    QCOMPARE(line->text(), shown);
    QCOMPARE(valueInForce(f, edit), shown.toInt());
}

void TestLogWindow::wholeNumberOutOfRange_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("inForce");

    const QStringList pasteOver{"Ctrl+A", "Ctrl+V"};
    const QStringList emptyAndLeave{"Ctrl+A", "Backspace", "Return"};
    QTest::newRow("interval: 0 typed becomes 1") << "samplingIntervalEdit" << "" << QStringList{"Ctrl+A", "0"} << "1" << 1;
    QTest::newRow("interval: the longest") << "samplingIntervalEdit" << "2147483" << pasteOver << "2147483" << 2147483;
    QTest::newRow("interval: 2147483647 pasted is refused")
        << "samplingIntervalEdit" << "2147483647" << pasteOver << "30" << 30;
    QTest::newRow("interval: more digits than fit") << "samplingIntervalEdit" << "99999999999" << pasteOver << "30" << 30;
    QTest::newRow("interval: letters pasted") << "samplingIntervalEdit" << "12ab" << pasteOver << "30" << 30;
    QTest::newRow("interval: blanks around a pasted number") << "samplingIntervalEdit" << " 45\n" << pasteOver << "45" << 45;
    QTest::newRow("interval: a digit beyond the longest is not taken")
        << "samplingIntervalEdit" << "" << QStringList{"Ctrl+A", "2147484"} << "214748" << 214748;
    QTest::newRow("interval: emptied and left") << "samplingIntervalEdit" << "" << emptyAndLeave << "30" << 30;

    QTest::newRow("page: 0 typed is put back") << "pageSizeEdit" << "" << QStringList{"Ctrl+A", "0"} << "30" << 30;
    QTest::newRow("page: ten million") << "pageSizeEdit" << "10000000" << pasteOver << "10000000" << 10000000;
    QTest::newRow("page: beyond ten million") << "pageSizeEdit" << "10000001" << pasteOver << "30" << 30;
    QTest::newRow("page: 2147483647 pasted is refused") << "pageSizeEdit" << "2147483647" << pasteOver << "30" << 30;
    QTest::newRow("page: more digits than fit") << "pageSizeEdit" << "99999999999" << pasteOver << "30" << 30;
    QTest::newRow("page: emptied and left") << "pageSizeEdit" << "" << emptyAndLeave << "30" << 30;
}

void TestLogWindow::wholeNumberOutOfRange()
{
    QFETCH(QString, edit);
    QFETCH(QString, clipboard);
    QFETCH(QStringList, keys);
    QFETCH(QString, shown);
    QFETCH(int, inForce);

    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *line = f.find<QLineEdit>(qPrintable(edit));
    line->setText(QStringLiteral("30"));
    QCOMPARE(valueInForce(f, edit), 30);
    QGuiApplication::clipboard()->setText(clipboard);
    line->setFocus();
    pressKeys(line, keys);
    const int applied = valueInForce(f, edit);
    QCOMPARE(line->text(), shown);
    QCOMPARE(applied, inForce);
}

QTEST_MAIN(TestLogWindow)
#include "tst_logwindow.moc"
