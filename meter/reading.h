#pragma once

#include <QChar>
#include <QString>

#include <array>
#include <cstdint>

// One annunciator of the meter's display, one per status bit that we read.
// The order is the order in which `qm320-cli decode` lists the set flags.
enum class Annunciator : std::uint8_t {
    Auto,
    Dc,
    Ac,
    Rel,
    Hold,
    Scale4V,
    Max,
    Min,
    LowBattery,
    Nano,
    Micro,
    Milli,
    Kilo,
    Mega,
    Continuity,
    Diode,
    Duty,
    Volt,
    Ampere,
    Ohm,
    Hertz,
    Farad,
    Celsius,
    Fahrenheit,
};
inline constexpr int AnnunciatorCount = int(Annunciator::Fahrenheit) + 1;

// Lower-case names used in machine-readable output, indexed by Annunciator.
const char *annunciatorName(Annunciator a);

class Annunciators
{
public:
    bool test(Annunciator a) const { return (m_bits >> int(a)) & 1u; }
    void set(Annunciator a, bool on = true)
    {
        if (on)
            m_bits |= 1u << int(a);
        else
            m_bits &= ~(1u << int(a));
    }
    void clear() { m_bits = 0; }
    std::uint32_t bits() const { return m_bits; }
    bool operator==(const Annunciators &) const = default;

private:
    std::uint32_t m_bits = 0;
};

// The character that stands in the third digit of an over-range display; the
// panel draws it as the letter L.
inline constexpr QChar OverRangeGlyph{0x40};

// A decoded reading: what the meter's display shows, as values. Function,
// unit, range and judgement are values here; the table files, the grid, the
// report and the JSON output write them as the file format's texts
// (functionText() and the others below), and nothing else compares texts.
struct Reading
{
    enum class Function : std::uint8_t {
        None,
        DutyCycle,
        Frequency,
        Temperature,
        Capacitance,
        Dc,
        Ac,
        Ohm,
        Continuity,
        Diode,
    };
    // Frequencies carry their prefix as resistances do, in the unit.
    enum class Unit : std::uint8_t {
        None,
        MegaOhm,
        KiloOhm,
        MicroFarad,
        MilliFarad,
        NanoFarad,
        MicroAmpere,
        MilliAmpere,
        NanoAmpere,
        MicroVolt,
        MilliVolt,
        NanoVolt,
        Percent,
        Hertz,
        KiloHertz,
        MegaHertz,
        Fahrenheit,
        Celsius,
        Farad,
        Ohm,
        Ampere,
        Volt,
    };
    enum class Range : std::uint8_t { Manual, Auto };
    // Unjudged until the first judgement against the limits.
    enum class Judgement : std::uint8_t { NotJudged, Pass, Fail };

    QString valueText;       // the display as text, with the locale's decimal separator
    double count = 0;        // the four digits as a signed integer
    double numericValue = 0; // count times the range factor: the shown number in the shown unit
    Function function = Function::None;
    Unit unit = Unit::None;
    Range range = Range::Manual;
    Judgement judgement = Judgement::NotJudged;
    Annunciators flags;

    std::array<QChar, 4> digits{}; // as shown; QChar() is a blank position
    bool negative = false;
    int pointPosition = 0; // decimal point after digit 1, 2 or 3; 0 for none

    bool has(Annunciator a) const { return flags.test(a); }
    // The V symbol is lit by the volt bit and by the diode bit.
    bool voltShown() const { return has(Annunciator::Volt) || has(Annunciator::Diode); }
    bool overRange() const { return digits[2] == OverRangeGlyph; }
};

// The file format's texts, for the edges that write them: "DC", "AC", "OHM",
// ...; "V", "k*", "kHz", ... where "*" stands for ohm, "#" for degrees
// Celsius and "?" for degrees Fahrenheit; "AUTO" or "MANU"; "pass" or "Fail"
// (empty when not judged). None is the empty text.
const QString &functionText(Reading::Function function);
const QString &unitText(Reading::Unit unit);
const QString &rangeText(Reading::Range range);
const QString &judgementText(Reading::Judgement judgement);
