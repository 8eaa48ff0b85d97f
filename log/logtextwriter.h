#pragma once

#include "log/localecodec.h"
#include "log/tablefiles.h"

#include <QByteArray>

class LogTable;
class QIODevice;

// Writes the table as tab-separated text for spreadsheets: a header line,
// then one line per row with the six cells No, Time, DC/AC, Value, Unit and
// AUTO (NVal is not written), every line ending in CR LF.
//
// A cell is the field's text without leading and trailing blanks and control
// characters, "NULL" when nothing remains. Because the reader splits cells at
// every character from 1 to 32, a cell that holds one of them or a double
// quote is written in double quotes (inner quotes doubled), and a missing No
// as "" - so that every file written here opens again with each cell in its
// column. The text "NULL" itself is quoted, so that only the placeholder
// reads back as an empty cell. A line break inside a text is written as a blank and a NUL is left
// out: the reader ends a line, or the whole text, at them.
class LogTextWriter
{
public:
    explicit LogTextWriter(const LogTable &table);

    void setProgress(TableFileProgress progress) { m_progress = std::move(progress); }
    // Writes the rows that the table holds when the call starts.
    TableFileResult write(QIODevice &out);

    // One cell as the file holds it, in the locale's encoding.
    void appendCell(QByteArray &line, QStringView text);
    // The header line, and one row's line, each with its CR LF.
    static void appendHeader(QByteArray &out);
    void appendRow(QByteArray &out, int row);

private:
    const LogTable &m_table;
    TableFileProgress m_progress;
    LocaleCodec m_codec;
};
