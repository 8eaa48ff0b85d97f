#include "shared/localeinfo.h"

FixedLocaleInfo::FixedLocaleInfo(QString decimalSeparator, QString systemDecimalSeparator, QString timeSeparator,
                                 QString timeFormat)
    : m_decimal(std::move(decimalSeparator))
    , m_systemDecimal(systemDecimalSeparator.isNull() ? m_decimal : std::move(systemDecimalSeparator))
    , m_timeSeparator(std::move(timeSeparator))
    , m_timeFormat(std::move(timeFormat))
{ }

QString FixedLocaleInfo::timeOfDayText(const QTime &time) const
{
    return time.toString(m_timeFormat);
}
