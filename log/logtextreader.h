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
// Lines end at CR, LF or CR LF, and a NUL byte ends the text. The first line
// is dropped whatever it holds; a file without any line fails. Characters 1
// to 32 separate cells, a run of them counting as one; a cell that begins
// with a double quote runs to the next lone double quote ("" stands for one
// quote inside it) and may hold separators. Cells fill the fields by
// position, No, Time, DC/AC, Value, Unit, Auto, NVal; a line without cells is
// skipped. A line with more than seven cells, or a cell that is no whole
// number where No or NVal is stored, fails the read: the rows before it stay,
// the line's own row is dropped.
class LogTextReader
{
public:
    explicit LogTextReader(LogTable &table);

    void setProgress(TableFileProgress progress) { m_progress = std::move(progress); }
    // Bytes read from the device at a time.
    void setChunkSize(qint64 bytes) { m_chunkSize = bytes > 0 ? bytes : 1; }

    TableFileResult read(QIODevice &in);

    int rowsAppended() const { return m_rowsAppended; }

private:
    static constexpr int MaxCells = 7;

    TableFileResult readLine(QByteArrayView line);
    TableFileResult failAt(const QString &what) const;

    LogTable &m_table;
    TableFileProgress m_progress;
    qint64 m_chunkSize = 1 << 20;
    LocaleCodec m_codec;
    qint64 m_lineNumber = 0;
    int m_rowsAppended = 0;

    // The cells of the current line; quoted ones are unquoted into m_quoted.
    std::array<QByteArrayView, MaxCells> m_cells;
    std::array<QByteArray, MaxCells> m_quoted;
    QString m_text;
};
