#include "meter/framedecoder.h"

#include "meter/meterframe.h"

#include <array>

namespace {

// Status bits, as (frame byte, mask); frame bytes 8 to 11 are status bytes 1
// to 4.

struct StatusBit
{
    int byte; // frame byte, from 1
    std::uint8_t mask;
    Annunciator flag;
};

// AUTO is read last.
// clang-format off
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
// clang-format on

enum class Fn : std::uint8_t { None, DutyCycle, Freq, TMP, CAP, DC, AC, OHM, CTN, Diode };
enum class Un : std::uint8_t {
    None,
    MOhm,
    kOhm,
    uF,
    mF,
    nF,
    uA,
    mA,
    nA,
    uV,
    mV,
    nV,
    Percent,
    Hz,
    Fahrenheit,
    Celsius,
    F,
    Ohm,
    A,
    V
};

Reading::Function readingFunction(Fn f)
{
    using F = Reading::Function;
    static constexpr F functions[] = {
        F::None, F::DutyCycle, F::Frequency, F::Temperature, F::Capacitance,
        F::Dc,   F::Ac,        F::Ohm,       F::Continuity,  F::Diode,
    };
    return functions[int(f)];
}

// Function text: the first matching row.
Fn functionOf(const Reading &r)
{
    using A = Annunciator;
    if (r.has(A::Duty))
        return Fn::DutyCycle;
    if (r.has(A::Hertz))
        return Fn::Freq;
    if (r.has(A::Fahrenheit))
        return Fn::TMP;
    if (r.has(A::Celsius))
        return Fn::TMP;
    if (r.has(A::Farad))
        return Fn::CAP;
    if (r.has(A::Dc))
        return Fn::DC;
    if (r.has(A::Ac))
        return Fn::AC;
    if (r.has(A::Ohm))
        return Fn::OHM;
    if (r.has(A::Continuity))
        return Fn::CTN;
    if (r.has(A::Diode))
        return Fn::Diode;
    return Fn::None;
}

// The reading's unit. Frequencies carry their prefix as resistances do
// ("kHz" as "k*"); the range rows and the full scale still know them as
// hertz, so the prefix lives in the reading's unit alone. With both k and M
// lit, M wins, as for ohms.
Reading::Unit readingUnit(Un u, const Reading &r)
{
    using U = Reading::Unit;
    if (u == Un::Hz) {
        if (r.has(Annunciator::Mega))
            return U::MegaHertz;
        if (r.has(Annunciator::Kilo))
            return U::KiloHertz;
    }
    static constexpr U units[] = {
        U::None,        U::MegaOhm,    U::KiloOhm,   U::MicroFarad, U::MilliFarad, U::NanoFarad, U::MicroAmpere,
        U::MilliAmpere, U::NanoAmpere, U::MicroVolt, U::MilliVolt,  U::NanoVolt,   U::Percent,   U::Hertz,
        U::Fahrenheit,  U::Celsius,    U::Farad,     U::Ohm,        U::Ampere,     U::Volt,
    };
    return units[int(u)];
}

// Unit: the first matching row.
Un unitOf(const Reading &r)
{
    using A = Annunciator;
    const bool ohm = r.has(A::Ohm), farad = r.has(A::Farad), amp = r.has(A::Ampere), volt = r.voltShown();
    const bool micro = r.has(A::Micro), milli = r.has(A::Milli), nano = r.has(A::Nano);
    if (ohm && r.has(A::Mega))
        return Un::MOhm;
    if (ohm && r.has(A::Kilo))
        return Un::kOhm;
    if (farad && micro)
        return Un::uF;
    if (farad && milli)
        return Un::mF;
    if (farad && nano)
        return Un::nF;
    if (amp && micro)
        return Un::uA;
    if (amp && milli)
        return Un::mA;
    if (amp && nano)
        return Un::nA;
    if (volt && micro)
        return Un::uV;
    if (volt && milli)
        return Un::mV;
    if (volt && nano)
        return Un::nV;
    if (r.has(A::Duty))
        return Un::Percent;
    if (r.has(A::Hertz))
        return Un::Hz;
    if (r.has(A::Fahrenheit))
        return Un::Fahrenheit;
    if (r.has(A::Celsius))
        return Un::Celsius;
    if (farad)
        return Un::F;
    if (ohm)
        return Un::Ohm;
    if (amp)
        return Un::A;
    if (volt)
        return Un::V;
    return Un::None;
}

// The range table: each row whose condition holds sets the chart's vertical
// axis to +-limit and the numeric value to CountValue * factor; a later
// matching row overrides an earlier one.
enum class Pt : std::uint8_t { Any, P1, P2, P3, None };
enum class Bit : std::uint8_t { Any, Set, Clear };

struct RangeRow
{
    Fn function = Fn::None; // None: any function
    Un unit = Un::None;     // None: any unit
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
    acRow(Pt::P1, 4, 0.001),                            //  1  4 V AC
    acRow(Pt::P2, 40, 0.01),                            //  2  40 V AC
    acRow(Pt::P3, 400, 0.1),                            //  3  400 V AC
    acRow(Pt::None, 750, 1),                            //  4  750 V AC
    row(Fn::DC, Un::mV, Pt::P2, 40, 0.01),              //  5  40 mV
    row(Fn::DC, Un::mV, Pt::P3, 400, 0.1),              //  6  400 mV
    row(Fn::DC, Un::V, Pt::P1, 4, 0.001),               //  7  4 V
    row(Fn::DC, Un::V, Pt::P2, 40, 0.01),               //  8  40 V
    row(Fn::DC, Un::V, Pt::P3, 400, 0.1),               //  9  400 V
    row(Fn::DC, Un::None, Pt::None, 1000, 1),           // 10  1000 V (any unit)
    row(Fn::CAP, Un::nF, Pt::Any, 40, 0.01),            // 11  40 nF (any point)
    row(Fn::CAP, Un::nF, Pt::P3, 400, 0.1),             // 12  400 nF
    row(Fn::CAP, Un::uF, Pt::P1, 4, 0.001),             // 13  4 uF
    row(Fn::CAP, Un::uF, Pt::P2, 40, 0.01),             // 14  40 uF
    row(Fn::CAP, Un::uF, Pt::P3, 400, 0.1),             // 15  400 uF
    row(Fn::CAP, Un::None, Pt::None, 4000, 1),          // 16  4000 uF (any unit)
    continuityRow(),                                    // 17  40 ohm
    ohmRow(),                                           // 18  400 ohm
    row(Fn::OHM, Un::kOhm, Pt::P1, 4, 0.001),           // 19  4 kohm
    row(Fn::OHM, Un::kOhm, Pt::P2, 40, 0.01),           // 20  40 kohm
    row(Fn::OHM, Un::kOhm, Pt::P3, 400, 0.1),           // 21  400 kohm
    row(Fn::OHM, Un::MOhm, Pt::P1, 4, 0.001),           // 22  4 Mohm
    row(Fn::OHM, Un::MOhm, Pt::P2, 40, 0.01),           // 23  40 Mohm
    scale4vRow(),                                       // 24  4 V scale
    row(Fn::None, Un::Celsius, Pt::Any, 1000, 1),       // 25  1000 C
    row(Fn::None, Un::Fahrenheit, Pt::Any, 1832, 1),    // 26  1832 F
    freqRow(Bit::Clear, Bit::Clear, Pt::P1, 10, 0.001), // 27  10 Hz
    freqRow(Bit::Clear, Bit::Clear, Pt::P2, 100, 0.01), // 28  100 Hz
    freqRow(Bit::Clear, Bit::Clear, Pt::P3, 1000, 0.1), // 29  1 kHz
    freqRow(Bit::Set, Bit::Clear, Pt::P1, 10, 0.001),   // 30  10 kHz
    freqRow(Bit::Set, Bit::Clear, Pt::P2, 100, 0.01),   // 31  100 kHz
    freqRow(Bit::Set, Bit::Clear, Pt::P3, 1000, 0.1),   // 32  1 MHz
    freqRow(Bit::Clear, Bit::Set, Pt::P1, 10, 0.001),   // 33  10 MHz
    row(Fn::None, Un::Percent, Pt::Any, 100, 0.1),      // 34  100 %
    row(Fn::DC, Un::uA, Pt::P3, 400, 0.1),              // 35  400 uA DC
    row(Fn::DC, Un::uA, Pt::None, 4000, 1),             // 36  4000 uA DC
    row(Fn::AC, Un::uA, Pt::P3, 400, 0.1),              // 37  400 uA AC
    row(Fn::AC, Un::uA, Pt::None, 4000, 1),             // 38  4000 uA AC
    row(Fn::DC, Un::mA, Pt::P2, 40, 0.01),              // 39  40 mA DC
    row(Fn::DC, Un::mA, Pt::P3, 400, 0.1),              // 40  400 mA DC
    row(Fn::AC, Un::mA, Pt::P2, 40, 0.01),              // 41  40 mA AC
    row(Fn::AC, Un::mA, Pt::P3, 400, 0.1),              // 42  400 mA AC
    row(Fn::DC, Un::A, Pt::P1, 4, 0.001),               // 43  4 A DC
    row(Fn::DC, Un::A, Pt::P2, 10, 0.01),               // 44  10 A DC
    row(Fn::AC, Un::A, Pt::P1, 4, 0.001),               // 45  4 A AC
    row(Fn::AC, Un::A, Pt::P2, 10, 0.01),               // 46  10 A AC
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

bool isDecimalDigit(int nibble)
{
    return nibble >= 0 && nibble <= 9;
}

// Overwrites `target` with `source` in place, so that a text that nobody else
// holds keeps its buffer and the hot path does not allocate.
void assignText(QString &target, const QString &source)
{
    target.resize(0);
    target.append(source);
}

} // namespace

FrameDecoder::FrameDecoder()
{
    reset();
}

void FrameDecoder::reset()
{
    m_memory = DecoderMemory{};
    m_result = DecodeResult{};
    m_result.reading.valueText.reserve(16);
    m_result.maxText.reserve(16);
    m_result.minText.reserve(16);
}

bool FrameDecoder::decodable(const MeterFrame &frame)
{
    // Nothing past status byte 4 (character 22) is read.
    if (frame.length() < 22)
        return false;
    const int pointCode = frame.nibble(14);
    if (!isDecimalDigit(pointCode))
        return false;
    if (frame.nibble(4) == 0xF)
        return true; // over-range: the digits are not read
    for (int c : {4, 6, 8, 10}) {
        if (!isDecimalDigit(frame.nibble(c)))
            return false;
    }
    return true;
}

DecodeResult *FrameDecoder::decode(const MeterFrame &frame, const QString &decimalSeparator)
{
    if (!decodable(frame))
        return nullptr;

    DecodeResult &result = m_result;
    DecoderMemory &memory = m_memory;
    Reading &r = result.reading;

    r.flags.clear();
    r.negative = false;

    // The digits are the low nibbles of bytes 2 to 5 (characters 4, 6, 8, 10).
    for (int i = 0; i < 4; ++i)
        r.digits[std::size_t(i)] = QLatin1Char(hexDigit(frame.nibble(4 + 2 * i)));
    switch (frame.nibble(14)) {
    case 1:
        r.pointPosition = 1;
        break;
    case 2:
        r.pointPosition = 2;
        break;
    case 4:
        r.pointPosition = 3;
        break;
    default:
        r.pointPosition = 0;
        break;
    }

    for (const StatusBit &bit : StatusBits) {
        if (frame.byte(bit.byte) & bit.mask)
            r.flags.set(bit.flag);
    }
    r.range = r.has(Annunciator::Auto) ? Reading::Range::Auto : Reading::Range::Manual;

    // Over-range: the display shows a zero and the letter L.
    const bool overRange = frame.nibble(4) == 0xF;
    if (overRange)
        r.digits = {QChar(), QChar(u'0'), OverRangeGlyph, QChar()};

    // The framing test let only "2B" and "2D" through.
    r.negative = frame.nibble(2) == 0xD;

    const Fn function = functionOf(r);
    const Un unit = unitOf(r);
    r.function = readingFunction(function);
    r.unit = readingUnit(unit, r);

    // The value as the display shows it. An over-range display shows no sign.
    QString &value = r.valueText;
    value.resize(0);
    auto appendPoint = [&](int position) {
        if (r.pointPosition == position)
            value.append(decimalSeparator);
    };
    if (overRange) {
        appendPoint(1);
        value.append(u'0');
        appendPoint(2);
        value.append(u'L');
        appendPoint(3);
    } else {
        if (r.negative)
            value.append(u'-');
        value.append(r.digits[0]);
        appendPoint(1);
        value.append(r.digits[1]);
        appendPoint(2);
        value.append(r.digits[2]);
        appendPoint(3);
        value.append(r.digits[3]);
    }

    // Over-range counts one step beyond the previous frame's full scale.
    if (overRange) {
        r.count = r.negative ? -memory.fullScaleCount - 1 : memory.fullScaleCount + 1;
    } else {
        int count = 0;
        for (int i = 0; i < 4; ++i)
            count = count * 10 + frame.nibble(4 + 2 * i);
        r.count = r.negative ? -count : count;
    }

    // MIN/MAX of the current mode: a new unit or function restarts them; a
    // moved point alone restarts them too, and that frame is not recorded,
    // so the texts keep their old values.
    auto sameMode = [&] {
        return r.unit == memory.modeUnit && r.pointPosition == memory.modePointPosition
               && r.function == memory.modeFunction;
    };
    if (sameMode()) {
        recordMinMax();
    } else {
        memory.modeUnit = r.unit;
        memory.modeFunction = r.function;
        restartMinMax();
        if (sameMode())
            recordMinMax();
        else
            restartMinMax();
    }
    memory.modePointPosition = r.pointPosition;

    // The full scale that the next frame's over-range and MIN/MAX restart use.
    switch (unit) {
    case Un::Hz:
        memory.fullScaleCount = 1000;
        break;
    case Un::Percent:
        memory.fullScaleCount = 100;
        break;
    case Un::Celsius:
        memory.fullScaleCount = 1000;
        break;
    default:
        memory.fullScaleCount = 6000;
        break;
    }

    // The range rows: the last one that matches sets the axis and the factor.
    // A frame that no row fits (diode, hertz with both k and M lit) is drawn
    // on the start-up axis, as after a fresh start: the axis depends on this
    // frame alone, never on a mode the meter has left (continuity's +-40
    // would put a diode's 583 far off the chart and fill the bar graph).
    r.numericValue = r.count;
    result.axisMaximum = StartAxisLimit;
    result.axisMinimum = -StartAxisLimit;
    result.rangeRow = 0;
    std::uint32_t key =
        std::uint32_t(function) << FunctionShift | std::uint32_t(unit) << UnitShift | pointBit(r.pointPosition);
    key |= r.has(Annunciator::Ac) ? AcBit : 0;
    key |= r.has(Annunciator::Continuity) ? ContinuityBit : 0;
    key |= r.has(Annunciator::Scale4V) ? Scale4VBit : 0;
    key |= r.has(Annunciator::Kilo) ? KiloBit : 0;
    key |= r.has(Annunciator::Mega) ? MegaBit : 0;
    for (std::size_t i = 0; i < RangeRows.size(); ++i) {
        if ((key & RowTests[i].mask) != RowTests[i].value)
            continue;
        const RangeRow &row = RangeRows[i];
        result.axisMaximum = row.limit;
        result.axisMinimum = -row.limit;
        r.numericValue = r.count * row.factor;
        result.rangeRow = int(i) + 1;
    }

    result.axisMaximumChanged = result.axisMaximum != memory.lastAxisMaximum;
    memory.lastAxisMaximum = result.axisMaximum;
    return &result;
}

void FrameDecoder::recordMinMax()
{
    const Reading &r = m_result.reading;
    if (r.count >= m_memory.maxCount) {
        assignText(m_result.maxText, r.valueText);
        m_memory.maxCount = float(r.count);
    }
    if (r.count <= m_memory.minCount) {
        assignText(m_result.minText, r.valueText);
        m_memory.minCount = float(r.count);
    }
}

void FrameDecoder::restartMinMax()
{
    m_memory.maxCount = float(-m_memory.fullScaleCount);
    m_memory.minCount = float(m_memory.fullScaleCount);
}
