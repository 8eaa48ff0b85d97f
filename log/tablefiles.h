#pragma once

#include <QString>

#include <functional>

class LogTable;
class QIODevice;

// The two forms of a table file. A name whose extension (from its last dot
// on, after the last folder separator) is exactly ".xml" holds an XML data
// packet; every other name holds tab-separated text.
enum class TableFileFormat { Text, Xml, Csv };
TableFileFormat tableFileFormat(const QString &fileName);

// Told how far a long save or open has come (0 to 1), now and then, so that
// the window can show it and keep painting. The table may take newly logged
// rows meanwhile: a save writes the rows present when it started, an open
// keeps appending after whatever is there.
using TableFileProgress = std::function<void(double fraction)>;

// The outcome of a save or open. `reason` says what went wrong, with its
// place ("line 12: cell 8 of 7") or the system's words ("No space left on
// device"); it does not name the file, which the caller does, after the
// program's own message.
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
// What the user is told of a failed save or open: the program's message,
// the file and the reason.
QString saveFailedMessage(const QString &fileName, const TableFileResult &result);
QString loadFailedMessage(const QString &fileName, const TableFileResult &result);

// Saves in the form that the name chooses. Either form is written to a
// temporary file beside the target, which replaces the target only once
// everything was written: a failed save leaves an existing file as it was.
TableFileResult saveTableFile(LogTable &table, const QString &fileName, const TableFileProgress &progress = {});
// The text form. Afterwards the table's current row is its last row.
TableFileResult saveTableText(LogTable &table, const QString &fileName, const TableFileProgress &progress = {});
TableFileResult saveTableXml(LogTable &table, const QString &fileName, const TableFileProgress &progress = {});

// The log as comma-separated values for other programs (LogCsvWriter),
// replacing the file only once it was written completely, as the table files
// are. Never read back.
TableFileResult saveTableCsv(LogTable &table, const QString &fileName, const TableFileProgress &progress = {});

// What an open does with the rows the table holds. A text file adds its
// rows after them unless told to replace them; an XML file always replaces
// them.
enum class TableOpenMode { Append, Replace };

// Opens a table file in the form that the name chooses. An open is all or
// nothing: on any failure the table is as it was. The file keeps only the
// times of day: the rows it gave get their dates from the file's
// modification time (LogDating).
TableFileResult loadTableFile(const QString &fileName, LogTable &table, TableOpenMode mode = TableOpenMode::Append,
                              const TableFileProgress &progress = {});
// The device forms of the above, for a file opened elsewhere (a test that
// writes to /dev/full): the same writers and readers, the same reasons.
TableFileResult writeTableFile(LogTable &table, TableFileFormat format, QIODevice &out,
                               const TableFileProgress &progress = {});
TableFileResult readTableFile(QIODevice &in, TableFileFormat format, LogTable &table,
                              TableOpenMode mode = TableOpenMode::Append, const TableFileProgress &progress = {});
