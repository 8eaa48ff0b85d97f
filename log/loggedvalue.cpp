#include "log/loggedvalue.h"

#include <QChar>

#include <array>
#include <cstdint>

std::optional<double> loggedValue(QStringView text)
{
    qsizetype i = 0;
    qsizetype end = text.size();
    // A blank digit position of the display may be stored as a blank or a
    // NUL at either end.
    const auto isBlank = [](QChar c) { return c.isSpace() || c.unicode() == 0; };
    while (i < end && isBlank(text[i]))
        ++i;
    while (end > i && isBlank(text[end - 1]))
        --end;
    bool negative = false;
    if (i < end && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    std::uint64_t mantissa = 0;
    int digits = 0;
    int decimals = 0;
    bool separator = false;
    for (; i < end; ++i) {
        const QChar c = text[i];
        if (c.isDigit()) {
            if (++digits > 18)
                return std::nullopt;
            mantissa = mantissa * 10 + std::uint64_t(c.digitValue());
            if (separator)
                ++decimals;
            continue;
        }
        // The decimal separator: any one punctuation mark, as locales differ.
        if (separator || !c.isPunct() || c == u'-' || c == u'+')
            return std::nullopt;
        separator = true;
    }
    if (digits == 0)
        return std::nullopt;
    static constexpr std::array<double, 19> Powers{1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                                   1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
    // One division by an exact power of ten rounds as reading the decimal
    // text would.
    const double value = double(mantissa) / Powers[std::size_t(decimals)];
    return negative ? -value : value;
}

UnitScale unitScale(QStringView unit)
{
    // The meter's base units: volt, ampere, ohm ("*"), farad, hertz, percent,
    // degrees Celsius ("#") and Fahrenheit ("?").
    static constexpr std::array<char16_t, 7> SingleBases{u'V', u'A', u'*', u'F', u'%', u'#', u'?'};
    const auto isBase = [](QStringView base) {
        if (base == u"Hz")
            return true;
        if (base.size() != 1)
            return false;
        for (const char16_t b : SingleBases) {
            if (base[0] == b)
                return true;
        }
        return false;
    };
    if (unit.size() >= 2 && isBase(unit.sliced(1))) {
        switch (unit[0].unicode()) {
        case u'n':
            return {unit.sliced(1), 1e-9};
        case u'u':
        case 0x00B5: // the micro sign
            return {unit.sliced(1), 1e-6};
        case u'm':
            return {unit.sliced(1), 1e-3};
        case u'k':
            return {unit.sliced(1), 1e3};
        case u'M':
            return {unit.sliced(1), 1e6};
        default:
            break;
        }
    }
    return {unit, 1};
}
