#include "log/localtimestamp.h"

#include <QDateTime>

#include <charconv>

namespace {

constexpr qint64 QuarterHourMs = 15 * 60 * 1000;

void appendDigits(QByteArray &out, qint64 value, int width)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (qint64 n = end - digits; n < width; ++n)
        out += '0';
    out.append(digits, end - digits);
}

// The civil date of a day counted from 1970-01-01 (proleptic Gregorian).
void civilFromDays(qint64 days, qint64 &year, int &month, int &day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 monthIndex = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

void appendLocal(QByteArray &out, qint64 localMs, qint64 offsetMs)
{
    qint64 days = localMs / 86400000;
    qint64 ms = localMs % 86400000;
    if (ms < 0) {
        ms += 86400000;
        --days;
    }
    qint64 year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    appendDigits(out, year, 4);
    out += '-';
    appendDigits(out, month, 2);
    out += '-';
    appendDigits(out, day, 2);
    out += 'T';
    appendDigits(out, ms / 3600000, 2);
    out += ':';
    appendDigits(out, ms / 60000 % 60, 2);
    out += ':';
    appendDigits(out, ms / 1000 % 60, 2);
    out += '.';
    appendDigits(out, ms % 1000, 3);
    const qint64 offsetMinutes = offsetMs / 60000;
    out += offsetMinutes < 0 ? '-' : '+';
    const qint64 minutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    appendDigits(out, minutes / 60, 2);
    out += ':';
    appendDigits(out, minutes % 60, 2);
}

qint64 offsetAt(qint64 utcMilliseconds)
{
    return qint64(QDateTime::fromMSecsSinceEpoch(utcMilliseconds, Qt::LocalTime).offsetFromUtc()) * 1000;
}

} // namespace

void LocalTimestamp::append(QByteArray &out, qint64 utcMilliseconds)
{
    // Floor division: a moment before 1970 belongs to the quarter before.
    const qint64 quarter =
        utcMilliseconds >= 0 ? utcMilliseconds / QuarterHourMs : -1 - (-utcMilliseconds - 1) / QuarterHourMs;
    if (quarter != m_quarter) {
        m_offsetMs = offsetAt(utcMilliseconds);
        m_quarter = quarter;
    }
    appendLocal(out, utcMilliseconds + m_offsetMs, m_offsetMs);
}
