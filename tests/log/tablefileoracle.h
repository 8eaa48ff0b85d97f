#pragma once

// What must hold for any input of the table file readers, checked by the
// fuzzers and by the test that replays the inputs they once failed on. Each
// check returns an empty text when all is well, else what went wrong.

#include "log/logtable.h"
#include "log/logtextreader.h"
#include "log/logtextwriter.h"
#include "log/logxmlreader.h"
#include "log/logxmlwriter.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>

namespace tablefileoracle {

template<typename Reader>
inline TableFileResult readInto(LogTable &table, const QByteArray &bytes, qint64 chunkSize)
{
    QBuffer in;
    in.setData(bytes);
    in.open(QIODevice::ReadOnly);
    Reader reader(table);
    reader.setChunkSize(chunkSize);
    return reader.read(in);
}

template<typename Writer>
inline QByteArray written(const LogTable &table)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    Writer writer(table);
    if (!writer.write(out))
        return QByteArrayLiteral("(write failed)");
    return out.data();
}

inline QString describe(const TableFileResult &r)
{
    return r ? QStringLiteral("ok") : QStringLiteral("failed: ") + r.reason;
}

// A table that holds one row already, as the log does when a file is opened
// into it: a failed open must leave it so.
inline void putRowBefore(LogTable &table)
{
    table.append();
    table.setInteger(int(LogField::No), 1);
    table.setText(int(LogField::Time), u"09:00:00");
    table.setText(int(LogField::Value), u"1.000");
    table.post();
}

// `input` as UTF-16 LE with a byte-order mark, when it is UTF-8 text that
// such a file can hold (no NUL); empty otherwise.
inline QByteArray asUtf16(const QByteArray &input)
{
    const QString text = QString::fromUtf8(input);
    if (input.contains('\0') || text.toUtf8() != input)
        return {};
    QByteArray bytes("\xFF\xFE");
    for (QChar c : text) {
        bytes += char(c.unicode() & 0xFF);
        bytes += char(c.unicode() >> 8);
    }
    return bytes;
}

// The text reader: the outcome does not depend on how the input arrives, a
// failure leaves the table exactly as it was, UTF-16 text reads as the same
// text does in UTF-8, and whatever was read saves and opens again to the
// same file.
inline QString checkTextReader(const QByteArray &input)
{
    LogTable whole;
    putRowBefore(whole);
    const QByteArray before = written<LogTextWriter>(whole);
    const TableFileResult first = readInto<LogTextReader>(whole, input, 1 << 20);
    if (whole.isEditing())
        return QStringLiteral("a row was left open");
    const QByteArray saved = written<LogTextWriter>(whole);
    if (!first && saved != before)
        return QStringLiteral("a failed open (%1) changed the table").arg(first.reason);

    LogTable pieces;
    putRowBefore(pieces);
    const qint64 chunk = input.isEmpty() ? 1 : 1 + static_cast<unsigned char>(input[0]) % 13;
    const TableFileResult second = readInto<LogTextReader>(pieces, input, chunk);
    if (describe(first) != describe(second) || saved != written<LogTextWriter>(pieces))
        return QStringLiteral("read in pieces of %1 bytes: %2, whole: %3").arg(chunk).arg(describe(second), describe(first));

    if (const QByteArray utf16 = asUtf16(input); !utf16.isEmpty()) {
        LogTable unicode;
        putRowBefore(unicode);
        const TableFileResult third = readInto<LogTextReader>(unicode, utf16, chunk);
        if (bool(third) != bool(first) || written<LogTextWriter>(unicode) != saved)
            return QStringLiteral("as UTF-16: %1, as UTF-8: %2").arg(describe(third), describe(first));
    }

    LogTable again;
    const TableFileResult reopened = readInto<LogTextReader>(again, saved, 1 << 20);
    if (!reopened)
        return QStringLiteral("a written file does not open: ") + reopened.reason;
    if (again.rowCount() != whole.rowCount())
        return QStringLiteral("%1 rows written, %2 read back").arg(whole.rowCount()).arg(again.rowCount());
    if (written<LogTextWriter>(again) != saved)
        return QStringLiteral("a written file opens to other cells");
    return {};
}

// The XML reader: the outcome does not depend on how the input arrives, a
// failure leaves the table exactly as it was, and whatever was read saves
// and opens again unchanged.
inline QString checkXmlReader(const QByteArray &input)
{
    LogTable whole;
    putRowBefore(whole);
    const QByteArray before = written<LogXmlWriter>(whole);
    const TableFileResult first = readInto<LogXmlReader>(whole, input, 1 << 20);
    if (whole.isEditing())
        return QStringLiteral("a row was left open");
    const QByteArray saved = written<LogXmlWriter>(whole);
    if (!first && saved != before)
        return QStringLiteral("a failed open (%1) changed the table").arg(first.reason);
    LogTable pieces;
    const qint64 chunk = input.isEmpty() ? 1 : 1 + static_cast<unsigned char>(input[0]) % 13;
    const TableFileResult second = readInto<LogXmlReader>(pieces, input, chunk);
    if (describe(first) != describe(second) || (first && saved != written<LogXmlWriter>(pieces)))
        return QStringLiteral("read in pieces of %1 bytes: %2, whole: %3").arg(chunk).arg(describe(second), describe(first));
    if (!first)
        return {};

    LogTable again;
    const TableFileResult reopened = readInto<LogXmlReader>(again, saved, 1 << 20);
    if (!reopened)
        return QStringLiteral("a written packet does not open: ") + reopened.reason;
    if (written<LogXmlWriter>(again) != saved)
        return QStringLiteral("a written packet opens to other rows");
    return {};
}

} // namespace tablefileoracle
