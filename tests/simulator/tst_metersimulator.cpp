// The simulator's frames through the program's own frame assembly and
// decoder: every scenario must decode, frame by frame, to what the simulated
// meter showed, and together they must reach every function, unit and range.

#include "session/metersession.h"
#include "shared/localeinfo.h"
#include "simulator/metersimulator.h"

#include <QSet>
#include <QTest>

namespace {

struct Decoded
{
    QString value;
    QString function;
    QString unit;
    Annunciators flags;
    int rangeRow = 0;
    bool operator==(const Decoded &) const = default;
};

// Collects what the decoder made of each frame.
struct Decoding
{
    Decoding()
    {
        QObject::connect(&session, &MeterSession::readingDecoded, &session, [this](const DecodeResult &d) {
            readings.push_back({d.reading.valueText, functionText(d.reading.function), unitText(d.reading.unit), d.reading.flags,
                                d.rangeRow});
        });
    }
    void serial(QByteArrayView bytes) { session.feedSerialBytes(bytes); }

    FixedLocaleInfo locale;
    MeterSession session{locale};
    std::vector<Decoded> readings;
};

// The display as the meter's LCD shows it, with "." as the separator.
QString shownText(const MeterDisplay &d)
{
    auto point = [&](int code) { return d.pointCode == code ? QStringLiteral(".") : QString(); };
    if (d.overRange)
        return point(1) + QLatin1Char('0') + point(2) + QLatin1Char('L') + point(4);
    return (d.negative ? QStringLiteral("-") : QString()) + QLatin1Char(d.digits[0]) + point(1)
           + QLatin1Char(d.digits[1]) + point(2) + QLatin1Char(d.digits[2]) + point(4) + QLatin1Char(d.digits[3]);
}

QStringList flagNames(Annunciators flags)
{
    QStringList names;
    for (int i = 0; i < AnnunciatorCount; ++i) {
        if (flags.test(Annunciator(i)))
            names << QLatin1String(annunciatorName(Annunciator(i)));
    }
    return names;
}

QStringList sorted(QSet<QString> set)
{
    QStringList list(set.begin(), set.end());
    list.sort();
    return list;
}

} // namespace

class TestMeterSimulator : public QObject
{
    Q_OBJECT

private slots:
    void scenarioDecodes_data();
    void scenarioDecodes();
    void allPlaysEveryScenario();
    void hidReportsCarryTheSameReadings_data();
    void hidReportsCarryTheSameReadings();
};

void TestMeterSimulator::scenarioDecodes_data()
{
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<QStringList>("functions");   // exactly these
    QTest::addColumn<QStringList>("units");       // exactly these
    QTest::addColumn<QStringList>("flags");       // each set at least once
    QTest::addColumn<QList<int>>("rows");         // exactly these range rows (0: none)
    QTest::addColumn<bool>("overRange");
    QTest::addColumn<bool>("negative");

    auto list = [](std::initializer_list<const char *> items) {
        QStringList l;
        for (const char *i : items)
            l << QString::fromUtf8(i);
        return l;
    };
    QTest::newRow("dcv") << "dcv" << list({"DC"}) << list({"V"}) << list({"auto", "dc", "volt", "scale4v"})
                         << QList<int>{8, 9, 10, 24} << false << true;
    QTest::newRow("mv") << "mv" << list({"DC"}) << list({"mV"}) << list({"dc", "milli", "volt"})
                        << QList<int>{5, 6} << false << true;
    QTest::newRow("acv") << "acv" << list({"AC"}) << list({"V"}) << list({"auto", "ac", "volt", "scale4v"})
                         << QList<int>{2, 3, 4, 24} << false << false;
    QTest::newRow("dca") << "dca" << list({"DC"}) << list({"A", "mA", "uA"})
                         << list({"auto", "dc", "ampere", "micro", "milli"}) << QList<int>{35, 36, 39, 40, 43, 44}
                         << false << true;
    QTest::newRow("aca") << "aca" << list({"AC"}) << list({"A", "mA", "uA"})
                         << list({"auto", "ac", "ampere", "micro", "milli"}) << QList<int>{37, 38, 41, 42, 45, 46}
                         << false << false;
    QTest::newRow("ohm") << "ohm" << list({"OHM"}) << list({"*", "M*", "k*"}) << list({"auto", "ohm", "kilo", "mega"})
                         << QList<int>{18, 19, 20, 21, 22, 23} << true << false;
    QTest::newRow("continuity") << "continuity" << list({"CTN"}) << list({""}) << list({"continuity"})
                                << QList<int>{17} << true << false;
    QTest::newRow("diode") << "diode" << list({"Diode"}) << list({"V"}) << list({"diode", "volt"}) << QList<int>{0}
                           << true << false;
    QTest::newRow("cap") << "cap" << list({"CAP"}) << list({"nF", "uF"}) << list({"auto", "farad", "nano", "micro"})
                         << QList<int>{11, 12, 13, 14, 15, 16} << false << false;
    QTest::newRow("freq") << "freq" << list({"Freq"}) << list({"Hz", "MHz", "kHz"}) << list({"auto", "hertz", "kilo", "mega"})
                          << QList<int>{27, 28, 29, 30, 31, 32, 33} << false << false;
    QTest::newRow("duty") << "duty" << list({"DutyCycle"}) << list({"%"}) << list({"duty"}) << QList<int>{34}
                          << false << false;
    QTest::newRow("temp") << "temp" << list({"TMP"}) << list({"#", "?"}) << list({"celsius", "fahrenheit"})
                          << QList<int>{25, 26} << false << true;
    QTest::newRow("keys") << "keys" << list({"DC"}) << list({"V"})
                          << list({"hold", "rel", "max", "min", "lowbatt", "scale4v"}) << QList<int>{24} << false
                          << true;
}

void TestMeterSimulator::scenarioDecodes()
{
    QFETCH(QString, scenario);
    QFETCH(QStringList, functions);
    QFETCH(QStringList, units);
    QFETCH(QStringList, flags);
    QFETCH(QList<int>, rows);
    QFETCH(bool, overRange);
    QFETCH(bool, negative);

    MeterSimulator meter(scenario);
    QVERIFY(meter.isValid());
    std::vector<MeterDisplay> shown;
    Decoding decoding;
    decoding.serial("\n");   // the end of the frame before
    for (int i = 0; i < meter.cycleLength(); ++i) {
        shown.push_back(meter.nextDisplay());
        const FrameBytes frame = encodeFrame(shown.back());
        decoding.serial(QByteArrayView(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size())));
    }
    QCOMPARE(decoding.readings.size(), shown.size());

    QSet<QString> seenFunctions;
    QSet<QString> seenUnits;
    QSet<QString> seenFlags;
    QSet<int> seenRows;
    bool seenOverRange = false;
    bool seenNegative = false;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const Decoded &r = decoding.readings[i];
        QCOMPARE(r.value, shownText(shown[i]));
        QCOMPARE(flagNames(r.flags), flagNames(shown[i].flags));
        seenFunctions << r.function;
        seenUnits << r.unit;
        for (const QString &f : flagNames(r.flags))
            seenFlags << f;
        seenRows << r.rangeRow;
        seenOverRange |= shown[i].overRange;
        seenNegative |= shown[i].negative;
    }
    QCOMPARE(sorted(seenFunctions), functions);
    QCOMPARE(sorted(seenUnits), units);
    for (const QString &f : flags)
        QVERIFY2(seenFlags.contains(f), qPrintable(f));
    QList<int> rowList(seenRows.begin(), seenRows.end());
    std::sort(rowList.begin(), rowList.end());
    QCOMPARE(rowList, rows);
    QCOMPARE(seenOverRange, overRange);
    QCOMPARE(seenNegative, negative);
}

void TestMeterSimulator::allPlaysEveryScenario()
{
    int total = 0;
    for (const MeterSimulator::ScenarioInfo &s : MeterSimulator::scenarios())
        total += MeterSimulator(s.name).cycleLength();
    MeterSimulator all;
    QCOMPARE(all.cycleLength(), total);
    QVERIFY(!MeterSimulator(QStringLiteral("ohms")).isValid());

    // One pass, then the same again.
    std::vector<FrameBytes> first;
    for (int i = 0; i < total; ++i)
        first.push_back(all.nextFrame());
    for (int i = 0; i < total; ++i)
        QCOMPARE(all.nextFrame(), first[std::size_t(i)]);
}

void TestMeterSimulator::hidReportsCarryTheSameReadings_data()
{
    QTest::addColumn<int>("intervalMs");
    QTest::newRow("a frame every 400 ms") << 400;
    QTest::newRow("frames back to back") << 0;
}

void TestMeterSimulator::hidReportsCarryTheSameReadings()
{
    QFETCH(int, intervalMs);

    MeterSimulator meter;
    Decoding serial;
    Decoding usb;
    serial.serial("\n");
    for (int i = 0; i < meter.cycleLength(); ++i) {
        const FrameBytes frame = meter.nextFrame();
        serial.serial(QByteArrayView(reinterpret_cast<const char *>(frame.data()), qsizetype(frame.size())));

        const std::vector<HidReport> reports = hidReportsForFrame(frame, intervalMs);
        QByteArray payload;
        bool burstEnded = false;
        for (const HidReport &r : reports) {
            QCOMPARE(int(r[0]), 0);
            QVERIFY(r[1] <= 7);
            if (r[1] == 0)
                burstEnded = true;
            else
                QVERIFY2(!burstEnded, "payload after the end of the burst");
            payload.append(reinterpret_cast<const char *>(r.data() + 2), r[1]);
            usb.session.feedReport(r[0], QByteArrayView(r.data() + 1, qsizetype(r.size()) - 1));
        }
        QVERIFY(burstEnded);
        QCOMPARE(payload, QByteArray(reinterpret_cast<const char *>(frame.data()), 14));
    }
    QCOMPARE(usb.readings.size(), std::size_t(meter.cycleLength()));
    QVERIFY(usb.readings == serial.readings);
}

QTEST_GUILESS_MAIN(TestMeterSimulator)
#include "tst_metersimulator.moc"
