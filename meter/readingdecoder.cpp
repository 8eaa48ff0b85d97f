#include "meter/readingdecoder.h"

#include "meter/decoderhost.h"
#include "meter/frametext.h"
#include "meter/localeinfo.h"

#include <array>

// Status bits, as (frame character pair, mask). Character pairs 15-16, 17-18,
// 19-20 and 21-22 are status bytes 1 to 4 (frame bytes 8 to 11).
namespace {

struct StatusBit
{
    int byte;            // frame byte, from 1
    std::uint8_t mask;
    Annunciator flag;
};

// In the order the decoder sets them; AUTO is read last.
constexpr std::array<StatusBit, AnnunciatorCount> StatusBits{{
    {8, 0x10, Annunciator::Dc},
    {8, 0x08, Annunciator::Ac},
    {8, 0x04, Annunciator::Rel},
    {8, 0x02, Annunciator::Hold},
    {10, 0x04, Annunciator::Diode},
    {9, 0x20, Annunciator::Max},
    {9, 0x10, Annunciator::Min},
    {9, 0x04, Annunciator::LowBattery},
    {9, 0x02, Annunciator::Nano},
    {10, 0x80, Annunciator::Micro},
    {10, 0x40, Annunciator::Milli},
    {10, 0x20, Annunciator::Kilo},
    {10, 0x10, Annunciator::Mega},
    {10, 0x08, Annunciator::Continuity},
    {10, 0x02, Annunciator::Duty},
    {11, 0x80, Annunciator::Volt},
    {11, 0x40, Annunciator::Ampere},
    {11, 0x20, Annunciator::Ohm},
    {11, 0x08, Annunciator::Hertz},
    {11, 0x04, Annunciator::Farad},
    {11, 0x02, Annunciator::Celsius},
    {11, 0x01, Annunciator::Fahrenheit},
    {9, 0x80, Annunciator::Scale4V},
    {8, 0x20, Annunciator::Auto},
}};

enum class Fn : std::uint8_t { None, DutyCycle, Freq, TMP, CAP, DC, AC, OHM, CTN, Diode };
enum class Un : std::uint8_t { None, MOhm, kOhm, uF, mF, nF, uA, mA, nA, uV, mV, nV, Percent, Hz, Fahrenheit, Celsius, F, Ohm, A, V };

const QString &functionText(Fn f)
{
    static const QString texts[] = {
        QString(),
        QStringLiteral("DutyCycle"), QStringLiteral("Freq"), QStringLiteral("TMP"), QStringLiteral("CAP"),
        QStringLiteral("DC"), QStringLiteral("AC"), QStringLiteral("OHM"), QStringLiteral("CTN"),
        QStringLiteral("Diode"),
    };
    return texts[int(f)];
}

const QString &unitText(Un u)
{
    static const QString texts[] = {
        QString(),
        QStringLiteral("M*"), QStringLiteral("k*"), QStringLiteral("uF"), QStringLiteral("mF"),
        QStringLiteral("nF"), QStringLiteral("uA"), QStringLiteral("mA"), QStringLiteral("nA"),
        QStringLiteral("uV"), QStringLiteral("mV"), QStringLiteral("nV"), QStringLiteral("%"),
        QStringLiteral("Hz"), QStringLiteral("?"), QStringLiteral("#"), QStringLiteral("F"),
        QStringLiteral("*"), QStringLiteral("A"), QStringLiteral("V"),
    };
    return texts[int(u)];
}

// Function text: the first matching row.
Fn functionOf(const Reading &r)
{
    using A = Annunciator;
    if (r.has(A::Duty)) return Fn::DutyCycle;
    if (r.has(A::Hertz)) return Fn::Freq;
    if (r.has(A::Fahrenheit)) return Fn::TMP;
    if (r.has(A::Celsius)) return Fn::TMP;
    if (r.has(A::Farad)) return Fn::CAP;
    if (r.has(A::Dc)) return Fn::DC;
    if (r.has(A::Ac)) return Fn::AC;
    if (r.has(A::Ohm)) return Fn::OHM;
    if (r.has(A::Continuity)) return Fn::CTN;
    if (r.has(A::Diode)) return Fn::Diode;
    return Fn::None;
}

// Unit text: the first matching row. Kilo- and megahertz stay "Hz".
Un unitOf(const Reading &r)
{
    using A = Annunciator;
    const bool ohm = r.has(A::Ohm), farad = r.has(A::Farad), amp = r.has(A::Ampere), volt = r.voltShown();
    const bool micro = r.has(A::Micro), milli = r.has(A::Milli), nano = r.has(A::Nano);
    if (ohm && r.has(A::Mega)) return Un::MOhm;
    if (ohm && r.has(A::Kilo)) return Un::kOhm;
    if (farad && micro) return Un::uF;
    if (farad && milli) return Un::mF;
    if (farad && nano) return Un::nF;
    if (amp && micro) return Un::uA;
    if (amp && milli) return Un::mA;
    if (amp && nano) return Un::nA;
    if (volt && micro) return Un::uV;
    if (volt && milli) return Un::mV;
    if (volt && nano) return Un::nV;
    if (r.has(A::Duty)) return Un::Percent;
    if (r.has(A::Hertz)) return Un::Hz;
    if (r.has(A::Fahrenheit)) return Un::Fahrenheit;
    if (r.has(A::Celsius)) return Un::Celsius;
    if (farad) return Un::F;
    if (ohm) return Un::Ohm;
    if (amp) return Un::A;
    if (volt) return Un::V;
    return Un::None;
}

// The range table: each row whose condition holds sets the chart's vertical
// axis to +-limit and the numeric value to CountValue * factor; a later
// matching row overrides an earlier one.
enum class Pt : std::uint8_t { Any, P1, P2, P3, None };
enum class Bit : std::uint8_t { Any, Set, Clear };

struct RangeRow
{
    Fn function = Fn::None;   // None: any function
    Un unit = Un::None;       // None: any unit
    Pt point = Pt::Any;
    Bit ac = Bit::Any;
    Bit continuity = Bit::Any;
    Bit scale4v = Bit::Any;
    Bit kilo = Bit::Any;
    Bit mega = Bit::Any;
    double limit = 0;
    double factor = 1;
};

constexpr RangeRow row(Fn f, Un u, Pt p, double limit, double factor)
{
    RangeRow r;
    r.function = f;
    r.unit = u;
    r.point = p;
    r.limit = limit;
    r.factor = factor;
    return r;
}
constexpr RangeRow acRow(Pt p, double limit, double factor)
{
    RangeRow r = row(Fn::None, Un::None, p, limit, factor);
    r.ac = Bit::Set;
    return r;
}
constexpr RangeRow freqRow(Bit k, Bit m, Pt p, double limit, double factor)
{
    RangeRow r = row(Fn::Freq, Un::Hz, p, limit, factor);
    r.kilo = k;
    r.mega = m;
    return r;
}
constexpr RangeRow continuityRow()
{
    RangeRow r = row(Fn::None, Un::None, Pt::Any, 40, 0.1);
    r.continuity = Bit::Set;
    return r;
}
constexpr RangeRow ohmRow()
{
    RangeRow r = row(Fn::OHM, Un::Ohm, Pt::P3, 400, 0.1);
    r.continuity = Bit::Clear;
    return r;
}
constexpr RangeRow scale4vRow()
{
    RangeRow r = row(Fn::None, Un::None, Pt::Any, 4, 0.001);
    r.scale4v = Bit::Set;
    return r;
}

constexpr std::array<RangeRow, 46> RangeRows{{
    acRow(Pt::P1, 4, 0.001),                                  //  1  4 V AC
    acRow(Pt::P2, 40, 0.01),                                  //  2  40 V AC
    acRow(Pt::P3, 400, 0.1),                                  //  3  400 V AC
    acRow(Pt::None, 750, 1),                                  //  4  750 V AC
    row(Fn::DC, Un::mV, Pt::P2, 40, 0.01),                    //  5  40 mV
    row(Fn::DC, Un::mV, Pt::P3, 400, 0.1),                    //  6  400 mV
    row(Fn::DC, Un::V, Pt::P1, 4, 0.001),                     //  7  4 V
    row(Fn::DC, Un::V, Pt::P2, 40, 0.01),                     //  8  40 V
    row(Fn::DC, Un::V, Pt::P3, 400, 0.1),                     //  9  400 V
    row(Fn::DC, Un::None, Pt::None, 1000, 1),                 // 10  1000 V (any unit)
    row(Fn::CAP, Un::nF, Pt::Any, 40, 0.01),                  // 11  40 nF (any point)
    row(Fn::CAP, Un::nF, Pt::P3, 400, 0.1),                   // 12  400 nF
    row(Fn::CAP, Un::uF, Pt::P1, 4, 0.001),                   // 13  4 uF
    row(Fn::CAP, Un::uF, Pt::P2, 40, 0.01),                   // 14  40 uF
    row(Fn::CAP, Un::uF, Pt::P3, 400, 0.1),                   // 15  400 uF
    row(Fn::CAP, Un::None, Pt::None, 4000, 1),                // 16  4000 uF (any unit)
    continuityRow(),                                          // 17  40 ohm
    ohmRow(),                                                 // 18  400 ohm
    row(Fn::OHM, Un::kOhm, Pt::P1, 4, 0.001),                 // 19  4 kohm
    row(Fn::OHM, Un::kOhm, Pt::P2, 40, 0.01),                 // 20  40 kohm
    row(Fn::OHM, Un::kOhm, Pt::P3, 400, 0.1),                 // 21  400 kohm
    row(Fn::OHM, Un::MOhm, Pt::P1, 4, 0.001),                 // 22  4 Mohm
    row(Fn::OHM, Un::MOhm, Pt::P2, 40, 0.01),                 // 23  40 Mohm
    scale4vRow(),                                             // 24  4 V scale
    row(Fn::None, Un::Celsius, Pt::Any, 1000, 1),             // 25  1000 C
    row(Fn::None, Un::Fahrenheit, Pt::Any, 1832, 1),          // 26  1832 F
    freqRow(Bit::Clear, Bit::Clear, Pt::P1, 10, 0.001),       // 27  10 Hz
    freqRow(Bit::Clear, Bit::Clear, Pt::P2, 100, 0.01),       // 28  100 Hz
    freqRow(Bit::Clear, Bit::Clear, Pt::P3, 1000, 0.1),       // 29  1 kHz
    freqRow(Bit::Set, Bit::Clear, Pt::P1, 10, 0.001),         // 30  10 kHz
    freqRow(Bit::Set, Bit::Clear, Pt::P2, 100, 0.01),         // 31  100 kHz
    freqRow(Bit::Set, Bit::Clear, Pt::P3, 1000, 0.1),         // 32  1 MHz
    freqRow(Bit::Clear, Bit::Set, Pt::P1, 10, 0.001),         // 33  10 MHz
    row(Fn::None, Un::Percent, Pt::Any, 100, 0.1),            // 34  100 %
    row(Fn::DC, Un::uA, Pt::P3, 400, 0.1),                    // 35  400 uA DC
    row(Fn::DC, Un::uA, Pt::None, 4000, 1),                   // 36  4000 uA DC
    row(Fn::AC, Un::uA, Pt::P3, 400, 0.1),                    // 37  400 uA AC
    row(Fn::AC, Un::uA, Pt::None, 4000, 1),                   // 38  4000 uA AC
    row(Fn::DC, Un::mA, Pt::P2, 40, 0.01),                    // 39  40 mA DC
    row(Fn::DC, Un::mA, Pt::P3, 400, 0.1),                    // 40  400 mA DC
    row(Fn::AC, Un::mA, Pt::P2, 40, 0.01),                    // 41  40 mA AC
    row(Fn::AC, Un::mA, Pt::P3, 400, 0.1),                    // 42  400 mA AC
    row(Fn::DC, Un::A, Pt::P1, 4, 0.001),                     // 43  4 A DC
    row(Fn::DC, Un::A, Pt::P2, 10, 0.01),                     // 44  10 A DC
    row(Fn::AC, Un::A, Pt::P1, 4, 0.001),                     // 45  4 A AC
    row(Fn::AC, Un::A, Pt::P2, 10, 0.01),                     // 46  10 A AC
}};

// Each row's condition as a mask and value over a key of the frame's
// function, unit, point and the flags the table reads, so a row test is one
// comparison.
struct RowTest
{
    std::uint32_t mask = 0;
    std::uint32_t value = 0;
};

constexpr std::uint32_t FunctionShift = 0, UnitShift = 4, PointShift = 9;
constexpr std::uint32_t AcBit = 1u << 13, ContinuityBit = 1u << 14, Scale4VBit = 1u << 15;
constexpr std::uint32_t KiloBit = 1u << 16, MegaBit = 1u << 17;

// The point as one bit: P1, P2, P3, or none.
constexpr std::uint32_t pointBit(int pointIndex)
{
    return 1u << (PointShift + (pointIndex == 0 ? 3 : pointIndex - 1));
}

constexpr void addBit(RowTest &t, Bit want, std::uint32_t bit)
{
    if (want == Bit::Any)
        return;
    t.mask |= bit;
    if (want == Bit::Set)
        t.value |= bit;
}

constexpr RowTest rowTest(const RangeRow &row)
{
    RowTest t;
    if (row.function != Fn::None) {
        t.mask |= 0xFu << FunctionShift;
        t.value |= std::uint32_t(row.function) << FunctionShift;
    }
    if (row.unit != Un::None) {
        t.mask |= 0x1Fu << UnitShift;
        t.value |= std::uint32_t(row.unit) << UnitShift;
    }
    if (row.point != Pt::Any) {
        const int index = row.point == Pt::None ? 0 : int(row.point);
        t.mask |= pointBit(index);
        t.value |= pointBit(index);
    }
    addBit(t, row.ac, AcBit);
    addBit(t, row.continuity, ContinuityBit);
    addBit(t, row.scale4v, Scale4VBit);
    addBit(t, row.kilo, KiloBit);
    addBit(t, row.mega, MegaBit);
    return t;
}

constexpr std::array<RowTest, RangeRows.size()> makeRowTests()
{
    std::array<RowTest, RangeRows.size()> tests{};
    for (std::size_t i = 0; i < RangeRows.size(); ++i)
        tests[i] = rowTest(RangeRows[i]);
    return tests;
}
constexpr std::array<RowTest, RangeRows.size()> RowTests = makeRowTests();

const QString &minusText()
{
    static const QString minus = QStringLiteral("-");
    return minus;
}

const QString &rangeText(bool automatic)
{
    static const QString autoText = QStringLiteral("AUTO");
    static const QString manualText = QStringLiteral("MANU");
    return automatic ? autoText : manualText;
}

bool isDecimalDigit(int nibble) { return nibble >= 0 && nibble <= 9; }

// Overwrites `target` with `source` in place, so that a text that nobody else
// holds keeps its buffer and the hot path does not allocate.
void assignText(QString &target, const QString &source)
{
    target.resize(0);
    target.append(source);
}

} // namespace

ReadingDecoder::ReadingDecoder(const LocaleInfo &locale, DecoderHost &host)
    : m_locale(locale)
    , m_host(host)
{
    resetToStartValues();
}

void ReadingDecoder::resetToStartValues()
{
    FullScaleCount = 4000;
    MaxCount = -4001.0f;
    MinCount = 4001.0f;
    modeMemory = ModeMemory{QStringLiteral("113"), QString(), 0};
    MaxValueText.clear();
    MinValueText.clear();
    LastAxisMaximum = 0;
    AxisMaximum = FullScaleCount;
    AxisMinimum = -FullScaleCount;
    RangeRowNumber = 0;
    LocaleDecimalSeparator = m_locale.userDecimalSeparator();
    reading = Reading{};
    reading.ValueText.reserve(16);
    MaxValueText.reserve(16);
    MinValueText.reserve(16);
}

bool ReadingDecoder::decodable(const FrameText &frame)
{
    // The decoder reads nothing past status byte 4 (character 22).
    if (frame.length() < 22)
        return false;
    const int pointCode = frame.nibble(14);
    if (!isDecimalDigit(pointCode))
        return false;
    if (frame.nibble(4) == 0xF)
        return true;   // over-range: the digits are not read
    for (int c : {4, 6, 8, 10}) {
        if (!isDecimalDigit(frame.nibble(c)))
            return false;
    }
    return true;
}

bool ReadingDecoder::LcdDisplayQM330(const FrameText &frame)
{
    if (!decodable(frame))
        return false;

    Reading &r = reading;

    // 1. The user's decimal separator, read afresh for every frame; assigned
    // only when it changed, which keeps the hot path free of reference counting.
    if (const QString &separator = m_locale.userDecimalSeparator(); separator != LocaleDecimalSeparator)
        LocaleDecimalSeparator = separator;
    m_host.rewriteLimitTexts(LocaleDecimalSeparator);

    // 2. A frame arrived.
    m_host.showConnectionOk();

    // 3. Reset.
    r.Flags.clear();
    r.AcDcText = QString();
    r.RangeText = QString();
    r.UnitText = QString();
    r.SignText = QString();
    r.PointIndex = 0;
    m_host.hideAnnunciators();

    // 4. Digits and decimal point.
    for (int i = 0; i < 4; ++i)
        r.DigitText[i] = QLatin1Char(hexDigit(frame.nibble(4 + 2 * i)));
    switch (frame.nibble(14)) {
    case 1: r.PointIndex = 1; break;
    case 2: r.PointIndex = 2; break;
    case 4: r.PointIndex = 3; break;
    default: r.PointIndex = 0; break;
    }

    // 5. Status bits.
    for (const StatusBit &bit : StatusBits) {
        if (frame.byte(bit.byte) & bit.mask)
            r.Flags.set(bit.flag);
    }
    r.RangeText = rangeText(r.has(Annunciator::Auto));

    // 6. Over-range: the display shows a zero and the letter L.
    const bool overRange = frame.nibble(4) == 0xF;
    if (overRange) {
        r.DigitText = {QChar(), QChar(u'0'), OverRangeGlyph, QChar()};
    }

    // 7. Sign; the framing test let only "2B" and "2D" through.
    if (frame.nibble(2) == 0xD)
        r.SignText = minusText();

    // 8. The separator for the point that is set.
    if (r.DecimalSeparator != LocaleDecimalSeparator)
        r.DecimalSeparator = LocaleDecimalSeparator;
    m_host.paintAnnunciators(r);

    // 9. Function and unit.
    const Fn function = functionOf(r);
    const Un unit = unitOf(r);
    r.AcDcText = functionText(function);
    r.UnitText = unitText(unit);

    // 10. ValueText.
    const QString &sep = LocaleDecimalSeparator;
    QString &value = r.ValueText;
    value.resize(0);
    auto appendPoint = [&](int position) {
        if (r.PointIndex == position)
            value.append(sep);
    };
    if (overRange) {
        appendPoint(1);
        value.append(u'0');
        appendPoint(2);
        value.append(u'L');
        appendPoint(3);
    } else {
        value.append(r.SignText);
        value.append(r.DigitText[0]);
        appendPoint(1);
        value.append(r.DigitText[1]);
        appendPoint(2);
        value.append(r.DigitText[2]);
        appendPoint(3);
        value.append(r.DigitText[3]);
    }

    // 11. CountValue; over-range counts one step beyond the previous frame's
    // full scale.
    if (overRange) {
        r.CountValue = r.negative() ? -FullScaleCount - 1 : FullScaleCount + 1;
    } else {
        int count = 0;
        for (int i = 0; i < 4; ++i)
            count = count * 10 + frame.nibble(4 + 2 * i);
        r.CountValue = r.negative() ? -count : count;
    }

    // 12. PointIndex was set with the digits.

    // 13. MIN/MAX of the current mode.
    auto sameMode = [&] {
        return r.UnitText == modeMemory.UnitText && r.PointIndex == modeMemory.PointIndex
            && r.AcDcText == modeMemory.AcDcText;
    };
    if (sameMode()) {
        applySameModeRule();
    } else {
        m_host.showSeries(m_host.fillChecked() ? 0 : 1);
        modeMemory.UnitText = r.UnitText;
        modeMemory.AcDcText = r.AcDcText;
        resetMinMax();
        if (sameMode()) {
            applySameModeRule();
        } else {
            // The point moved: MIN/MAX restart, and this frame is not
            // recorded; the texts keep their old values.
            m_host.showSeries(m_host.fillChecked() ? 0 : 1);
            resetMinMax();
        }
    }
    modeMemory.PointIndex = r.PointIndex;
    m_host.showMinMax(MaxValueText, MinValueText, r.UnitText);

    // 14. Digits on the panel.
    m_host.paintDigits(r);

    // 15. Full scale for the next frame's over-range and MIN/MAX resets.
    switch (unit) {
    case Un::Hz: FullScaleCount = 1000; break;
    case Un::Percent: FullScaleCount = 100; break;
    case Un::Celsius: FullScaleCount = 1000; break;
    default: FullScaleCount = 6000; break;
    }

    // 16. Range rows.
    r.NumericValue = r.CountValue;
    RangeRowNumber = 0;
    std::uint32_t key = std::uint32_t(function) << FunctionShift | std::uint32_t(unit) << UnitShift
                        | pointBit(r.PointIndex);
    key |= r.has(Annunciator::Ac) ? AcBit : 0;
    key |= r.has(Annunciator::Continuity) ? ContinuityBit : 0;
    key |= r.has(Annunciator::Scale4V) ? Scale4VBit : 0;
    key |= r.has(Annunciator::Kilo) ? KiloBit : 0;
    key |= r.has(Annunciator::Mega) ? MegaBit : 0;
    for (std::size_t i = 0; i < RangeRows.size(); ++i) {
        if ((key & RowTests[i].mask) != RowTests[i].value)
            continue;
        const RangeRow &row = RangeRows[i];
        AxisMaximum = row.limit;
        AxisMinimum = -row.limit;
        m_host.setVerticalAxis(AxisMaximum, AxisMinimum);
        r.NumericValue = r.CountValue * row.factor;
        RangeRowNumber = int(i) + 1;
    }

    // 17. Judgement against the limits.
    m_host.judge(r);

    // 18.
    r.FreshReading = true;

    // 19. The bar graph follows the vertical scale.
    if (AxisMaximum != LastAxisMaximum)
        m_host.updateBarGraphMaximum(AxisMaximum);

    // 20. Hand the reading to the log, now or at the next sampling tick.
    if (m_host.samplingMode()) {
        m_host.setSamplingTimerEnabled(true);
    } else {
        m_host.setSamplingTimerEnabled(false);
        m_host.INDataToTable();
    }

    // 21.
    LastAxisMaximum = AxisMaximum;
    return true;
}

void ReadingDecoder::applySameModeRule()
{
    if (reading.CountValue >= MaxCount) {
        assignText(MaxValueText, reading.ValueText);
        MaxCount = float(reading.CountValue);
    }
    if (reading.CountValue <= MinCount) {
        assignText(MinValueText, reading.ValueText);
        MinCount = float(reading.CountValue);
    }
}

void ReadingDecoder::resetMinMax()
{
    MaxCount = float(-FullScaleCount);
    MinCount = float(FullScaleCount);
}
