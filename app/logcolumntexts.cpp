#include "app/logcolumntexts.h"

#include "log/unitsymbols.h"
#include "meter/reading.h"
#include "shared/localeinfo.h"

#include <QFontMetrics>
#include <QTime>

namespace LogColumnTexts {

QChar widestDigit(const QFontMetrics &metrics, char first, char last)
{
    QChar widest = QLatin1Char(first);
    for (char c = first; c <= last; ++c) {
        if (metrics.horizontalAdvance(QLatin1Char(c)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(c);
    }
    return widest;
}

QStringList times(const LocaleInfo &locale, const QFontMetrics &metrics)
{
    // Minutes and seconds run from 00 to 59: the widest tens digit up to 5.
    const int tens = widestDigit(metrics, '0', '5').digitValue();
    const int units = widestDigit(metrics).digitValue();
    const int sixty = tens * 10 + units;
    const QString separator = locale.userTimeSeparator();
    const auto twoDigits = [](int n) { return QString::number(n).rightJustified(2, u'0'); };
    QStringList texts;
    for (int hour = 0; hour < 24; ++hour) {
        texts << twoDigits(hour) + separator + twoDigits(sixty) + separator + twoDigits(sixty);
        texts << locale.timeOfDayText(QTime(hour, sixty, sixty));
    }
    return texts;
}

QString value(const QString &decimalSeparator, const QFontMetrics &metrics)
{
    return QLatin1Char('-') + QString(4, widestDigit(metrics)) + decimalSeparator;
}

QString number(int digits, bool negative, const QFontMetrics &metrics)
{
    return (negative ? QStringLiteral("-") : QString()) + QString(digits, widestDigit(metrics));
}

QStringList functions()
{
    QStringList texts;
    for (int f = int(Reading::Function::None) + 1; f <= int(Reading::Function::Diode); ++f)
        texts << functionText(Reading::Function(f));
    return texts;
}

QStringList units()
{
    QStringList texts;
    for (int u = int(Reading::Unit::None) + 1; u <= int(Reading::Unit::Volt); ++u)
        texts << lcdUnitText(unitText(Reading::Unit(u)));
    return texts;
}

QStringList judgements()
{
    return {judgementText(Reading::Judgement::Pass), judgementText(Reading::Judgement::Fail)};
}

int digitCount(qint64 number)
{
    int digits = 1;
    for (quint64 n = number < 0 ? 0 - quint64(number) : quint64(number); n >= 10; n /= 10)
        ++digits;
    return digits;
}

} // namespace LogColumnTexts
