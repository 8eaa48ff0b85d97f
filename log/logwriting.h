#pragma once

#include "log/logtable.h"
#include "log/tablefiles.h"

#include <QByteArray>
#include <QIODevice>
#include <QtGlobal>

#include <algorithm>

#include <charconv>

// What the two table-file writers share: they build the file in a buffer that
// goes to the device in pieces of FlushSize, and report progress every
// RowsPerProgress rows.
namespace LogWriting {

inline constexpr qsizetype FlushSize = 1 << 20;
inline constexpr int RowsPerProgress = 1 << 14;

// Room for the whole file of a short table, a flush's worth for a long one.
inline qsizetype bufferSizeFor(int rows)
{
    return std::min<qsizetype>(FlushSize + 4096, 4096 + qsizetype(rows) * 96);
}

// Writes all of `bytes`. A file system that fills up, or a file size limit,
// takes the first part of a write and refuses only the next one, with its
// reason: a short write is tried again, so that errorString() says why.
inline bool writeAll(QIODevice &out, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const qint64 n = out.write(bytes.data(), bytes.size());
        if (n <= 0)
            return false;
        bytes = bytes.sliced(n);
    }
    return true;
}

// A write that failed, in the system's words ("No space left on device");
// Qt's "Unknown error" says nothing and gives way to `otherwise`.
inline TableFileResult writeFailed(const QIODevice &out, const char *otherwise = "the file cannot be written")
{
    const QString reason = out.errorString();
    if (reason.isEmpty() || reason == QLatin1String("Unknown error"))
        return TableFileResult::failed(QLatin1String(otherwise));
    return TableFileResult::failed(reason);
}

// A header and every row of `table`, built by the writer's
// `appendHeader(buffer)` and `appendRow(buffer, row)`, written in pieces of
// FlushSize with progress every RowsPerProgress rows. A table emptied while
// it is written (progress runs the event loop) ends the write.
template <typename AppendHeader, typename AppendRow>
TableFileResult writeRows(QIODevice &out, const LogTable &table, const TableFileProgress &progress,
                          AppendHeader appendHeader, AppendRow appendRow)
{
    const int rows = table.rowCount();
    const std::uint64_t generation = table.generation();

    QByteArray buffer;
    buffer.reserve(bufferSizeFor(rows));
    appendHeader(buffer);
    for (int row = 0; row < rows; ++row) {
        appendRow(buffer, row);
        if (buffer.size() >= FlushSize) {
            if (!writeAll(out, buffer))
                return writeFailed(out);
            buffer.clear();
        }
        if (progress && (row + 1) % RowsPerProgress == 0) {
            progress(double(row + 1) / rows);
            if (table.generation() != generation)
                return TableFileResult::failed(QStringLiteral("the table was emptied while it was being saved"));
        }
    }
    if (!writeAll(out, buffer))
        return writeFailed(out);
    if (progress)
        progress(1.0);
    return {};
}

inline void appendDecimal(QByteArray &out, qint64 value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

} // namespace LogWriting
