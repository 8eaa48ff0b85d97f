#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QStringView>
#include <QtGlobal>

#include <optional>

class LogTable;

// Works out the dates of rows that know only their time of day: a table file
// keeps "hh:mm:ss" and nothing more, so the rows of an opened file and of a
// recovered journal get their dates from what is known of the file.
//
// The times are taken in order. Where the time of day goes back by more than
// an hour, a midnight passed; a smaller step back is the clock being set
// back (the end of daylight saving time, a correction), on the same day.
// That fixes the days between the rows; one moment outside them fixes the
// dates: the last row was logged no later than the file was last written,
// and (for a journal, whose name holds the time it was started) the first
// no earlier than that. Whole days without a row that the times cannot show
// (a log that stood still from one morning to the next) are found when both
// ends are known, and put where the log was silent longest; with one end
// known the dates assume there were none.
class LogDating
{
public:
    // Moments in milliseconds since 1970-01-01 00:00 UTC.
    struct Evidence
    {
        std::optional<qint64> notBefore; // the log began no earlier
        std::optional<qint64> notAfter;  // its last row was logged no later
    };

    // A step back in the time of day of at most this is the clock set back.
    static constexpr int ClockSetBackSeconds = 3600;

    // The second of the day that a Time text of the log names: three numbers
    // for the hour, minute and second (any script's digits) with whatever the
    // locale puts around them, and a day-half marker ("PM", or the user
    // locale's) after a 12-hour time. Nothing for any other text.
    static std::optional<int> secondOfDay(QStringView timeText);
    // The same for the bytes of a cell; the plain form ("10:15:03") without
    // decoding. Nothing when the cell is not such a plain time.
    static std::optional<int> plainSecondOfDay(QByteArrayView cell);

    // Takes the time of the next row, or nothing when its text is no time.
    void addTime(std::optional<int> secondOfDay);
    bool hasTimes() const { return m_lastSecond >= 0; }
    // Midnights the times show between the first and the last row.
    int daysShown() const { return m_days; }

    // Fixes the dates with what is known; false when nothing is.
    bool resolve(const Evidence &evidence);
    QDate firstDate() const { return m_firstDate; }
    QDate lastDate() const { return m_firstDate.addDays(m_days + m_missingDays); }
    // Both ends were known and agreed with the times.
    bool datesCertain() const { return m_certain; }

    // Gives every row from `firstRow` on that has no moment yet one, from its
    // Time text and the evidence. Returns the rows dated.
    static int dateRows(LogTable &table, int firstRow, const Evidence &evidence, LogDating *dating = nullptr);

    // A moment of the local date and second of the day, in milliseconds
    // since 1970 UTC.
    static qint64 localMoment(QDate date, int secondOfDay);

private:
    qint64 m_timesAdded = 0; // rows taken, with or without a time
    int m_firstSecond = -1;
    int m_lastSecond = -1;
    int m_days = 0;
    int m_longestSilence = -1;
    qint64 m_afterSilence = 0; // the row that followed the longest silence
    QDate m_firstDate;
    int m_missingDays = 0;
    bool m_certain = false;
};
