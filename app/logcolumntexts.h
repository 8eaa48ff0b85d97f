#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

class LocaleInfo;
class QFontMetrics;

// The widest texts that logging puts into the log grid's columns in the
// user's locale, worked out from the locale's forms and the font's digits.
// The rows are never measured: the log may hold ten million of them.
namespace LogColumnTexts {

// The widest of the digits from `first` to `last` in the font.
QChar widestDigit(const QFontMetrics &metrics, char first = '0', char last = '9');

// A time of day for every hour, in both forms logging writes (the clock's
// hours, minutes and seconds with the locale's separator, and the locale's
// own time text of sampling, which may be a 12-hour form), each with the
// font's widest minutes and seconds.
QStringList times(const LocaleInfo &locale, const QFontMetrics &metrics);

// The widest value the meter displays: a sign, four digits and the
// decimal separator.
QString value(const QString &decimalSeparator, const QFontMetrics &metrics);

// A row number as wide as any of `digits` digits, with a minus sign when
// `negative`.
QString number(int digits, bool negative, const QFontMetrics &metrics);

// The function and unit texts the meter reports, and the judgements, as the
// grid shows them.
QStringList functions();
QStringList units();
QStringList judgements();

// Digits of the decimal text of `number`, without its sign.
int digitCount(qint64 number);

} // namespace LogColumnTexts
