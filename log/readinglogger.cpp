#include "log/readinglogger.h"

#include "log/logtable.h"
#include "meter/localeinfo.h"
#include "meter/reading.h"

#include <cmath>
#include <limits>

ReadingLogger::ReadingLogger(LogTable &table, const LocaleInfo &locale, ReadingLogHost &host)
    : m_table(table)
    , m_locale(locale)
    , m_host(host)
    , m_valueField(LogTable::fieldIndex(u"value"))
    , m_timeField(LogTable::fieldIndex(u"time"))
    , m_noField(LogTable::fieldIndex(u"no"))
    , m_dcAcField(LogTable::fieldIndex(u"DC/AC"))
    , m_unitField(LogTable::fieldIndex(u"unit"))
    , m_autoField(LogTable::fieldIndex(u"Auto"))
{
}

void ReadingLogger::INDataToTable(const Reading &reading)
{
    if (LoggedCount >= RecordLimit)
        return;
    if (m_host.samplingChecked())
        return;
    logCandidate(reading, TimeForm::Clock);
}

void ReadingLogger::Timer3Timer(Reading &reading)
{
    if (LoggedCount >= RecordLimit)
        return;
    if (!reading.FreshReading)
        return;
    if (m_host.samplingChecked())
        logCandidate(reading, TimeForm::LocaleTimeOfDay);
    reading.FreshReading = false;
}

void ReadingLogger::logCandidate(const Reading &reading, TimeForm form)
{
    const QString key = repeatKey(reading);
    if (m_host.repeatChecked() || key != LastLoggedKey) {
        LastLoggedKey = key;
        ++LoggedCount;
        if (m_table.append()) {
            m_table.setText(m_valueField, reading.ValueText);
            m_table.setText(m_timeField, timeText(form));
            m_table.setInteger(m_noField, FrameCount);
            m_table.setText(m_dcAcField, reading.AcDcText);
            m_table.setText(m_unitField, reading.UnitText);
            m_table.setText(m_autoField, reading.JudgeText);
            m_host.setBarGraphPosition(barGraphPosition(reading.NumericValue));
            m_table.post();
            m_host.addChartPoint(reading.NumericValue);
        }
    }
    // Counts candidates, suppressed repeats included; wraps rather than
    // overflowing after 2^31 of them.
    FrameCount = qint32(quint32(FrameCount) + 1u);
}

QString ReadingLogger::timeText(TimeForm form) const
{
    const QTime now = m_host.timeOfDay();
    if (form == TimeForm::LocaleTimeOfDay)
        return m_locale.timeOfDayText(now);
    const QString separator = m_locale.userTimeSeparator();
    const auto twoDigits = [](int n) { return QString::number(n).rightJustified(2, u'0'); };
    return twoDigits(now.hour()) + separator + twoDigits(now.minute()) + separator + twoDigits(now.second());
}

void ReadingLogger::selectRecordLimit(int item)
{
    if (item < 0 || item >= int(RecordLimitItems.size()))
        return;
    m_checkedLimitItem = item;
    RecordLimit = RecordLimitItems[std::size_t(item)].limit;
}

void ReadingLogger::emptyLog()
{
    m_host.resetChart();
    if (!m_table.isEmpty())
        m_table.clear();
    FrameCount = 1;
    LoggedCount = 0;
}

std::optional<SamplingInterval> ReadingLogger::RecordSITimeChange(const QString &text)
{
    // The key filter lets only digits in, but pasted text can hold anything;
    // a negative number or one too large for the timer is no interval.
    constexpr qint64 MaxSeconds = std::numeric_limits<qint32>::max() / 1000;
    const std::optional<qint32> seconds = LogTable::parseInteger(text);
    if (!seconds || *seconds < 0 || *seconds > MaxSeconds)
        return std::nullopt;
    SamplingInterval interval;
    interval.textBecomesOne = *seconds == 0;
    interval.milliseconds = (*seconds == 0 ? 1 : *seconds) * 1000;
    return interval;
}

bool ReadingLogger::RecordSITimeKeyPress(QChar key)
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
    return reading.ValueText + reading.AcDcText + reading.UnitText + reading.RangeText;
}
