#pragma once

#include "meter/reading.h"

#include <QChar>
#include <QString>
#include <QTime>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

class LocaleInfo;
class LogTable;

// The record limits the log offers, in menu order.
struct RecordLimitChoice
{
    const char *caption;
    qint32 limit;
};
inline constexpr std::array<RecordLimitChoice, 6> RecordLimitChoices{{
    {"1000", 1000},
    {"5000", 5000},
    {"10000", 10000},
    {"50000", 50000},
    {"100000", 100000},
    {"limitless", 10000000}, // ten million rows: about a month at the meter's pace
}};
inline constexpr qint32 DefaultRecordLimit = 10000;

// What the sampling-interval edit asks of the sampling timer.
struct SamplingInterval
{
    int milliseconds = 1000;
    bool textBecomesOne = false; // "0" was typed: the edit's text becomes "1"
};

// When a reading was taken: the local time of day that its row shows, and
// the moment itself, which the row keeps for its date (milliseconds since
// 1970-01-01 00:00 UTC; left out where only the time of day matters).
struct LogTime
{
    QTime timeOfDay;
    std::optional<qint64> utcMilliseconds;
};

// A row that logging appended, and the value it charts.
struct LoggedRow
{
    int row = -1;
    double numericValue = 0;
};

// Decides which readings become rows of the log table: every decoded frame
// (logFrame) or one fresh reading per sampling tick (logSample), suppressing
// unchanged readings unless Repeat is on, up to the record limit. Frames are
// numbered as they are offered, suppressed repeats included.
//
// While a table file is being opened the window keeps painting and readings
// keep arriving; they are held with the time they arrived and logged after
// the file's rows, not among them.
class ReadingLogger
{
public:
    ReadingLogger(LogTable &table, const LocaleInfo &locale);

    // Repeat: log a reading even when it equals the last one logged.
    bool repeat() const { return m_repeat; }
    void setRepeat(bool repeat) { m_repeat = repeat; }
    // Sampling: log one reading per tick of the sampling timer instead of
    // every frame.
    bool sampling() const { return m_sampling; }
    void setSampling(bool sampling) { m_sampling = sampling; }
    // Lowering the limit below the rows logged stops logging; nothing is removed.
    qint32 recordLimit() const { return m_recordLimit; }
    void setRecordLimit(qint32 limit) { m_recordLimit = limit; }
    // Rows opened from a file do not count against the limit.
    bool isFull() const { return m_loggedCount >= m_recordLimit; }

    // A frame was decoded: the next sampling tick has a reading to log.
    void markFresh() { m_fresh = true; }
    bool hasFreshReading() const { return m_fresh; }

    // Whether logFrame would do anything with a frame: log it, weigh it
    // against the last one, or hold it.
    bool takesFrames() const { return m_holding || (!isFull() && !m_sampling); }
    // Per-frame logging, for every decoded frame while sampling is off.
    std::optional<LoggedRow> logFrame(const Reading &reading, const LogTime &time);
    std::optional<LoggedRow> logFrame(const Reading &reading, QTime time)
    {
        return logFrame(reading, LogTime{time, {}});
    }
    // A tick of the sampling timer: logs the reading if it is fresh and
    // sampling is on, and uses up its freshness (except at the record limit,
    // where the tick does nothing at all).
    std::optional<LoggedRow> logSample(const Reading &reading, const LogTime &time);
    std::optional<LoggedRow> logSample(const Reading &reading, QTime time)
    {
        return logSample(reading, LogTime{time, {}});
    }

    // Readings wait: while a table file is opened, and while the user
    // answers a question after which they belong to another log or to none.
    void holdReadings();
    // Logs what arrived while held, each with the time it arrived.
    std::vector<LoggedRow> releaseReadings();
    bool isHolding() const { return m_holding; }
    // Readings kept to be logged at release.
    std::size_t heldCount() const { return m_held.size(); }

    // Rows that an earlier run logged were taken up again: numbering goes on
    // after the last of them, and they count against the record limit.
    void continueAfter(qint32 lastNumber, qint32 rows);

    // Clear: the table is emptied and the counters start again. The last
    // logged reading and the record limit stay, so an unchanged reading is
    // still not logged again while Repeat is off.
    void emptyLog();

    qint32 frameCount() const { return m_frameCount; }   // number of the next candidate reading
    qint32 loggedCount() const { return m_loggedCount; } // rows logged since start or Clear
    QString lastLoggedKey() const { return m_lastLoggedKey; }

    // The longest sampling interval: in milliseconds it must fit the timer.
    static constexpr qint32 LongestSamplingSeconds = 2147483;
    // The sampling interval for a new text of the interval edit, or nothing
    // when the text is not a whole number of seconds from 0 to
    // LongestSamplingSeconds.
    static std::optional<SamplingInterval> samplingIntervalFor(const QString &text);
    // Key filter of the whole-number edits (sampling interval, page size):
    // digits and Backspace pass.
    static bool wholeNumberKeyAccepted(QChar key);
    // The bar graph's position for a logged value: its magnitude rounded to
    // the nearest integer, halves to the even neighbour, within 32 bits.
    static qint32 barGraphPosition(double numericValue);
    // What tells a reading from the last one logged when Repeat is off.
    static QString repeatKey(const Reading &reading);

private:
    enum class TimeForm { Clock, LocaleTimeOfDay };
    std::optional<LoggedRow> logCandidate(const Reading &reading, const LogTime &time, TimeForm form);
    QString timeText(QTime time, TimeForm form);
    static void buildRepeatKey(QString &key, const Reading &reading);

    LogTable &m_table;
    const LocaleInfo &m_locale;

    bool m_repeat = true;
    bool m_sampling = false;
    qint32 m_recordLimit = DefaultRecordLimit;
    qint32 m_frameCount = 1;
    qint32 m_loggedCount = 0;
    QString m_lastLoggedKey;
    QString m_candidateKey;
    // The clock's time text of the last row, for the second it was made.
    QString m_clockText;
    QString m_clockTextSeparator;
    int m_clockTextSecond = -2;
    bool m_fresh = false;

    struct HeldReading
    {
        Reading reading;
        LogTime time;
        bool sample = false; // held at a sampling tick, not at a frame
        qint64 repeats = 0;  // the same reading again, that many times, with Repeat off
    };
    void hold(const Reading &reading, const LogTime &time, bool sample);
    bool m_holding = false;
    std::vector<HeldReading> m_held;

    // Logging writes the fields by these names; the table finds them without
    // regard to letter case.
    int m_valueField;
    int m_timeField;
    int m_noField;
    int m_dcAcField;
    int m_unitField;
    int m_autoField;
};
