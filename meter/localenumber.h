#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// Wherever the program reads a number from a text, a text that is not a
// number gives this value, so the value itself never counts as a number.
inline constexpr double NotANumber = -999999.0;

// Reads a floating number the way the user typed it: optional blanks, an
// optional sign, digits with at most one decimal separator (the locale's),
// an optional exponent, optional blanks. No thousands separators.
std::optional<double> parseLocaleNumber(QStringView text, QStringView decimalSeparator);

// A logged value text ("1000.5", "-0,583"), whichever locale logged it: it
// holds at most one decimal separator and no grouping, so "." and "," both
// read as the decimal point, and so does the user's own separator.
std::optional<double> parseLoggedValue(QStringView text, QStringView decimalSeparator);

// parseLocaleNumber, with NotANumber for a text that is not a number.
double localeNumberOrSentinel(QStringView text, QStringView decimalSeparator);
