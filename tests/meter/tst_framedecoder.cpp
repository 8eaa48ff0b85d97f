#include "meter/framedecoder.h"
#include "meterframes.h"

#include <QtTest>

using namespace MeterBits;

namespace {

struct Fixture
{
    QString separator = QStringLiteral(".");
    FrameDecoder decoder;

    bool decode(const QByteArray &frame) { return decoder.decode(assembledFrame(frame), separator); }
    const DecodeResult &result() const { return decoder.lastResult(); }
    const Reading &reading() const { return decoder.lastResult().reading; }
    const DecoderMemory &memory() const { return decoder.memory(); }
};

QByteArray status(std::uint8_t s1, std::uint8_t s2, std::uint8_t s3, std::uint8_t s4)
{
    const char bytes[] = {char(s1), char(s2), char(s3), char(s4)};
    return QByteArray(bytes, 4);
}

QByteArray frameWith(char sign, const QByteArray &digits, char point, const QByteArray &st)
{
    QByteArray f;
    f.append(sign).append(digits.left(4)).append(' ').append(point).append(st).append('\0').append("\r\n");
    return f;
}

QStringList flagNames(const Reading &r)
{
    QStringList names;
    for (int i = 0; i < AnnunciatorCount; ++i)
        if (r.has(Annunciator(i)))
            names << QString::fromLatin1(annunciatorName(Annunciator(i)));
    return names;
}

} // namespace

class TestFrameDecoder : public QObject
{
    Q_OBJECT
private slots:
    void statusBits_data();
    void statusBits();
    void functionAndUnit_data();
    void functionAndUnit();
    void rangeRows_data();
    void rangeRows();
    void display_data();
    void display();
    void overRangeCountsBeyondPreviousFullScale_data();
    void overRangeCountsBeyondPreviousFullScale();
    void startValues();
    void minMaxAndModeChanges();
    void pointMoveKeepsOldTexts();
    void axisChangeAndJudgeTextCarryOver();
    void axisFollowsEveryModeChange_data();
    void axisFollowsEveryModeChange();
    void separatorOfEveryFrame();
    void undecodableFramesChangeNothing_data();
    void undecodableFramesChangeNothing();
};

void TestFrameDecoder::statusBits_data()
{
    QTest::addColumn<QByteArray>("st");
    QTest::addColumn<QStringList>("flags");
    const struct { int byte; int mask; const char *flag; } bits[] = {
        {0, 0x20, "auto"}, {0, 0x10, "dc"}, {0, 0x08, "ac"}, {0, 0x04, "rel"}, {0, 0x02, "hold"},
        {1, 0x80, "scale4v"}, {1, 0x20, "max"}, {1, 0x10, "min"}, {1, 0x04, "lowbatt"}, {1, 0x02, "nano"},
        {2, 0x80, "micro"}, {2, 0x40, "milli"}, {2, 0x20, "kilo"}, {2, 0x10, "mega"},
        {2, 0x08, "continuity"}, {2, 0x04, "diode"}, {2, 0x02, "duty"},
        {3, 0x80, "volt"}, {3, 0x40, "ampere"}, {3, 0x20, "ohm"}, {3, 0x08, "hertz"},
        {3, 0x04, "farad"}, {3, 0x02, "celsius"}, {3, 0x01, "fahrenheit"},
    };
    for (const auto &b : bits) {
        QByteArray st(4, '\0');
        st[b.byte] = char(b.mask);
        QTest::newRow(b.flag) << st << QStringList{QString::fromLatin1(b.flag)};
    }
    QTest::newRow("unread bits") << status(0xC1, 0x49, 0x01, 0x10) << QStringList{};
}

void TestFrameDecoder::statusBits()
{
    QFETCH(QByteArray, st);
    QFETCH(QStringList, flags);
    Fixture f;
    QVERIFY(f.decode(frameWith('+', "0123", '0', st)));
    QCOMPARE(flagNames(f.reading()), flags);
    QCOMPARE(rangeText(f.reading().range), flags.contains("auto") ? QStringLiteral("AUTO") : QStringLiteral("MANU"));
}

void TestFrameDecoder::functionAndUnit_data()
{
    QTest::addColumn<QByteArray>("st");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("unit");

    QTest::newRow("DC V") << status(Dc, 0, 0, Volt) << "DC" << "V";
    QTest::newRow("AC V") << status(Ac, 0, 0, Volt) << "AC" << "V";
    QTest::newRow("AC and DC bits") << status(Ac | Dc, 0, 0, Volt) << "DC" << "V";
    QTest::newRow("mV") << status(Dc, 0, Milli, Volt) << "DC" << "mV";
    QTest::newRow("uV") << status(Dc, 0, Micro, Volt) << "DC" << "uV";
    QTest::newRow("nV") << status(Dc, Nano, 0, Volt) << "DC" << "nV";
    QTest::newRow("micro before milli") << status(Dc, 0, Micro | Milli, Volt) << "DC" << "uV";
    QTest::newRow("diode lights V") << status(0, 0, Diode, 0) << "Diode" << "V";
    QTest::newRow("diode with milli") << status(0, 0, Diode | Milli, 0) << "Diode" << "mV";
    QTest::newRow("ohm") << status(0, 0, 0, Ohm) << "OHM" << "*";
    QTest::newRow("kilo-ohm") << status(0, 0, Kilo, Ohm) << "OHM" << "k*";
    QTest::newRow("mega-ohm") << status(0, 0, Mega | Kilo, Ohm) << "OHM" << "M*";
    QTest::newRow("continuity with ohm") << status(0, 0, Continuity, Ohm) << "OHM" << "*";
    QTest::newRow("continuity alone") << status(0, 0, Continuity, 0) << "CTN" << "";
    QTest::newRow("nF") << status(0, Nano, 0, Farad) << "CAP" << "nF";
    QTest::newRow("uF") << status(0, 0, Micro, Farad) << "CAP" << "uF";
    QTest::newRow("mF") << status(0, 0, Milli, Farad) << "CAP" << "mF";
    QTest::newRow("F") << status(0, 0, 0, Farad) << "CAP" << "F";
    QTest::newRow("uA DC") << status(Dc, 0, Micro, Ampere) << "DC" << "uA";
    QTest::newRow("mA AC") << status(Ac, 0, Milli, Ampere) << "AC" << "mA";
    QTest::newRow("nA") << status(Dc, Nano, 0, Ampere) << "DC" << "nA";
    QTest::newRow("A") << status(Dc, 0, 0, Ampere) << "DC" << "A";
    QTest::newRow("Hz") << status(0, 0, 0, Hertz) << "Freq" << "Hz";
    QTest::newRow("kHz") << status(0, 0, Kilo, Hertz) << "Freq" << "kHz";
    QTest::newRow("MHz") << status(0, 0, Mega, Hertz) << "Freq" << "MHz";
    QTest::newRow("hertz with k and M: M, as for ohms") << status(0, 0, Kilo | Mega, Hertz) << "Freq" << "MHz";
    QTest::newRow("duty") << status(0, 0, Duty, 0) << "DutyCycle" << "%";
    QTest::newRow("duty over hertz") << status(0, 0, Duty, Hertz) << "DutyCycle" << "%";
    QTest::newRow("Celsius") << status(0, 0, 0, Celsius) << "TMP" << "#";
    QTest::newRow("Fahrenheit") << status(0, 0, 0, Fahrenheit) << "TMP" << "?";
    QTest::newRow("nothing") << status(0, 0, 0, 0) << "" << "";
}

void TestFrameDecoder::functionAndUnit()
{
    QFETCH(QByteArray, st);
    QFETCH(QString, function);
    QFETCH(QString, unit);
    Fixture f;
    QVERIFY(f.decode(frameWith('+', "0123", '0', st)));
    QCOMPARE(functionText(f.reading().function), function);
    QCOMPARE(unitText(f.reading().unit), unit);
}

void TestFrameDecoder::rangeRows_data()
{
    QTest::addColumn<QByteArray>("st");
    QTest::addColumn<char>("point");
    QTest::addColumn<int>("row");
    QTest::addColumn<double>("axis");
    QTest::addColumn<double>("numeric");

    // Digits 1234 throughout: the factor shows in the numeric value.
    auto add = [](const char *name, QByteArray st, char point, int row, double axis, double factor) {
        QTest::newRow(name) << st << point << row << axis << 1234 * factor;
    };
    add("1 AC 4 V", status(Ac, 0, 0, Volt), '1', 1, 4, 0.001);
    add("2 AC 40 V", status(Ac, 0, 0, Volt), '2', 2, 40, 0.01);
    add("3 AC 400 V", status(Ac, 0, 0, Volt), '4', 3, 400, 0.1);
    add("4 AC 750 V", status(Ac, 0, 0, Volt), '0', 4, 750, 1);
    add("5 40 mV", status(Dc, 0, Milli, Volt), '2', 5, 40, 0.01);
    add("6 400 mV", status(Dc, 0, Milli, Volt), '4', 6, 400, 0.1);
    add("7 4 V", status(Dc, 0, 0, Volt), '1', 7, 4, 0.001);
    add("8 40 V", status(Dc, 0, 0, Volt), '2', 8, 40, 0.01);
    add("9 400 V", status(Dc, 0, 0, Volt), '4', 9, 400, 0.1);
    add("10 1000 V", status(Dc, 0, 0, Volt), '0', 10, 1000, 1);
    add("10 any DC unit without point", status(Dc, 0, Milli, Volt), '0', 10, 1000, 1);
    add("11 40 nF any point", status(0, Nano, 0, Farad), '1', 11, 40, 0.01);
    add("12 400 nF", status(0, Nano, 0, Farad), '4', 12, 400, 0.1);
    add("13 4 uF", status(0, 0, Micro, Farad), '1', 13, 4, 0.001);
    add("14 40 uF", status(0, 0, Micro, Farad), '2', 14, 40, 0.01);
    add("15 400 uF", status(0, 0, Micro, Farad), '4', 15, 400, 0.1);
    add("16 4000 uF", status(0, 0, Micro, Farad), '0', 16, 4000, 1);
    add("16 over 11 for nF without point", status(0, Nano, 0, Farad), '0', 16, 4000, 1);
    add("17 continuity", status(0, 0, Continuity, Ohm), '4', 17, 40, 0.1);
    add("18 400 ohm", status(0, 0, 0, Ohm), '4', 18, 400, 0.1);
    add("19 4 kohm", status(0, 0, Kilo, Ohm), '1', 19, 4, 0.001);
    add("20 40 kohm", status(0, 0, Kilo, Ohm), '2', 20, 40, 0.01);
    add("21 400 kohm", status(0, 0, Kilo, Ohm), '4', 21, 400, 0.1);
    add("22 4 Mohm", status(0, 0, Mega, Ohm), '1', 22, 4, 0.001);
    add("23 40 Mohm", status(0, 0, Mega, Ohm), '2', 23, 40, 0.01);
    add("24 4 V scale", status(0, Scale4V, 0, 0), '2', 24, 4, 0.001);
    add("24 over 8", status(Dc, Scale4V, 0, Volt), '2', 24, 4, 0.001);
    add("25 Celsius", status(0, 0, 0, Celsius), '0', 25, 1000, 1);
    add("26 Fahrenheit", status(0, 0, 0, Fahrenheit), '0', 26, 1832, 1);
    add("27 10 Hz", status(0, 0, 0, Hertz), '1', 27, 10, 0.001);
    add("28 100 Hz", status(0, 0, 0, Hertz), '2', 28, 100, 0.01);
    add("29 1 kHz", status(0, 0, 0, Hertz), '4', 29, 1000, 0.1);
    add("30 10 kHz", status(0, 0, Kilo, Hertz), '1', 30, 10, 0.001);
    add("31 100 kHz", status(0, 0, Kilo, Hertz), '2', 31, 100, 0.01);
    add("32 1 MHz", status(0, 0, Kilo, Hertz), '4', 32, 1000, 0.1);
    add("33 10 MHz", status(0, 0, Mega, Hertz), '1', 33, 10, 0.001);
    add("34 duty", status(0, 0, Duty, 0), '4', 34, 100, 0.1);
    add("35 400 uA DC", status(Dc, 0, Micro, Ampere), '4', 35, 400, 0.1);
    add("36 4000 uA DC", status(Dc, 0, Micro, Ampere), '0', 36, 4000, 1);
    add("37 400 uA AC", status(Ac, 0, Micro, Ampere), '4', 37, 400, 0.1);
    add("38 4000 uA AC", status(Ac, 0, Micro, Ampere), '0', 38, 4000, 1);
    add("39 40 mA DC", status(Dc, 0, Milli, Ampere), '2', 39, 40, 0.01);
    add("40 400 mA DC", status(Dc, 0, Milli, Ampere), '4', 40, 400, 0.1);
    add("41 40 mA AC", status(Ac, 0, Milli, Ampere), '2', 41, 40, 0.01);
    add("42 400 mA AC", status(Ac, 0, Milli, Ampere), '4', 42, 400, 0.1);
    add("43 4 A DC", status(Dc, 0, 0, Ampere), '1', 43, 4, 0.001);
    add("44 10 A DC", status(Dc, 0, 0, Ampere), '2', 44, 10, 0.01);
    add("45 4 A AC", status(Ac, 0, 0, Ampere), '1', 45, 4, 0.001);
    add("46 10 A AC", status(Ac, 0, 0, Ampere), '2', 46, 10, 0.01);
    // No row: the start-up axis, and the numeric value is the count.
    add("diode without DC", status(0, 0, Diode, 0), '1', 0, 4000, 1);
    add("hertz with k and M", status(0, 0, Kilo | Mega, Hertz), '1', 0, 4000, 1);
    add("DC mV with point 1", status(Dc, 0, Milli, Volt), '1', 0, 4000, 1);
    add("point code 3 is no point", status(Dc, 0, 0, Volt), '3', 10, 1000, 1);
}

void TestFrameDecoder::rangeRows()
{
    QFETCH(QByteArray, st);
    QFETCH(char, point);
    QFETCH(int, row);
    QFETCH(double, axis);
    QFETCH(double, numeric);
    Fixture f;
    QVERIFY(f.decode(frameWith('+', "1234", point, st)));
    QCOMPARE(f.result().rangeRow, row);
    QCOMPARE(f.result().axisMaximum, axis);
    QCOMPARE(f.result().axisMinimum, -axis);
    QCOMPARE(f.reading().numericValue, numeric);
}

void TestFrameDecoder::display_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("value");
    QTest::addColumn<double>("count");
    QTest::addColumn<QString>("digits");
    QTest::addColumn<int>("pointIndex");

    const QByteArray v = status(Dc, 0, 0, Volt);
    QTest::newRow("point after digit 1") << "." << frameWith('+', "1234", '1', v) << "1.234" << 1234.0 << "1234" << 1;
    QTest::newRow("point after digit 2") << "." << frameWith('+', "0123", '2', v) << "01.23" << 123.0 << "0123" << 2;
    QTest::newRow("point after digit 3") << "." << frameWith('-', "0400", '4', v) << "-040.0" << -400.0 << "0400" << 3;
    QTest::newRow("no point") << "." << frameWith('+', "3999", '0', v) << "3999" << 3999.0 << "3999" << 0;
    QTest::newRow("point code 3") << "." << frameWith('+', "3999", '3', v) << "3999" << 3999.0 << "3999" << 0;
    QTest::newRow("only the low nibble counts") << "." << frameWith('+', "\x81\x92\xA3\xB4", '\x71', v)
                                               << "1.234" << 1234.0 << "1234" << 1;
    QTest::newRow("comma locale") << "," << frameWith('-', "1234", '1', v) << "-1,234" << -1234.0 << "1234" << 1;
    QTest::newRow("over-range, point 1") << "." << frameWith('+', "?000", '1', v) << ".0L" << 4001.0 << "" << 1;
    QTest::newRow("over-range, point 2") << "." << frameWith('+', "?123", '2', v) << "0.L" << 4001.0 << "" << 2;
    QTest::newRow("over-range, no point, negative") << "." << frameWith('-', "\x3F\x3A\x3B\x3C", '0', v)
                                                   << "0L" << -4001.0 << "" << 0;
}

void TestFrameDecoder::display()
{
    QFETCH(QString, separator);
    QFETCH(QByteArray, frame);
    QFETCH(QString, value);
    QFETCH(double, count);
    QFETCH(QString, digits);
    QFETCH(int, pointIndex);
    Fixture f;
    f.separator = separator;
    QVERIFY(f.decode(frame));
    const Reading &r = f.reading();
    QCOMPARE(r.valueText, value);
    QCOMPARE(r.count, count);
    QCOMPARE(r.pointPosition, pointIndex);
    QCOMPARE(r.negative, frame.startsWith('-'));
    if (r.overRange()) {
        QCOMPARE(r.digits[0], QChar());
        QCOMPARE(r.digits[1], QChar(u'0'));
        QCOMPARE(r.digits[2], OverRangeGlyph);
        QCOMPARE(r.digits[3], QChar());
    } else {
        QCOMPARE(QString(r.digits.data(), 4), digits);
    }
}

void TestFrameDecoder::overRangeCountsBeyondPreviousFullScale_data()
{
    QTest::addColumn<QByteArray>("previous");
    QTest::addColumn<char>("sign");
    QTest::addColumn<double>("count");

    const QByteArray none;
    QTest::newRow("first frame after start-up") << none << '+' << 4001.0;
    QTest::newRow("after volts") << frameWith('+', "1234", '1', status(Dc, 0, 0, Volt)) << '-' << -6001.0;
    QTest::newRow("after hertz") << frameWith('+', "1234", '1', status(0, 0, 0, Hertz)) << '+' << 1001.0;
    QTest::newRow("after duty") << frameWith('+', "0500", '4', status(0, 0, Duty, 0)) << '+' << 101.0;
    QTest::newRow("after Celsius") << frameWith('+', "0025", '0', status(0, 0, 0, Celsius)) << '+' << 1001.0;
    QTest::newRow("after Fahrenheit") << frameWith('+', "0077", '0', status(0, 0, 0, Fahrenheit)) << '+' << 6001.0;
}

void TestFrameDecoder::overRangeCountsBeyondPreviousFullScale()
{
    QFETCH(QByteArray, previous);
    QFETCH(char, sign);
    QFETCH(double, count);
    Fixture f;
    if (!previous.isEmpty())
        QVERIFY(f.decode(previous));
    // Over-range in the 40 kohm range: factor 0.01.
    QVERIFY(f.decode(frameWith(sign, "?000", '2', status(0, 0, Kilo, Ohm))));
    QCOMPARE(f.reading().count, count);
    QCOMPARE(f.reading().numericValue, count * 0.01);
    QVERIFY(!f.reading().valueText.contains(u'-'));
    QCOMPARE(f.reading().negative, sign == '-');
}

void TestFrameDecoder::startValues()
{
    const FrameDecoder decoder;
    QCOMPARE(decoder.memory().fullScaleCount, 4000);
    QCOMPARE(decoder.memory().maxCount, -4001.0f);
    QCOMPARE(decoder.memory().minCount, 4001.0f);
    QVERIFY(!decoder.memory().modeUnit);
    QCOMPARE(decoder.lastResult().axisMaximum, 4000.0);
    QCOMPARE(decoder.lastResult().axisMinimum, -4000.0);
}

void TestFrameDecoder::minMaxAndModeChanges()
{
    Fixture f;
    const QByteArray v = status(Dc, 0, 0, Volt), mv = status(Dc, 0, Milli, Volt);

    // No point: the first frame is a mode change that keeps the point
    // position, so it is recorded at once.
    QVERIFY(f.decode(frameWith('+', "1200", '0', v)));
    QCOMPARE(f.result().maxText, QStringLiteral("1200"));
    QCOMPARE(f.result().minText, QStringLiteral("1200"));

    QVERIFY(f.decode(frameWith('+', "1300", '0', v)));
    QVERIFY(f.decode(frameWith('+', "1100", '0', v)));
    QVERIFY(f.decode(frameWith('+', "1300", '0', v)));   // ties count
    QCOMPARE(f.result().maxText, QStringLiteral("1300"));
    QCOMPARE(f.result().minText, QStringLiteral("1100"));
    QCOMPARE(f.memory().maxCount, 1300.0f);
    QCOMPARE(f.memory().minCount, 1100.0f);

    // V to mV at the same point: MIN and MAX restart from this frame.
    QVERIFY(f.decode(frameWith('+', "0050", '0', mv)));
    QCOMPARE(f.result().maxText, QStringLiteral("0050"));
    QCOMPARE(f.result().minText, QStringLiteral("0050"));
    QCOMPARE(unitText(f.reading().unit), QStringLiteral("mV"));

    // Hz to kHz at the same point is another unit as well.
    QVERIFY(f.decode(frameWith('+', "0999", '4', status(0, 0, 0, Hertz))));
    QVERIFY(f.decode(frameWith('+', "0102", '4', status(0, 0, Kilo, Hertz))));
    QCOMPARE(f.result().maxText, QStringLiteral("010.2"));
    QCOMPARE(f.result().minText, QStringLiteral("010.2"));
}

void TestFrameDecoder::pointMoveKeepsOldTexts()
{
    Fixture f;
    const QByteArray v = status(Dc | Auto, 0, 0, Volt);
    QVERIFY(f.decode(frameWith('+', "3999", '0', v)));
    QCOMPARE(f.result().maxText, QStringLiteral("3999"));

    // Auto-ranging moves the point: MIN/MAX restart, and this frame is
    // recorded only from the next one on.
    QVERIFY(f.decode(frameWith('+', "0400", '4', v)));
    QCOMPARE(f.result().maxText, QStringLiteral("3999"));
    QCOMPARE(f.memory().maxCount, -6000.0f);   // the full scale of the frame before
    QCOMPARE(f.memory().minCount, 6000.0f);
    QCOMPARE(f.memory().modePointPosition, 3);

    QVERIFY(f.decode(frameWith('+', "0401", '4', v)));
    QCOMPARE(f.result().maxText, QStringLiteral("040.1"));
    QCOMPARE(f.result().minText, QStringLiteral("040.1"));
}

void TestFrameDecoder::axisChangeAndJudgeTextCarryOver()
{
    Fixture f;
    DecodeResult *result = f.decoder.decode(assembledFrame(frameWith('+', "1234", '1', status(Dc, 0, 0, Volt))),
                                            f.separator);
    QVERIFY(result);
    QCOMPARE(result->axisMaximum, 4.0);
    QVERIFY(result->axisMaximumChanged);   // from nothing to the 4 V range
    QCOMPARE(result->reading.judgement, Reading::Judgement::NotJudged);
    result->reading.judgement = Reading::Judgement::Pass;

    // The same range again: the axis has not changed. The judgement is the
    // caller's, and the decoder leaves it as it was.
    result = f.decoder.decode(assembledFrame(frameWith('+', "1235", '1', status(Dc, 0, 0, Volt))), f.separator);
    QVERIFY(result);
    QVERIFY(!result->axisMaximumChanged);
    QCOMPARE(result->reading.judgement, Reading::Judgement::Pass);

    // Another range changes it again.
    QVERIFY(f.decode(frameWith('+', "1235", '2', status(Dc, 0, 0, Volt))));
    QVERIFY(f.result().axisMaximumChanged);
    QCOMPARE(f.result().axisMaximum, 40.0);
}

void TestFrameDecoder::axisFollowsEveryModeChange_data()
{
    QTest::addColumn<QStringList>("modes");
    QTest::addColumn<QList<double>>("axes");
    QTest::addColumn<QList<bool>>("changed");

    QTest::newRow("a fresh start in diode") << QStringList{"diode"} << QList<double>{4000} << QList<bool>{true};
    QTest::newRow("continuity, then diode") << QStringList{"continuity", "diode"} << QList<double>{40, 4000}
                                            << QList<bool>{true, true};
    QTest::newRow("diode, continuity, diode") << QStringList{"diode", "continuity", "diode"}
                                              << QList<double>{4000, 40, 4000} << QList<bool>{true, true, true};
    QTest::newRow("4 V, then diode") << QStringList{"4 V", "diode"} << QList<double>{4, 4000} << QList<bool>{true, true};
    QTest::newRow("100 kHz, then k and M lit") << QStringList{"100 kHz", "k and M Hz"} << QList<double>{100, 4000}
                                               << QList<bool>{true, true};
    QTest::newRow("diode again changes nothing") << QStringList{"continuity", "diode", "diode"}
                                                 << QList<double>{40, 4000, 4000} << QList<bool>{true, true, false};
    QTest::newRow("back to a range") << QStringList{"diode", "4 V"} << QList<double>{4000, 4} << QList<bool>{true, true};
}

// The chart's axis and the bar graph follow the mode of each frame, never
// one the meter left.
void TestFrameDecoder::axisFollowsEveryModeChange()
{
    QFETCH(QStringList, modes);
    QFETCH(QList<double>, axes);
    QFETCH(QList<bool>, changed);
    const QHash<QString, QByteArray> frames{
        {"diode", frameWith('+', "0583", '1', status(0, 0, Diode, Volt))},
        {"continuity", frameWith('+', "0123", '4', status(0, 0, Continuity, 0))},
        {"4 V", frameWith('+', "1234", '1', status(Dc, 0, 0, Volt))},
        {"100 kHz", frameWith('+', "3273", '2', status(Auto, 0, Kilo, Hertz))},
        {"k and M Hz", frameWith('+', "3273", '2', status(Auto, 0, Kilo | Mega, Hertz))},
    };
    Fixture f;
    for (int i = 0; i < modes.size(); ++i) {
        QVERIFY(f.decode(frames.value(modes[i])));
        QCOMPARE(f.result().axisMaximum, axes[i]);
        QCOMPARE(f.result().axisMinimum, -axes[i]);
        QCOMPARE(f.result().axisMaximumChanged, changed[i]);
    }
    if (modes.last() == u"diode")
        QCOMPARE(f.reading().numericValue, 583.0);
}

void TestFrameDecoder::separatorOfEveryFrame()
{
    Fixture f;
    const QByteArray frame = frameWith('+', "1234", '2', status(Dc, 0, 0, Volt));
    QVERIFY(f.decode(frame));
    QCOMPARE(f.reading().valueText, QStringLiteral("12.34"));
    f.separator = QStringLiteral(",");
    QVERIFY(f.decode(frame));
    QCOMPARE(f.reading().valueText, QStringLiteral("12,34"));
}

void TestFrameDecoder::undecodableFramesChangeNothing_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<bool>("decodable");
    const QByteArray v = status(Dc, 0, 0, Volt);
    // ':' is 0x3A: its low nibble is the hex letter A.
    QTest::newRow("letter in digit 1") << frameWith('+', ":234", '1', v) << false;
    QTest::newRow("letter in digit 4") << frameWith('+', "123?", '1', v) << false;
    QTest::newRow("letter in point code") << frameWith('+', "1234", '?', v) << false;
    QTest::newRow("over-range ignores its digits") << frameWith('+', "?:;<", '1', v) << true;
    QTest::newRow("over-range still needs a point code") << frameWith('+', "?000", '=', v) << false;
}

void TestFrameDecoder::undecodableFramesChangeNothing()
{
    QFETCH(QByteArray, frame);
    QFETCH(bool, decodable);
    Fixture f;
    QVERIFY(f.decode(frameWith('+', "0123", '2', status(Dc, 0, Milli, Volt))));
    const Reading before = f.reading();
    const float maxBefore = f.memory().maxCount;
    const int fullScaleBefore = f.memory().fullScaleCount;

    QCOMPARE(f.decode(frame), decodable);
    if (decodable)
        return;
    QCOMPARE(f.reading().valueText, before.valueText);
    QCOMPARE(f.reading().unit, before.unit);
    QCOMPARE(f.reading().flags, before.flags);
    QCOMPARE(f.memory().maxCount, maxBefore);
    QCOMPARE(f.memory().fullScaleCount, fullScaleBefore);
}

QTEST_GUILESS_MAIN(TestFrameDecoder)
#include "tst_framedecoder.moc"
