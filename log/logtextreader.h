#pragma once

#include "log/localecodec.h"
#include "log/tablefiles.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>

class LogTable;
class QIODevice;

// Reads tab-separated text into the table, appending a row per data line.
//
// Lines end at CR, LF or CR LF. The first line is dropped whatever it holds.
// Characters 1 to 32 separate cells, a run of them counting as one; a cell
// that begins with a double quote runs to the next lone double quote (""
// stands for one quote inside it) and may hold separators. An unquoted cell
// "NULL" is the writer's placeholder for an empty cell and is read as one.
// Cells fill the fields by position, No, Time, DC/AC, Value, Unit, Auto,
// NVal; a line without cells is skipped.
//
// The text is in the locale's encoding, or UTF-16 when it starts with a
// byte-order mark (a spreadsheet's "Unicode text").
//
// A read is all or nothing: an empty file, a NUL byte, a line longer than
// MaxLineBytes (what is not a text table), a line with more than seven
// cells, or a cell that is no whole number where No or NVal is stored fails
// the read and leaves the table as it was.
class LogTextReader
{
public:
    // Far more than a line of the log takes (seven cells of 20 characters);
    // a longer line means the file holds no table, and reading it whole
    // would only cost memory.
    static constexpr qsizetype MaxLineBytes = 1 << 16;

    explicit LogTextReader(LogTable &table);

    void setProgress(TableFileProgress progress) { m_progress = std::move(progress); }
    // Bytes read from the device at a time.
    void setChunkSize(qint64 bytes) { m_chunkSize = bytes > 0 ? bytes : 1; }

    TableFileResult read(QIODevice &in);

    int rowsAppended() const { return m_rowsAppended; }

private:
    static constexpr int MaxCells = 7;

    TableFileResult readLines(QIODevice &in);
    // Reads the next piece of the file onto the end of `buffer` as 8-bit
    // text; 0 at the end of the file, -1 on a read error (in `m_readError`).
    qint64 readText(QIODevice &in, QByteArray &buffer);
    // Where in the file the byte at `pos` of the text buffer came from.
    qint64 fileOffset(const QByteArray &buffer, qsizetype pos) const;
    // The first `count` bytes of the text buffer were used up.
    void consume(const QByteArray &buffer, qsizetype count);
    TableFileResult readLine(QByteArrayView line);
    TableFileResult failAt(const QString &what) const;

    LogTable &m_table;
    TableFileProgress m_progress;
    qint64 m_chunkSize = 1 << 20;
    LocaleCodec m_codec;
    qint64 m_lineNumber = 0;
    int m_rowsAppended = 0;

    // UTF-16 files are turned into UTF-8 as they are read.
    enum class Encoding { Locale, Utf16 };
    Encoding m_encoding = Encoding::Locale;
    bool m_bigEndian = false;
    QByteArray m_raw;        // bytes of the file not turned into text yet
    qint64 m_rawOffset = 0;  // file offset of the first byte of m_raw
    qint64 m_textOffset = 0; // file offset of the first byte of the text buffer
    qint64 m_nulOffset = -1; // file offset of the first NUL, once seen
    QString m_readError;

    // The cells of the current line; quoted ones are unquoted into m_quoted.
    std::array<QByteArrayView, MaxCells> m_cells;
    std::array<bool, MaxCells> m_cellQuoted{};
    std::array<QByteArray, MaxCells> m_quoted;
    QString m_text;
};
