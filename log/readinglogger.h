#pragma once

#include <QChar>
#include <QString>
#include <QTime>
#include <QtGlobal>

#include <array>
#include <optional>

class LocaleInfo;
class LogTable;
struct Reading;

// What the logger asks of the window: the state of the two check boxes, the
// clock, and what follows an appended row or an emptied log.
class ReadingLogHost
{
public:
    virtual ~ReadingLogHost() = default;
    virtual bool repeatChecked() const { return true; }    // RepeatSet
    virtual bool samplingChecked() const { return false; } // RecordSI
    virtual QTime timeOfDay() const { return QTime::currentTime(); }
    // PBar2's position; the bar clamps it to its range.
    virtual void setBarGraphPosition(qint32 position) { Q_UNUSED(position) }
    // ChartPager.AddPoint(value), then Bt10 shows ChartPager.CurrentPage.
    virtual void addChartPoint(double value) { Q_UNUSED(value) }
    // ChartPager.Reset(), then Bt10 shows ChartPager.CurrentPage.
    virtual void resetChart() {}
};

// The six limit items of the Record menu, in menu order.
struct RecordLimitItem
{
    const char *objectName;
    const char *caption;
    qint32 limit;
};
inline constexpr std::array<RecordLimitItem, 6> RecordLimitItems{{
    {"N10001", "1000", 1000},
    {"N50001", "5000", 5000},
    {"N100001", "10000", 10000},
    {"N500001", "50000", 50000},
    {"N1000001", "100000", 100000},
    {"limitess", "limitless", 10000000},
}};

// What the sampling-interval edit asks of Timer3.
struct SamplingInterval
{
    int milliseconds = 1000;
    bool textBecomesOne = false; // "0" was typed: the edit's text becomes "1"
};

// Decides which readings become rows of the log table: every decoded frame
// (INDataToTable) or one fresh reading per sampling tick (Timer3Timer),
// suppressing unchanged readings unless Repeat is ticked, up to the record
// limit. The log counters are the window's single values, kept here.
class ReadingLogger
{
public:
    ReadingLogger(LogTable &table, const LocaleInfo &locale, ReadingLogHost &host);

    // Per-frame logging, after every decoded frame while RecordSI is clear.
    void INDataToTable(const Reading &reading);
    // Each tick of the sampling timer; clears reading.FreshReading.
    void Timer3Timer(Reading &reading);

    // One of the Record menu's limit items was chosen (index into
    // RecordLimitItems): the limit changes, nothing else does.
    void selectRecordLimit(int item);
    // The item that carries the check mark.
    int checkedRecordLimitItem() const { return m_checkedLimitItem; }

    // New, once the user has answered Yes: the chart starts again, the table
    // is emptied and the counters return to their start values.
    // LastLoggedKey and RecordLimit stay.
    void emptyLog();

    // The sampling interval for a new text of RecordSITime, or nothing when
    // the text is not a whole number of seconds from 0 to 2147483 (the
    // interval in milliseconds must fit the timer).
    static std::optional<SamplingInterval> RecordSITimeChange(const QString &text);
    // Key filter of RecordSITime and of the chart's page-size edit: digits
    // and Backspace pass.
    static bool RecordSITimeKeyPress(QChar key);
    // PBar2's position for a reading: its magnitude rounded to the nearest
    // integer, halves to the even neighbour, within 32 bits.
    static qint32 barGraphPosition(double numericValue);
    // What tells a reading from the last one logged when Repeat is clear.
    static QString repeatKey(const Reading &reading);

    qint32 FrameCount = 1;   // number given to the next candidate reading
    qint32 LoggedCount = 0;  // rows appended by logging since start or New
    qint32 RecordLimit = 10000;
    QString LastLoggedKey;

private:
    enum class TimeForm { Clock, LocaleTimeOfDay };
    void logCandidate(const Reading &reading, TimeForm form);
    QString timeText(TimeForm form) const;

    LogTable &m_table;
    const LocaleInfo &m_locale;
    ReadingLogHost &m_host;
    int m_checkedLimitItem = 2; // "10000"

    // Logging writes the fields by these names; the table finds them without
    // regard to letter case.
    int m_valueField;
    int m_timeField;
    int m_noField;
    int m_dcAcField;
    int m_unitField;
    int m_autoField;
};
