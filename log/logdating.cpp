#include "log/logdating.h"

#include "log/logtable.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <array>

namespace {

constexpr int SecondsPerDay = 86400;

// Letters of a day-half marker, folded: "P.M." and "pm" both give "pm".
QString foldedMarker(QStringView text)
{
    QString folded;
    for (const QChar c : text) {
        if (c.isLetter())
            folded += c.toCaseFolded();
    }
    return folded;
}

enum class DayHalf { None, Morning, Afternoon };

// The day half a time names by its letters, which may also name the hour,
// minute and second ("22時15分03秒", "오후 10시 15분 03초").
DayHalf dayHalfOf(const QString &letters)
{
    if (letters.isEmpty())
        return DayHalf::None;
    // The user's locale may write its own markers ("nachm.", "下午");
    // English ones are understood everywhere.
    static const std::array<QString, 2> locale{foldedMarker(QLocale::system().amText()),
                                               foldedMarker(QLocale::system().pmText())};
    if (letters.contains(u"pm") || (!locale[1].isEmpty() && letters.contains(locale[1])))
        return DayHalf::Afternoon;
    if (letters.contains(u"am") || (!locale[0].isEmpty() && letters.contains(locale[0])))
        return DayHalf::Morning;
    return DayHalf::None;
}

std::optional<int> secondOfDayFrom(const int (&numbers)[3], DayHalf half)
{
    int hour = numbers[0];
    if (hour > 23 || numbers[1] > 59 || numbers[2] > 59)
        return std::nullopt;
    // 12 AM is midnight, 12 PM noon; an hour past 12 is on the 24-hour
    // clock whatever follows it.
    if (half != DayHalf::None && hour <= 12)
        hour = hour % 12 + (half == DayHalf::Afternoon ? 12 : 0);
    return hour * 3600 + numbers[1] * 60 + numbers[2];
}

} // namespace

std::optional<int> LogDating::secondOfDay(QStringView timeText)
{
    if (timeText.isEmpty() || timeText.size() > LogTable::TextSize)
        return std::nullopt;
    int numbers[3] = {};
    int count = 0;
    int digits = 0;
    QString letters;
    for (const QChar c : timeText) {
        if (c.isDigit()) {
            if (digits == 0 && ++count > 3)
                return std::nullopt;
            if (++digits > 2)
                return std::nullopt;
            numbers[count - 1] = numbers[count - 1] * 10 + c.digitValue();
            continue;
        }
        digits = 0;
        if (c.isLetter())
            letters += c.toCaseFolded();
    }
    if (count != 3)
        return std::nullopt;
    return secondOfDayFrom(numbers, dayHalfOf(letters));
}

std::optional<int> LogDating::plainSecondOfDay(QByteArrayView cell)
{
    int numbers[3] = {};
    int count = 0;
    int digits = 0;
    for (const char c : cell) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= '0' && u <= '9') {
            if (digits == 0 && ++count > 3)
                return std::nullopt;
            if (++digits > 2)
                return std::nullopt;
            numbers[count - 1] = numbers[count - 1] * 10 + (u - '0');
            continue;
        }
        // A letter may be a day-half marker, anything beyond ASCII another
        // script's digit: the decoded text decides those.
        if (u >= 0x80 || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z'))
            return std::nullopt;
        digits = 0;
    }
    if (count != 3)
        return std::nullopt;
    return secondOfDayFrom(numbers, DayHalf::None);
}

void LogDating::addTime(std::optional<int> secondOfDay)
{
    const qint64 index = m_timesAdded++;
    if (!secondOfDay)
        return;
    const int second = *secondOfDay;
    if (m_lastSecond < 0) {
        m_firstSecond = second;
    } else {
        const int back = m_lastSecond - second;
        int silence = 0;
        if (back > ClockSetBackSeconds) {
            ++m_days;
            silence = SecondsPerDay - back;
        } else if (back <= 0) {
            silence = -back;
        }
        if (silence > m_longestSilence) {
            m_longestSilence = silence;
            m_afterSilence = index;
        }
    }
    m_lastSecond = second;
}

bool LogDating::resolve(const Evidence &evidence)
{
    m_firstDate = QDate();
    m_missingDays = 0;
    m_certain = false;
    if (!hasTimes() || (!evidence.notBefore && !evidence.notAfter))
        return false;

    // From the end: the last row on the day of the last write, or the day
    // before when its time of day is later than the write's.
    QDate fromEnd;
    if (evidence.notAfter) {
        const QDateTime written = QDateTime::fromMSecsSinceEpoch(*evidence.notAfter, Qt::LocalTime);
        fromEnd = written.date();
        if (m_lastSecond > written.time().msecsSinceStartOfDay() / 1000)
            fromEnd = fromEnd.addDays(-1);
        fromEnd = fromEnd.addDays(-m_days);
    }
    // From the start, likewise.
    QDate fromStart;
    if (evidence.notBefore) {
        const QDateTime started = QDateTime::fromMSecsSinceEpoch(*evidence.notBefore, Qt::LocalTime);
        fromStart = started.date();
        if (m_firstSecond < started.time().msecsSinceStartOfDay() / 1000)
            fromStart = fromStart.addDays(1);
    }

    if (fromStart.isValid() && fromEnd.isValid()) {
        const qint64 unseen = fromStart.daysTo(fromEnd);
        m_firstDate = fromStart;
        if (unseen == 0) {
            m_certain = true;
        } else if (unseen > 0 && unseen < SecondsPerDay) {
            // Days the times do not show; the longest silence held them.
            m_missingDays = int(unseen);
        }
        // Otherwise the file was written before the log began: its times
        // are not to be trusted, the name the program gave it is.
    } else {
        m_firstDate = fromStart.isValid() ? fromStart : fromEnd;
    }
    return m_firstDate.isValid();
}

qint64 LogDating::localMoment(QDate date, int secondOfDay)
{
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(secondOfDay * 1000), Qt::LocalTime).toMSecsSinceEpoch();
}

int LogDating::dateRows(LogTable &table, int firstRow, const Evidence &evidence, LogDating *dating)
{
    const int timeField = int(LogField::Time);
    // The table keeps each distinct text once, and rows logged within one
    // second share theirs: a text read for the row before is not read again.
    const QChar *lastText = nullptr;
    std::optional<int> lastSecond;
    const auto timeOf = [&](int row) -> std::optional<int> {
        if (table.loggedAt(row))
            return std::nullopt;
        const QStringView text = table.text(row, timeField);
        if (text.data() != lastText || text.isEmpty()) {
            lastText = text.data();
            lastSecond = secondOfDay(text);
        }
        return lastSecond;
    };
    LogDating walk;
    for (int row = firstRow; row < table.rowCount(); ++row)
        walk.addTime(timeOf(row));
    const bool resolved = walk.resolve(evidence);
    if (dating)
        *dating = walk;
    if (!resolved)
        return 0;

    // The same walk again, now giving each row its moment. The zone's
    // offset is asked once per local hour, not once per row.
    LogDating again;
    qint64 cachedHour = -1;
    qint64 cachedOffsetMs = 0;
    int dated = 0;
    for (int row = firstRow; row < table.rowCount(); ++row) {
        const std::optional<int> second = timeOf(row);
        const qint64 index = again.m_timesAdded;
        again.addTime(second);
        if (!second)
            continue;
        int day = again.m_days;
        if (walk.m_missingDays > 0 && index >= walk.m_afterSilence)
            day += walk.m_missingDays;
        const QDate date = walk.m_firstDate.addDays(day);
        const qint64 localMs = (date.toJulianDay() * SecondsPerDay + *second) * 1000;
        const qint64 hour = localMs / 3600000;
        if (hour != cachedHour) {
            cachedOffsetMs = localMoment(date, *second) - localMs;
            cachedHour = hour;
        }
        table.setLoggedAt(row, localMs + cachedOffsetMs);
        ++dated;
    }
    return dated;
}
