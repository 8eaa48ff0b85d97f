#pragma once

#include <QString>

#include <functional>

class LogTable;

// The two forms of a table file. A name whose extension (from its last dot
// on, after the last folder separator) is exactly ".xml" holds an XML data
// packet; every other name holds tab-separated text.
enum class TableFileFormat { Text, Xml };
TableFileFormat tableFileFormat(const QString &fileName);

// Told how far a long save or open has come (0 to 1), now and then, so that
// the window can show it and keep painting. The table may take newly logged
// rows meanwhile: a save writes the rows present when it started, an open
// keeps appending after whatever is there.
using TableFileProgress = std::function<void(double fraction)>;

// The outcome of a save or open. `reason` says what went wrong, with its
// place ("line 12: cell 8 of 7"), for the tools and the tests; the window
// shows its own messages.
struct TableFileResult
{
    bool ok = true;
    QString reason;

    explicit operator bool() const { return ok; }
    static TableFileResult failed(QString why) { return {false, std::move(why)}; }
};

// The program's messages about table files.
inline constexpr char LoadFailedMessage[] = "Failed to Load File!";
QString saveSucceededMessage(const QString &fileName);
QString textSaveFailedMessage(const QString &fileName);

// Saves in the form that the name chooses. Either form is written to a
// temporary file beside the target, which replaces the target only once
// everything was written: a failed save leaves an existing file as it was.
TableFileResult saveTableFile(LogTable &table, const QString &fileName,
                              const TableFileProgress &progress = {});
// The text form. Afterwards the table's current row is its last row.
TableFileResult saveTableText(LogTable &table, const QString &fileName,
                              const TableFileProgress &progress = {});
TableFileResult saveTableXml(const LogTable &table, const QString &fileName,
                             const TableFileProgress &progress = {});

// The log as comma-separated values for other programs (LogCsvWriter),
// replacing the file only once it was written completely, as the table files
// are.
TableFileResult saveTableCsv(const LogTable &table, const QString &fileName,
                             const TableFileProgress &progress = {});

// Opens a table file in the form that the name chooses. Text appends its
// rows (those before a failing line stay); XML replaces the table's content
// (a failure before the old rows were discarded leaves them, a later one
// leaves the table empty). The file keeps only the times of day: the rows
// it gave get their dates from the file's modification time (LogDating).
TableFileResult loadTableFile(const QString &fileName, LogTable &table,
                              const TableFileProgress &progress = {});
