#include "log/logdating.h"
#include "log/logtable.h"
#include "log/tablefiles.h"
#include "logfixtures.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <ctime>
#include <optional>

// The dates of rows that know only their time of day: from the times'
// midnights and what the file tells of when it was written.
class TestLogDating : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void secondOfDay_data();
    void secondOfDay();
    void dateRows_data();
    void dateRows();
    void openedFilesGetTheirDates_data();
    void openedFilesGetTheirDates();
    void loggedMomentsStay();
};

namespace {

qint64 local(const char *text)
{
    const QDateTime time = QDateTime::fromString(QLatin1String(text), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    Q_ASSERT(time.isValid());
    return time.toMSecsSinceEpoch();
}

QString localText(qint64 utcMilliseconds)
{
    return QDateTime::fromMSecsSinceEpoch(utcMilliseconds, Qt::LocalTime).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

LogTable &tableOfTimes(LogTable &table, const QStringList &times)
{
    for (int i = 0; i < times.size(); ++i)
        appendRow(table, loggedRow(i + 1, times[i], "DC", "1.000", "V", "pass"));
    return table;
}

// The rows' moments as local date and time; "-" for a row without one.
QStringList momentsOf(const LogTable &table, int first = 0)
{
    QStringList moments;
    for (int row = first; row < table.rowCount(); ++row) {
        const std::optional<qint64> at = table.loggedAt(row);
        moments << (at ? localText(*at) : QStringLiteral("-"));
    }
    return moments;
}

} // namespace

void TestLogDating::initTestCase()
{
    // A zone with daylight saving time, whatever the machine's.
    qputenv("TZ", "Europe/Berlin");
    tzset();
}

void TestLogDating::secondOfDay_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("second");        // -1: not a time
    QTest::addColumn<bool>("plain");        // the byte path reads it without decoding

    QTest::newRow("hh:mm:ss") << "10:15:03" << 36903 << true;
    QTest::newRow("points, evening") << "22.15.03" << 80103 << true;
    QTest::newRow("one-digit hour") << "9.05.07" << 32707 << true;
    QTest::newRow("afternoon") << "10:15:03 PM" << 80103 << false;
    QTest::newRow("after midnight, 12-hour") << "12:00:01 AM" << 1 << false;
    QTest::newRow("after noon, 12-hour") << "12:00:01 p.m." << 43201 << false;
    QTest::newRow("units of the time as letters") << "22時15分03秒" << 80103 << false;
    QTest::newRow("another script's digits") << "۱۰:۱۵:۰۳" << 36903 << false;
    QTest::newRow("24-hour time with a marker") << "13:00:00 PM" << 46800 << false;
    QTest::newRow("hour out of the day") << "25:00:00" << -1 << true;
    QTest::newRow("two numbers") << "10:15" << -1 << true;
    QTest::newRow("no number") << "noon" << -1 << false;
    QTest::newRow("empty") << "" << -1 << true;
}

void TestLogDating::secondOfDay()
{
    QFETCH(QString, text);
    QFETCH(int, second);
    QFETCH(bool, plain);
    const std::optional<int> expected = second < 0 ? std::nullopt : std::optional<int>(second);
    QCOMPARE(LogDating::secondOfDay(text), expected);
    const std::optional<int> bytes = LogDating::plainSecondOfDay(text.toUtf8());
    QCOMPARE(bytes, plain ? expected : std::nullopt);
}

void TestLogDating::dateRows_data()
{
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<qint64>("notBefore");   // 0: not known
    QTest::addColumn<qint64>("notAfter");
    QTest::addColumn<QStringList>("moments");
    QTest::addColumn<bool>("certain");

    QTest::newRow("one day, the file written later that day")
        << QStringList{"10:00:00", "10:00:01", "11:00:00"} << 0LL << local("2024-05-02 12:00:00")
        << QStringList{"2024-05-02 10:00:00", "2024-05-02 10:00:01", "2024-05-02 11:00:00"} << false;
    QTest::newRow("written next morning: the day before")
        << QStringList{"22:00:00", "23:00:00"} << 0LL << local("2024-05-02 08:00:00")
        << QStringList{"2024-05-01 22:00:00", "2024-05-01 23:00:00"} << false;
    QTest::newRow("across midnight")
        << QStringList{"23:59:59", "00:00:01", "09:00:00"} << 0LL << local("2024-05-03 10:00:00")
        << QStringList{"2024-05-02 23:59:59", "2024-05-03 00:00:01", "2024-05-03 09:00:00"} << false;
    QTest::newRow("hourly samples over three midnights")
        << QStringList{"20:00:00", "04:00:00", "20:00:00", "04:00:00", "20:00:00", "04:00:00"} << 0LL
        << local("2024-05-04 05:00:00")
        << QStringList{"2024-05-01 20:00:00", "2024-05-02 04:00:00", "2024-05-02 20:00:00", "2024-05-03 04:00:00",
                       "2024-05-03 20:00:00", "2024-05-04 04:00:00"}
        << false;
    QTest::newRow("the clock set back a minute: the same day")
        << QStringList{"10:00:00", "09:59:00", "10:05:00"} << 0LL << local("2024-05-02 11:00:00")
        << QStringList{"2024-05-02 10:00:00", "2024-05-02 09:59:00", "2024-05-02 10:05:00"} << false;
    QTest::newRow("the end of daylight saving time: the same day")
        << QStringList{"01:30:00", "02:59:59", "02:00:00", "03:30:00"} << 0LL << local("2024-10-27 04:00:00")
        << QStringList{"2024-10-27 01:30:00", "2024-10-27 02:59:59", "2024-10-27 02:00:00", "2024-10-27 03:30:00"}
        << false;
    QTest::newRow("both ends known and agreeing")
        << QStringList{"22:00:00", "01:00:00"} << local("2024-05-01 21:59:00") << local("2024-05-02 02:00:00")
        << QStringList{"2024-05-01 22:00:00", "2024-05-02 01:00:00"} << true;
    QTest::newRow("a silent day between the ends goes where the log was silent longest")
        << QStringList{"10:00:00", "10:00:01", "17:00:00", "09:00:00", "09:30:00"} << local("2024-05-01 09:00:00")
        << local("2024-05-04 10:00:00")
        << QStringList{"2024-05-01 10:00:00", "2024-05-01 10:00:01", "2024-05-01 17:00:00", "2024-05-04 09:00:00",
                       "2024-05-04 09:30:00"}
        << false;
    QTest::newRow("a file written before its log began: the start counts")
        << QStringList{"10:00:00", "11:00:00"} << local("2024-05-03 09:00:00") << local("2024-05-01 12:00:00")
        << QStringList{"2024-05-03 10:00:00", "2024-05-03 11:00:00"} << false;
    QTest::newRow("only the start known")
        << QStringList{"23:00:00", "01:00:00"} << local("2024-05-01 22:00:00") << 0LL
        << QStringList{"2024-05-01 23:00:00", "2024-05-02 01:00:00"} << false;
    QTest::newRow("a time that is no time gets no date, the others do")
        << QStringList{"23:00:00", "noon", "01:00:00"} << 0LL << local("2024-05-02 02:00:00")
        << QStringList{"2024-05-01 23:00:00", "-", "2024-05-02 01:00:00"} << false;
    QTest::newRow("nothing known: no dates")
        << QStringList{"10:00:00"} << 0LL << 0LL << QStringList{"-"} << false;
}

void TestLogDating::dateRows()
{
    QFETCH(QStringList, times);
    QFETCH(qint64, notBefore);
    QFETCH(qint64, notAfter);
    QFETCH(QStringList, moments);
    QFETCH(bool, certain);

    LogDating::Evidence evidence;
    if (notBefore)
        evidence.notBefore = notBefore;
    if (notAfter)
        evidence.notAfter = notAfter;
    LogTable table;
    LogDating dating;
    const int dated = LogDating::dateRows(tableOfTimes(table, times), 0, evidence, &dating);
    QCOMPARE(momentsOf(table), moments);
    QCOMPARE(dated, int(moments.size() - moments.count(QStringLiteral("-"))));
    QCOMPARE(dating.datesCertain(), certain);
    if (dated > 0) {
        QCOMPARE(dating.firstDate().toString(Qt::ISODate), moments.first().left(10));
        QCOMPARE(dating.lastDate().toString(Qt::ISODate), moments.last().left(10));
    }
}

void TestLogDating::openedFilesGetTheirDates_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::newRow("text") << "log.xls";
    QTest::newRow("XML") << "log.xml";
}

void TestLogDating::openedFilesGetTheirDates()
{
    // A file saved the morning after an evening's log, then opened after
    // two rows that were logged now.
    QFETCH(QString, fileName);
    QTemporaryDir dir;
    const QString path = dir.filePath(fileName);
    LogTable saved;
    tableOfTimes(saved, {"23:59:58", "00:00:02", "00:10:00"});
    QVERIFY(saveTableFile(saved, path));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(QDateTime::fromMSecsSinceEpoch(local("2024-03-01 07:00:00")),
                                 QFileDevice::FileModificationTime));
    }

    LogTable table;
    const qint64 now = local("2024-06-01 12:00:00");
    for (int i = 0; i < 2; ++i) {
        QVERIFY(table.append());
        table.setText(int(LogField::Time), u"12:00:00");
        table.setLoggedAt(now + i);
        table.post();
    }
    QVERIFY(loadTableFile(path, table));
    const QStringList fileRows{"2024-02-29 23:59:58", "2024-03-01 00:00:02", "2024-03-01 00:10:00"};
    if (tableFileFormat(path) == TableFileFormat::Xml) {
        // An XML file replaces the log.
        QCOMPARE(momentsOf(table), fileRows);
    } else {
        QCOMPARE(momentsOf(table), QStringList({"2024-06-01 12:00:00", "2024-06-01 12:00:00"}) + fileRows);
        QCOMPARE(table.loggedAt(1), now + 1);
    }
}

void TestLogDating::loggedMomentsStay()
{
    // The moment to the millisecond, from 1970 to 2106, and none beyond.
    LogTable table;
    const QList<qint64> moments{0, local("2024-05-01 10:15:03") + 999, 4294967295999LL, -1, 4294967296000LL};
    for (const qint64 moment : moments) {
        QVERIFY(table.append());
        table.setLoggedAt(moment);
        table.post();
    }
    QCOMPARE(table.loggedAt(0), 0LL);
    QCOMPARE(table.loggedAt(1), moments[1]);
    QCOMPARE(table.loggedAt(2), 4294967295999LL);
    QCOMPARE(table.loggedAt(3), std::nullopt);
    QCOMPARE(table.loggedAt(4), std::nullopt);
    // Dated afterwards, and undated again by a moment out of range; the
    // row's other marks stay.
    table.setLoggedAt(3, 1234);
    QCOMPARE(table.loggedAt(3), 1234LL);
    QVERIFY(table.pendingInsert(3));
    table.setLoggedAt(1, -5);
    QCOMPARE(table.loggedAt(1), std::nullopt);
    QVERIFY(table.pendingInsert(1));
}

QTEST_GUILESS_MAIN(TestLogDating)
#include "tst_logdating.moc"
