#include "session/timeofdayclock.h"

#include <QtTest>

#include <cstdlib>
#include <ctime>

namespace {

// A clock whose instant the test sets. Its zone is a fixed offset, or the
// system's conversion when `systemZone` is given.
class ScriptedClock : public LocalClock
{
public:
    explicit ScriptedClock(int *conversions, std::unique_ptr<LocalClock> systemZone = nullptr)
        : m_conversions(conversions), m_systemZone(std::move(systemZone)) {}

    qint64 utcMilliseconds() const override { return instant; }
    QTime localTimeOfDay(qint64 utcSeconds) const override
    {
        ++*m_conversions;
        if (m_systemZone)
            return m_systemZone->localTimeOfDay(utcSeconds);
        const qint64 local = utcSeconds + offsetSeconds;
        return QTime(0, 0).addSecs(int(((local % 86400) + 86400) % 86400));
    }

    qint64 instant = 0;
    int offsetSeconds = 0;

private:
    int *m_conversions;
    std::unique_ptr<LocalClock> m_systemZone;
};

qint64 utcMs(const char *isoUtc)
{
    return QDateTime::fromString(QString::fromLatin1(isoUtc), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

// Sets TZ for the life of the object.
class ZoneForTest
{
public:
    explicit ZoneForTest(const QByteArray &zone)
        : m_had(qEnvironmentVariableIsSet("TZ")), m_old(qgetenv("TZ"))
    {
        // The clock is to notice the change by itself.
        qputenv("TZ", zone);
    }
    ~ZoneForTest()
    {
        if (m_had)
            qputenv("TZ", m_old);
        else
            qunsetenv("TZ");
        tzset();
    }

private:
    bool m_had;
    QByteArray m_old;
};

bool zoneInstalled(const char *zone)
{
    return QFile::exists(QStringLiteral("/usr/share/zoneinfo/") + QLatin1String(zone));
}

} // namespace

// Logged rows carry the local time of day. The zone is asked once per second
// of the clock; the text must still be right across midnight, a change of
// daylight saving time, a clock that is set, and a zone the user changes.
class TestTimeOfDayClock : public QObject
{
    Q_OBJECT
private slots:
    void oncePerSecond_data();
    void oncePerSecond();
    void systemZoneAcrossDaylightSaving_data();
    void systemZoneAcrossDaylightSaving();
    void zoneChangedWhileRunning();
    void agreesWithTheToolkitsClock();
};

void TestTimeOfDayClock::oncePerSecond_data()
{
    // Each step: UTC milliseconds of the day, the zone's offset in seconds,
    // then the time of day read and the conversions made so far.
    QTest::addColumn<QList<int>>("instants");
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<QStringList>("times");
    QTest::addColumn<QList<int>>("conversions");

    const int ten = 10 * 3600 * 1000;
    QTest::newRow("one second asks once") << QList<int>{ten + 100, ten + 999} << QList<int>{0, 0}
                                          << QStringList{"10:00:00.100", "10:00:00.999"} << QList<int>{1, 1};
    QTest::newRow("a new second asks again") << QList<int>{ten + 999, ten + 1000, ten + 2500} << QList<int>{0, 0, 0}
                                             << QStringList{"10:00:00.999", "10:00:01.000", "10:00:02.500"}
                                             << QList<int>{1, 2, 3};
    const int lastSecond = 86399 * 1000;
    QTest::newRow("midnight") << QList<int>{lastSecond + 950, 86400 * 1000 + 50} << QList<int>{0, 0}
                              << QStringList{"23:59:59.950", "00:00:00.050"} << QList<int>{1, 2};
    QTest::newRow("clock set back") << QList<int>{ten + 5000, ten + 1200} << QList<int>{0, 0}
                                    << QStringList{"10:00:05.000", "10:00:01.200"} << QList<int>{1, 2};
    QTest::newRow("zone changed: seen from the next second")
        << QList<int>{ten + 100, ten + 600, ten + 1100} << QList<int>{0, 3600, 3600}
        << QStringList{"10:00:00.100", "10:00:00.600", "11:00:01.100"} << QList<int>{1, 1, 2};
    QTest::newRow("zone ahead of UTC past midnight") << QList<int>{22 * 3600 * 1000 + 30} << QList<int>{2 * 3600 + 1800}
                                                     << QStringList{"00:30:00.030"} << QList<int>{1};
}

void TestTimeOfDayClock::oncePerSecond()
{
    QFETCH(QList<int>, instants);
    QFETCH(QList<int>, offsets);
    QFETCH(QStringList, times);
    QFETCH(QList<int>, conversions);

    int converted = 0;
    auto scripted = std::make_unique<ScriptedClock>(&converted);
    ScriptedClock *clock = scripted.get();
    TimeOfDayClock timeOfDay(std::move(scripted));
    const qint64 someDay = utcMs("2024-05-06T00:00:00.000Z");
    for (int i = 0; i < instants.size(); ++i) {
        clock->instant = someDay + instants[i];
        clock->offsetSeconds = offsets[i];
        QCOMPARE(timeOfDay.now().toString(QStringLiteral("HH:mm:ss.zzz")), times[i]);
        QCOMPARE(converted, conversions[i]);
    }
}

void TestTimeOfDayClock::systemZoneAcrossDaylightSaving_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QStringList>("instants");   // UTC
    QTest::addColumn<QStringList>("times");      // local

    QTest::newRow("spring forward") << QByteArray("Europe/Berlin")
                                    << QStringList{"2024-03-31T00:59:59.500Z", "2024-03-31T01:00:00.200Z"}
                                    << QStringList{"01:59:59.500", "03:00:00.200"};
    QTest::newRow("fall back: the hour again") << QByteArray("Europe/Berlin")
                                               << QStringList{"2024-10-27T00:59:59.900Z", "2024-10-27T01:00:00.000Z"}
                                               << QStringList{"02:59:59.900", "02:00:00.000"};
    QTest::newRow("midnight half an hour off UTC") << QByteArray("Asia/Kolkata")
                                                   << QStringList{"2024-01-15T18:29:59.999Z", "2024-01-15T18:30:00.001Z"}
                                                   << QStringList{"23:59:59.999", "00:00:00.001"};
}

void TestTimeOfDayClock::systemZoneAcrossDaylightSaving()
{
    QFETCH(QByteArray, zone);
    QFETCH(QStringList, instants);
    QFETCH(QStringList, times);
    if (!zoneInstalled(zone.constData()))
        QSKIP("the time zone data is not installed");

    const ZoneForTest inZone(zone);
    int converted = 0;
    auto scripted = std::make_unique<ScriptedClock>(&converted, createSystemClock());
    ScriptedClock *clock = scripted.get();
    TimeOfDayClock timeOfDay(std::move(scripted));
    for (int i = 0; i < instants.size(); ++i) {
        clock->instant = utcMs(instants[i].toLatin1().constData());
        QCOMPARE(timeOfDay.now().toString(QStringLiteral("HH:mm:ss.zzz")), times[i]);
    }
}

void TestTimeOfDayClock::zoneChangedWhileRunning()
{
    if (!zoneInstalled("Europe/Berlin") || !zoneInstalled("Asia/Kolkata"))
        QSKIP("the time zone data is not installed");
    const std::unique_ptr<LocalClock> system = createSystemClock();
    const qint64 noon = utcMs("2024-01-15T12:00:00.000Z") / 1000;
    {
        const ZoneForTest berlin("Europe/Berlin");
        QCOMPARE(system->localTimeOfDay(noon), QTime(13, 0));
    }
    const ZoneForTest kolkata("Asia/Kolkata");
    QCOMPARE(system->localTimeOfDay(noon), QTime(17, 30));
}

// The rows' times are what the toolkit's own clock would have given.
void TestTimeOfDayClock::agreesWithTheToolkitsClock()
{
    TimeOfDayClock timeOfDay;
    const QTime before = QTime::currentTime();
    const QTime ours = timeOfDay.now();
    const QTime after = QTime::currentTime();
    // Across midnight the later time is the smaller one.
    const bool inOrder = before <= after ? before <= ours && ours <= after : ours >= before || ours <= after;
    QVERIFY2(inOrder, qPrintable(ours.toString(QStringLiteral("HH:mm:ss.zzz"))));
}

QTEST_GUILESS_MAIN(TestTimeOfDayClock)
#include "tst_timeofdayclock.moc"
