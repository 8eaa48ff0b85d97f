#include "shared/localenumber.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace {

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}
bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

std::optional<double> parseLocaleNumber(QStringView text, QStringView decimalSeparator)
{
    // Build a plain "C" number from the text, checking its shape on the way;
    // std::from_chars then does the conversion without any locale.
    char buffer[128];
    int out = 0;
    auto put = [&](char c) {
        if (out >= int(sizeof buffer) - 1)
            return false;
        buffer[out++] = c;
        return true;
    };

    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        if (text[i] == u'-' && !put('-'))
            return std::nullopt;
        ++i;
    }
    int digits = 0;
    int fractionDigits = 0;
    std::uint64_t mantissa = 0;
    bool point = false;
    while (i < n) {
        const QChar c = text[i];
        if (isDigit(c)) {
            if (!put(char(c.unicode())))
                return std::nullopt;
            mantissa = mantissa * 10 + std::uint64_t(c.unicode() - u'0');
            ++digits;
            fractionDigits += point ? 1 : 0;
            ++i;
        } else if (!point && !decimalSeparator.isEmpty() && text.mid(i).startsWith(decimalSeparator)) {
            if (!put('.'))
                return std::nullopt;
            point = true;
            i += decimalSeparator.size();
        } else {
            break;
        }
    }
    if (digits == 0)
        return std::nullopt;
    bool exponent = false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        exponent = true;
        if (!put('e'))
            return std::nullopt;
        ++i;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            if (!put(char(text[i].unicode())))
                return std::nullopt;
            ++i;
        }
        int expDigits = 0;
        while (i < n && isDigit(text[i])) {
            if (!put(char(text[i].unicode())))
                return std::nullopt;
            ++expDigits;
            ++i;
        }
        if (expDigits == 0)
            return std::nullopt;
    }
    while (i < n && isBlank(text[i]))
        ++i;
    if (i != n)
        return std::nullopt;

    // A displayed value has four digits: with at most 15 digits the digits
    // and the power of ten are exact doubles, and one division rounds the
    // quotient exactly as the full conversion would.
    constexpr double PowersOfTen[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (!exponent && digits <= 15) {
        const double magnitude = double(mantissa) / PowersOfTen[fractionDigits];
        return buffer[0] == '-' ? -magnitude : magnitude;
    }

    double value = 0;
    const auto [end, ec] = std::from_chars(buffer, buffer + out, value);
    if (ec != std::errc() || end != buffer + out)
        return std::nullopt;
    return value;
}

std::optional<double> parseLoggedValue(QStringView text, QStringView decimalSeparator)
{
    for (QStringView separator : {QStringView(u"."), QStringView(u","), decimalSeparator}) {
        if (const std::optional<double> value = parseLocaleNumber(text, separator))
            return value;
    }
    return std::nullopt;
}

double localeNumberOrSentinel(QStringView text, QStringView decimalSeparator)
{
    return parseLocaleNumber(text, decimalSeparator).value_or(NotANumber);
}
