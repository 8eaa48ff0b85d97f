#include "meterframes.h"
#include "windowfixture.h"

#include "app/brokerpublishing.h"
#include "chart/chartpager.h"

#include <QAction>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <algorithm>

using namespace MeterBits;

// The window as a bench keeps it open all day: its keys, the statistics
// under the grid, the CSV export and publishing to a broker.
class TestBenchWindow : public QObject
{
    Q_OBJECT
private slots:
    void keys_data();
    void keys();
    void chartPageKeys_data();
    void chartPageKeys();
    void statisticsLine_data();
    void statisticsLine();
    void reportTellsLimitsAndStatistics();
    void exportCsv_data();
    void exportCsv();
    void brokerAddress_data();
    void brokerAddress();
    void publishing();
};

namespace {

// count / 1000 volts.
QByteArray volts(int count)
{
    char digits[5] = {};
    const QByteArray text = QByteArray::number(count % 10000).rightJustified(4, '0');
    std::copy_n(text.constData(), 4, digits);
    return meterFrame('+', reinterpret_cast<const char(&)[5]>(digits), '1', {Auto | Dc, 0, 0, Volt});
}

// What the window asked and showed, in order: its dialogs, then its message
// boxes, then the reports it previewed.
QStringList asked(const WindowFixture &f)
{
    QStringList all = f.dialogs->shown + f.messages->shown;
    for (int rows : f.dialogs->previewedRows)
        all << QStringLiteral("preview of %1 rows").arg(rows);
    return all;
}

QString statistics(const WindowFixture &f) { return f.find<QLabel>("statisticsLabel")->text(); }

} // namespace

void TestBenchWindow::keys_data()
{
    QTest::addColumn<QKeySequence>("key");
    QTest::addColumn<QString>("focus");    // the widget with the focus when the key is pressed
    QTest::addColumn<QString>("button");   // the tool button whose tooltip names the key
    QTest::addColumn<QString>("asked");

    const QKeySequence open(Qt::CTRL | Qt::Key_O);
    QTest::newRow("Ctrl+O opens") << open << "logGrid" << "openLogButton" << "open table";
    QTest::newRow("Ctrl+O from a limit edit") << open << "highLimitEdit" << "openLogButton" << "open table";
    QTest::newRow("Ctrl+S saves") << QKeySequence(Qt::CTRL | Qt::Key_S) << "logGrid" << "saveLogButton" << "save table";
    QTest::newRow("Ctrl+P prints") << QKeySequence(Qt::CTRL | Qt::Key_P) << "chart" << "printLogButton"
                                   << "preview of 1 rows";
    QTest::newRow("Ctrl+L clears") << QKeySequence(Qt::CTRL | Qt::Key_L) << "logGrid" << "clearLogButton"
                                   << "confirm: Do you want to empty the logged data?";
    QTest::newRow("Ctrl+Q quits") << QKeySequence(Qt::CTRL | Qt::Key_Q) << "pageSizeEdit" << "quitButton"
                                  << "confirm: Are you sure that you want to quit this application?";
}

void TestBenchWindow::keys()
{
    QFETCH(QKeySequence, key);
    QFETCH(QString, focus);
    QFETCH(QString, button);
    QFETCH(QString, asked);

    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    // A row that is saved: Clear and Quit ask their own questions.
    f.receiveFrame(volts(1234));
    f.session().markSaved(0);
    QWidget *target = f.window->findChild<QWidget *>(focus);
    target->setFocus();
    QTest::keySequence(target, key);
    QCOMPARE(::asked(f), QStringList{asked});
    // The key is told where the command's button is.
    const QString tip = f.window->findChild<QToolButton *>(button) ? f.find<QToolButton>(qPrintable(button))->toolTip()
                                                                    : f.find(qPrintable(button))->toolTip();
    QVERIFY2(tip.endsWith(QStringLiteral("(%1)").arg(key.toString(QKeySequence::NativeText))), qPrintable(tip));
}

void TestBenchWindow::chartPageKeys_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("shown");

    const QList<int> homeThenOnThenBack{Qt::Key_Home, Qt::Key_PageDown, Qt::Key_PageDown, Qt::Key_PageUp};
    QTest::newRow("on the chart") << "chart" << homeThenOnThenBack << "2 of 3";
    QTest::newRow("End follows the newest") << "chart" << QList<int>{Qt::Key_Home, Qt::Key_End} << "3 of 3";
    QTest::newRow("the grid keeps its own keys") << "logGrid" << homeThenOnThenBack << "3 of 3";
}

void TestBenchWindow::chartPageKeys()
{
    QFETCH(QString, focus);
    QFETCH(QList<int>, keys);
    QFETCH(QString, shown);

    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowActive(f.window.get()));
    for (int i = 1; i <= 250; ++i)
        f.receiveFrame(volts(i));
    QCOMPARE(f.window->chartPager().pageCount(), 3);
    QWidget *target = f.window->findChild<QWidget *>(focus);
    target->setFocus();
    for (int key : keys)
        QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(f.find<QToolButton>("pageNumberButton")->text(), shown);
}

void TestBenchWindow::statisticsLine_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QList<int>>("counts");
    QTest::addColumn<QString>("highLimit");
    QTest::addColumn<QString>("shown");

    QTest::newRow("nothing logged") << "." << QList<int>{} << "4000" << "n 0\nPass 0  Fail 0";
    QTest::newRow("one reading: no deviation") << "." << QList<int>{1500} << "4000"
                                                << "DC V  n 1  min 1.5  max 1.5\nmean 1.5  Pass 1  Fail 0";
    QTest::newRow("three, one above the limit") << "." << QList<int>{1000, 2000, 3000} << "2.5"
                                                 << "DC V  n 3  min 1  max 3\nmean 2  sd 1  Pass 2  Fail 1";
    QTest::newRow("the user's decimal comma") << "," << QList<int>{1500, 2500} << "4000"
                                              << "DC V  n 2  min 1,5  max 2,5\nmean 2  sd 0,70711  Pass 2  Fail 0";
}

void TestBenchWindow::statisticsLine()
{
    QFETCH(QString, separator);
    QFETCH(QList<int>, counts);
    QFETCH(QString, highLimit);
    QFETCH(QString, shown);

    WindowFixture f(separator, separator);
    f.find<QLineEdit>("highLimitEdit")->setText(highLimit);
    for (int count : counts)
        f.receiveFrame(volts(count));
    QCOMPARE(statistics(f), shown);

    // Cleared, the statistics start afresh.
    f.messages->answerYes = true;
    f.messages->saveChoice = UserMessages::SaveChoice::Discard;
    f.window->fileCommands().clearLog();
    QCOMPARE(statistics(f), QStringLiteral("n 0\nPass 0  Fail 0"));
    f.receiveFrame(volts(1500));
    const QString oneAndAHalf = QStringLiteral("1") + separator + QStringLiteral("5");
    QCOMPARE(statistics(f).section(u'\n', 0, 0), QStringLiteral("DC V  n 1  min %1  max %1").arg(oneAndAHalf));
}

void TestBenchWindow::reportTellsLimitsAndStatistics()
{
    // The printed report heads its first page with the limits in force and
    // the statistics the window shows.
    WindowFixture f(QStringLiteral(","), QStringLiteral(","));
    f.find<QLineEdit>("highLimitEdit")->setText(QStringLiteral("2,5"));
    f.find<QLineEdit>("lowLimitEdit")->setText(QStringLiteral("-1"));
    for (int count : {1000, 2000, 3000})
        f.receiveFrame(volts(count));
    f.find<QAction>("printLogAction")->trigger();
    QCOMPARE(f.dialogs->previewedSummaries.size(), 1);
    const ReportSummary summary = f.dialogs->previewedSummaries.first();
    QCOMPARE(summary.limitsText(), QStringLiteral("Low -1  High 2,5  Pass 2  Fail 1"));
    QCOMPARE(summary.statisticsText(), QStringLiteral("DC V  n 3  min 1  max 3  mean 2  sd 1"));
}

void TestBenchWindow::exportCsv_data()
{
    QTest::addColumn<QString>("name");   // in a fresh folder
    QTest::addColumn<bool>("written");
    QTest::newRow("a new file") << "log.csv" << true;
    QTest::newRow("a folder that is not there") << "missing/log.csv" << false;
}

void TestBenchWindow::exportCsv()
{
    QFETCH(QString, name);
    QFETCH(bool, written);

    QTemporaryDir dir;
    const QString file = dir.filePath(name);
    WindowFixture f;
    for (int count : {1000, 2000, 3000})
        f.receiveFrame(volts(count));
    f.dialogs->names = {file};
    f.find<QAction>("exportCsvAction")->trigger();
    QCOMPARE(f.dialogs->shown, QStringList{"save csv"});
    QCOMPARE(f.messages->shown.size(), 1);
    const QString message = f.messages->shown.first();
    if (written) {
        QCOMPARE(message, QStringLiteral("information: The log is exported to %1.").arg(file));
        QFile csv(file);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 5);   // a header, three rows, nothing after the last line end
        QVERIFY2(lines.at(0).startsWith("timestamp,seconds,value,unit,function,judgement,frame"), lines.at(0).constData());
        QVERIFY2(lines.at(3).contains(",3,V,DC,pass,"), lines.at(3).constData());
    } else {
        // As a save's: the file and the reason.
        QVERIFY2(message.startsWith(QStringLiteral("error: Could not save table to specified file: %1\n\n").arg(file)),
                 qPrintable(message));
        QVERIFY(message.size() > QStringLiteral("error: Could not save table to specified file: \n\n").size() + file.size());
    }
    // The log is no more saved than before: a CSV file does not open again.
    QCOMPARE(f.session().unsavedRows(), 3);
}

void TestBenchWindow::brokerAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("error");   // empty: taken
    QTest::addColumn<QString>("topic");
    const QString meterTopic = QStringLiteral("qm320/%1/COM1").arg(QSysInfo::machineHostName());
    QTest::newRow("host only: the meter's own topic") << "mqtt://127.0.0.1" << "" << meterTopic;
    QTest::newRow("port and topic") << "mqtt://lab:1884/bench/3" << "" << "bench/3";
    QTest::newRow("another scheme") << "http://lab/x" << "Cannot publish to http://lab/x: " << "";
    QTest::newRow("a wildcard topic") << "mqtt://lab/bench/#" << "Cannot publish to mqtt://lab/bench/#: " << "";
}

void TestBenchWindow::brokerAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, error);
    QFETCH(QString, topic);

    QTemporaryDir dir;
    const QString settings = dir.filePath(QStringLiteral("qm320.conf"));
    {
        WindowFixture f(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), {}, settings);
        QVERIFY(!f.shown("brokerLabel"));   // off by default
        f.dialogs->broker = address;
        f.find<QAction>("brokerAction")->trigger();
        QCOMPARE(f.dialogs->offeredBroker, QString());
        if (!error.isEmpty()) {
            QCOMPARE(f.messages->shown.size(), 1);
            QVERIFY2(f.messages->shown.first().startsWith("error: " + error), qPrintable(f.messages->shown.first()));
            QVERIFY(!f.shown("brokerLabel"));
            QCOMPARE(f.broker->starts, 0);
            return;
        }
        QVERIFY(f.messages->shown.isEmpty());
        QCOMPARE(f.broker->topic, topic);
        QVERIFY(f.shown("brokerLabel"));
    }
    // Kept for the next run, which publishes there from the start.
    WindowFixture again(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), {}, settings);
    QCOMPARE(again.window->publishing().address(), address);
    QCOMPARE(again.broker->starts, 1);
    // Turned off, it stays off.
    again.dialogs->broker = QString();
    again.find<QAction>("brokerAction")->trigger();
    QCOMPARE(again.dialogs->offeredBroker, address);
    QVERIFY(!again.shown("brokerLabel"));
    again.receiveFrame(volts(1000));
    QVERIFY(again.broker->messages.isEmpty());
}

void TestBenchWindow::publishing()
{
    WindowFixture f;
    f.dialogs->broker = QStringLiteral("mqtt://127.0.0.1/bench");
    f.find<QAction>("brokerAction")->trigger();
    auto *label = f.find<QLabel>("brokerLabel");
    QCOMPARE(label->text(), QStringLiteral("MQTT: broker away  0 dropped"));

    // Every decoded reading goes out, logged or not (Repeat off logs only changes).
    f.find<QCheckBox>("repeatCheck")->setChecked(false);
    for (int count : {1000, 1000, 2000})
        f.receiveFrame(volts(count));
    QCOMPARE(f.broker->messages.size(), 3);
    QVERIFY2(f.broker->messages.last().contains("\"value\":2"), f.broker->messages.last().constData());

    // The broker's state and the readings it lost show as they change.
    f.broker->status.connected = true;
    QTRY_COMPARE(label->text(), QStringLiteral("MQTT: connected  0 dropped"));
    f.broker->status.connected = false;
    f.broker->status.problem = QStringLiteral("connection refused");
    f.broker->status.dropped = 12;
    QTRY_COMPARE(label->text(), QStringLiteral("MQTT: broker away  12 dropped"));
    QCOMPARE(label->toolTip(), QStringLiteral("mqtt://127.0.0.1/bench: connection refused"));
}

QTEST_MAIN(TestBenchWindow)
#include "tst_benchwindow.moc"
