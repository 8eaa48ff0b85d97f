#include "log/readinglogger.h"

#include "log/logtable.h"
#include "meter/reading.h"
#include "shared/localeinfo.h"

#include <cmath>
#include <limits>

ReadingLogger::ReadingLogger(LogTable &table, const LocaleInfo &locale)
    : m_table(table)
    , m_locale(locale)
    , m_valueField(LogTable::fieldIndex(u"value"))
    , m_timeField(LogTable::fieldIndex(u"time"))
    , m_noField(LogTable::fieldIndex(u"no"))
    , m_dcAcField(LogTable::fieldIndex(u"DC/AC"))
    , m_unitField(LogTable::fieldIndex(u"unit"))
    , m_autoField(LogTable::fieldIndex(u"Auto"))
{ }

std::optional<LoggedRow> ReadingLogger::logFrame(const Reading &reading, const LogTime &time)
{
    if (m_holding) {
        hold(reading, time, false);
        return std::nullopt;
    }
    if (isFull() || m_sampling)
        return std::nullopt;
    return logCandidate(reading, time, TimeForm::Clock);
}

std::optional<LoggedRow> ReadingLogger::logSample(const Reading &reading, const LogTime &time)
{
    if (m_holding) {
        if (m_fresh && m_sampling)
            hold(reading, time, true);
        m_fresh = false;
        return std::nullopt;
    }
    if (isFull() || !m_fresh)
        return std::nullopt;
    std::optional<LoggedRow> row;
    if (m_sampling)
        row = logCandidate(reading, time, TimeForm::LocaleTimeOfDay);
    m_fresh = false;
    return row;
}

void ReadingLogger::holdReadings()
{
    m_holding = true;
}

void ReadingLogger::hold(const Reading &reading, const LogTime &time, bool sample)
{
    // A question may wait for its answer for hours while the meter sends
    // frames. A run of readings that Repeat off would not log again is kept
    // as one with a count (each still takes a number), and readings that
    // the record limit will refuse are not kept: every kept reading but a
    // first repeat of the last logged one becomes a row.
    if (!m_repeat && !m_held.empty()) {
        HeldReading &last = m_held.back();
        if (last.sample == sample && repeatKey(last.reading) == repeatKey(reading)) {
            ++last.repeats;
            return;
        }
    }
    if (qint64(m_held.size()) > qint64(m_recordLimit) - m_loggedCount)
        return;
    m_held.push_back({reading, time, sample});
}

std::vector<LoggedRow> ReadingLogger::releaseReadings()
{
    m_holding = false;
    std::vector<HeldReading> held;
    held.swap(m_held);
    std::vector<LoggedRow> rows;
    // A held sample was fresh when its tick came; the freshness of the
    // reading now is another matter and stays as it is.
    const bool freshNow = m_fresh;
    for (const HeldReading &h : held) {
        for (qint64 i = 0; i <= h.repeats; ++i) {
            std::optional<LoggedRow> row;
            if (h.sample) {
                m_fresh = true;
                row = logSample(h.reading, h.time);
            } else {
                row = logFrame(h.reading, h.time);
            }
            if (row)
                rows.push_back(*row);
        }
    }
    m_fresh = freshNow;
    return rows;
}

std::optional<LoggedRow> ReadingLogger::logCandidate(const Reading &reading, const LogTime &time, TimeForm form)
{
    std::optional<LoggedRow> logged;
    // The key is built into buffers kept from row to row: a steady stream of
    // readings logs without allocating.
    bool log = true;
    if (m_repeat) {
        buildRepeatKey(m_lastLoggedKey, reading);
    } else {
        buildRepeatKey(m_candidateKey, reading);
        log = m_candidateKey != m_lastLoggedKey;
        if (log)
            m_lastLoggedKey.swap(m_candidateKey);
    }
    if (log) {
        ++m_loggedCount;
        if (m_table.append()) {
            m_table.setText(m_valueField, reading.valueText);
            m_table.setText(m_timeField, timeText(time.timeOfDay, form));
            if (time.utcMilliseconds)
                m_table.setLoggedAt(*time.utcMilliseconds);
            m_table.setInteger(m_noField, m_frameCount);
            m_table.setText(m_dcAcField, functionText(reading.function));
            m_table.setText(m_unitField, unitText(reading.unit));
            m_table.setText(m_autoField, judgementText(reading.judgement));
            m_table.post();
            logged = LoggedRow{m_table.rowCount() - 1, reading.numericValue};
        }
    }
    // Wraps rather than overflowing after 2^31 candidates.
    m_frameCount = qint32(quint32(m_frameCount) + 1u);
    return logged;
}

QString ReadingLogger::timeText(QTime time, TimeForm form)
{
    if (form == TimeForm::LocaleTimeOfDay)
        return m_locale.timeOfDayText(time);
    // Frames come many a second: the text of one second is made once.
    const QString separator = m_locale.userTimeSeparator();
    const int second = time.isValid() ? time.msecsSinceStartOfDay() / 1000 : -1;
    if (second == m_clockTextSecond && separator == m_clockTextSeparator)
        return m_clockText;
    const auto twoDigits = [](int n) { return QString::number(n).rightJustified(2, u'0'); };
    m_clockText = twoDigits(time.hour()) + separator + twoDigits(time.minute()) + separator + twoDigits(time.second());
    m_clockTextSecond = second;
    m_clockTextSeparator = separator;
    return m_clockText;
}

void ReadingLogger::continueAfter(qint32 lastNumber, qint32 rows)
{
    m_frameCount = qint32(quint32(lastNumber) + 1u);
    m_loggedCount += rows;
}

void ReadingLogger::emptyLog()
{
    if (!m_table.isEmpty())
        m_table.clear();
    m_frameCount = 1;
    m_loggedCount = 0;
}

std::optional<SamplingInterval> ReadingLogger::samplingIntervalFor(const QString &text)
{
    // The key filter lets only digits in, but pasted text can hold anything;
    // a negative number or one too large for the timer is no interval.
    static_assert(qint64(LongestSamplingSeconds) * 1000 <= std::numeric_limits<qint32>::max());
    static_assert((qint64(LongestSamplingSeconds) + 1) * 1000 > std::numeric_limits<qint32>::max());
    const std::optional<qint32> seconds = LogTable::parseInteger(text);
    if (!seconds || *seconds < 0 || *seconds > LongestSamplingSeconds)
        return std::nullopt;
    SamplingInterval interval;
    interval.textBecomesOne = *seconds == 0;
    interval.milliseconds = (*seconds == 0 ? 1 : *seconds) * 1000;
    return interval;
}

bool ReadingLogger::wholeNumberKeyAccepted(QChar key)
{
    return key.unicode() == 8 || (key >= u'0' && key <= u'9');
}

qint32 ReadingLogger::barGraphPosition(double numericValue)
{
    if (std::isnan(numericValue))
        return 0;
    const double a = std::fabs(numericValue);
    double magnitude = std::floor(a);
    const double fraction = a - magnitude;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(magnitude, 2.0) != 0.0))
        magnitude += 1.0;
    if (magnitude >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    return qint32(magnitude);
}

QString ReadingLogger::repeatKey(const Reading &reading)
{
    QString key;
    buildRepeatKey(key, reading);
    return key;
}

void ReadingLogger::buildRepeatKey(QString &key, const Reading &reading)
{
    key.resize(0);
    // The value, then one character each for function, unit and range.
    key.append(reading.valueText)
        .append(QChar(u'A' + int(reading.function)))
        .append(QChar(u'A' + int(reading.unit)))
        .append(QChar(u'A' + int(reading.range)));
}
