#pragma once

#include "log/localtimestamp.h"
#include "log/tablefiles.h"

#include <QByteArray>
#include <QStringView>
#include <QtGlobal>

#include <optional>

class LogTable;
class QIODevice;

// Writes the log as comma-separated values for other programs (RFC 4180):
// UTF-8, a header line, one line per row, CR LF after every line, a cell in
// double quotes (inner quotes doubled) when it holds a comma, a quote or a
// line break. Columns:
//
//   timestamp   when the row was logged, local time with the zone's offset
//               (ISO 8601, "2024-05-01T22:15:03.250+02:00"); empty when the
//               row's date is not known
//   seconds     seconds since the first row that has a timestamp
//   value       the displayed number in its unit, with a point ("-1.234");
//               empty when the display was no number (over range)
//   unit        with its symbols: "kΩ", "µA", "°C"
//   function    "DC", "AC", "OHM", …
//   judgement   "pass" or "Fail"
//   frame       the row's number (No)
//
// A text cell that begins with "=", "+", "-" or "@" would be taken for a
// formula by spreadsheets: such a text (only a file's, never the meter's)
// is written after an apostrophe.
class LogCsvWriter
{
public:
    explicit LogCsvWriter(const LogTable &table);

    void setProgress(TableFileProgress progress) { m_progress = std::move(progress); }
    // Writes the rows that the table holds when the call starts.
    TableFileResult write(QIODevice &out);

    static void appendHeader(QByteArray &out);
    // A moment as the timestamp column writes it, in the local time zone.
    static void appendTimestamp(QByteArray &out, qint64 utcMilliseconds);

private:
    void appendRow(QByteArray &out, int row);
    static void appendText(QByteArray &out, QStringView text);

    const LogTable &m_table;
    TableFileProgress m_progress;
    std::optional<qint64> m_origin; // the first row's moment
    LocalTimestamp m_timestamp;
};
