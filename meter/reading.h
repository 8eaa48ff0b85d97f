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

// A decoded reading: what the meter's display shows, as values.
struct Reading
{
    QString valueText;        // the display as text, with the locale's decimal separator
    double count = 0;         // the four digits as a signed integer
    double numericValue = 0;  // count times the range factor: the shown number in the shown unit
    QString functionText;     // "DC", "AC", "OHM", ...
    QString unitText;         // "V", "k*", "kHz", ...: "*" stands for ohm, "#" for degrees Celsius, "?" for degrees Fahrenheit
    QString rangeText;        // "AUTO" or "MANU"
    QString judgeText;        // "pass" or "Fail" once judged against the limits
    Annunciators flags;

    std::array<QChar, 4> digits{};  // as shown; QChar() is a blank position
    bool negative = false;
    int pointPosition = 0;           // decimal point after digit 1, 2 or 3; 0 for none

    bool has(Annunciator a) const { return flags.test(a); }
    // The V symbol is lit by the volt bit and by the diode bit.
    bool voltShown() const { return has(Annunciator::Volt) || has(Annunciator::Diode); }
    bool overRange() const { return digits[2] == OverRangeGlyph; }
};
