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

// The one current decoded reading. Every decoded frame overwrites it.
struct Reading
{
    QString ValueText;        // the display as text, locale decimal separator
    double CountValue = 0;    // the four digits as a signed integer
    double NumericValue = 0;  // CountValue times the range factor
    QString AcDcText;         // function text
    QString UnitText;         // "*" ohm, "#" degrees Celsius, "?" degrees Fahrenheit
    QString RangeText;        // "AUTO" or "MANU"
    QString JudgeText;        // "pass" or "Fail", written by the judgement
    bool FreshReading = false;
    Annunciators Flags;

    std::array<QChar, 4> DigitText{};  // D1..D4 as shown; QChar() is a blank position
    QString SignText;                  // "-" or empty
    int PointIndex = 0;                // decimal point after digit 1, 2 or 3; 0 for none
    QString DecimalSeparator;          // what S1..S3 hold when their point is set

    bool has(Annunciator a) const { return Flags.test(a); }
    // The V symbol is lit by the volt bit and by the diode bit.
    bool voltShown() const { return has(Annunciator::Volt) || has(Annunciator::Diode); }
    bool overRange() const { return DigitText[2] == OverRangeGlyph; }
    bool negative() const { return !SignText.isEmpty(); }
    // S1, S2, S3: the separator after digit `position` (1..3), else empty.
    QString PointText(int position) const
    {
        return position == PointIndex ? DecimalSeparator : QString();
    }
};
