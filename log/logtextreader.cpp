#include "log/logtextreader.h"

#include "log/logtable.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

bool separates(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

// A decimal integer within 32 bits, from the bytes of a cell.
std::optional<qint32> parseIntegerCell(QByteArrayView cell)
{
    if (cell.size() > 12)
        return std::nullopt;
    char16_t text[12];
    for (qsizetype i = 0; i < cell.size(); ++i)
        text[i] = char16_t(static_cast<unsigned char>(cell[i]));
    return LogTable::parseInteger(QStringView(text, cell.size()));
}

// Keeps the listeners' view in step at the end: rows are told only once
// the whole file was read, so that a failure can take them back unseen.
class BulkUpdate
{
public:
    explicit BulkUpdate(LogTable &table)
        : m_table(table)
    {
        m_table.beginBulk();
    }
    ~BulkUpdate() { m_table.endBulk(); }
    BulkUpdate(const BulkUpdate &) = delete;
    BulkUpdate &operator=(const BulkUpdate &) = delete;

private:
    LogTable &m_table;
};

// UTF-16 units that the UTF-8 bytes stand for: one per character, two for
// one beyond the BMP (a four-byte sequence).
qint64 utf16Units(QByteArrayView utf8)
{
    qint64 units = 0;
    for (char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        units += (u & 0xC0) != 0x80;
        units += u >= 0xF0;
    }
    return units;
}

} // namespace

LogTextReader::LogTextReader(LogTable &table)
    : m_table(table)
{ }

TableFileResult LogTextReader::failAt(const QString &what) const
{
    return TableFileResult::failed(QStringLiteral("line %1: %2").arg(m_lineNumber).arg(what));
}

TableFileResult LogTextReader::read(QIODevice &in)
{
    BulkUpdate bulk(m_table);
    const LogTable::Mark before = m_table.mark();
    TableFileResult result = readLines(in);
    if (!result) {
        m_table.rollBack(before);
        m_rowsAppended = 0;
    }
    return result;
}

qint64 LogTextReader::fileOffset(const QByteArray &buffer, qsizetype pos) const
{
    if (m_encoding == Encoding::Locale)
        return m_textOffset + pos;
    return m_textOffset + 2 * utf16Units(QByteArrayView(buffer).first(pos));
}

void LogTextReader::consume(const QByteArray &buffer, qsizetype count)
{
    m_textOffset = fileOffset(buffer, count);
}

qint64 LogTextReader::readText(QIODevice &in, QByteArray &buffer)
{
    // At most a chunk, and no more than the device still holds, so that a
    // small file costs little.
    const auto readInto = [&](QByteArray &bytes) -> qint64 {
        qint64 want = m_chunkSize;
        if (!in.isSequential())
            want = std::min(want, std::max<qint64>(in.bytesAvailable(), 1));
        const qsizetype had = bytes.size();
        bytes.resize(had + qsizetype(want));
        const qint64 n = in.read(bytes.data() + had, want);
        bytes.resize(had + qsizetype(std::max<qint64>(n, 0)));
        if (n < 0)
            m_readError = in.errorString();
        return n;
    };

    if (m_encoding == Encoding::Locale) {
        // The bytes that were looked at for a byte-order mark come first.
        const qsizetype had = buffer.size();
        qint64 n = m_raw.size();
        if (n > 0) {
            buffer.append(m_raw);
            m_raw.clear();
        } else if ((n = readInto(buffer)) <= 0) {
            return n;
        }
        // The text ends at a NUL: what follows is not read.
        if (const void *p = std::memchr(buffer.constData() + had, 0, std::size_t(n))) {
            const qsizetype nul = static_cast<const char *>(p) - buffer.constData();
            m_nulOffset = m_rawOffset + (nul - had);
            buffer.resize(nul);
            return 0;
        }
        m_rawOffset += n;
        return n;
    }

    const qint64 n = readInto(m_raw);
    if (n < 0)
        return n;
    if (n == 0 && m_raw.size() < 2)
        return 0;                                    // an odd byte at the end is no character
    qsizetype usable = m_raw.size() & ~qsizetype(1); // an odd byte waits for its other half
    const auto unitAt = [this](qsizetype i) {
        const auto first = static_cast<unsigned char>(m_raw[i]), second = static_cast<unsigned char>(m_raw[i + 1]);
        return char16_t(m_bigEndian ? first << 8 | second : second << 8 | first);
    };
    qsizetype nul = -1;
    for (qsizetype i = 0; i < usable; i += 2) {
        if (unitAt(i) == 0) {
            nul = usable = i;
            break;
        }
    }
    // A high surrogate waits for its low half, unless the file ends.
    if (nul < 0 && n > 0 && usable >= 2 && QChar::isHighSurrogate(unitAt(usable - 2)))
        usable -= 2;
    QString text(usable / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < usable; i += 2)
        text[i / 2] = QChar(unitAt(i));
    buffer.append(text.toUtf8());
    m_raw.remove(0, usable);
    m_rawOffset += usable;
    if (nul >= 0) {
        m_nulOffset = m_rawOffset;
        return 0;
    }
    return std::max<qint64>(usable, 1);
}

TableFileResult LogTextReader::readLines(QIODevice &in)
{
    m_lineNumber = 0;
    m_rowsAppended = 0;
    m_raw.clear();
    m_rawOffset = 0;
    m_textOffset = 0;
    m_nulOffset = -1;
    m_encoding = Encoding::Locale;
    m_codec = LocaleCodec();
    const qint64 total = in.isSequential() ? 0 : in.size();

    // A byte-order mark tells UTF-16 text from the locale's.
    while (m_raw.size() < 2) {
        char bytes[2];
        const qint64 n = in.read(bytes, 2 - m_raw.size());
        if (n < 0)
            return TableFileResult::failed(QStringLiteral("cannot read at byte 0: %1").arg(in.errorString()));
        if (n == 0)
            break;
        m_raw.append(bytes, qsizetype(n));
    }
    const bool littleEndian = m_raw.startsWith("\xFF\xFE");
    if (littleEndian || m_raw.startsWith("\xFE\xFF")) {
        m_encoding = Encoding::Utf16;
        m_bigEndian = !littleEndian;
        m_codec = LocaleCodec(QStringConverter::Utf8);
        m_raw.clear();
        m_rawOffset = m_textOffset = 2;
    }

    QByteArray buffer;
    qsizetype pos = 0;
    qsizetype scanned = 0; // where the search for the next line end goes on
    bool end = false;

    while (!end) {
        // Keep only the unfinished line, then read on.
        if (pos > 0) {
            consume(buffer, pos);
            buffer.remove(0, pos);
            scanned -= pos;
            pos = 0;
        }
        const qint64 n = readText(in, buffer);
        if (n < 0) {
            return TableFileResult::failed(
                QStringLiteral("cannot read at byte %1: %2").arg(m_rawOffset).arg(m_readError));
        }
        end = n == 0;

        const char *data = buffer.constData();
        const qsizetype size = buffer.size();
        for (;;) {
            // A line that spans many reads is searched once, not from its start every time.
            qsizetype stop = std::max(pos, scanned);
            while (stop < size && data[stop] != '\r' && data[stop] != '\n')
                ++stop;
            scanned = stop;
            if (stop - pos > MaxLineBytes) {
                return TableFileResult::failed(
                    QStringLiteral("line %1, byte %2: no line end within %3 bytes; this is no text table")
                        .arg(m_lineNumber + 1)
                        .arg(fileOffset(buffer, pos + MaxLineBytes))
                        .arg(MaxLineBytes));
            }
            if (stop == size) {
                if (end && m_nulOffset >= 0) {
                    return TableFileResult::failed(QStringLiteral("line %1, byte %2: a NUL byte; this is no text table")
                                                       .arg(m_lineNumber + 1)
                                                       .arg(m_nulOffset));
                }
                if (end && pos < size) {
                    ++m_lineNumber;
                    if (TableFileResult r = readLine(QByteArrayView(data + pos, size - pos)); !r)
                        return r;
                    pos = size;
                }
                break;
            }
            // A CR at the end of what was read may be the first half of CR LF.
            if (data[stop] == '\r' && stop + 1 == size && !end)
                break;
            ++m_lineNumber;
            if (TableFileResult r = readLine(QByteArrayView(data + pos, stop - pos)); !r)
                return r;
            pos = stop + 1;
            if (data[stop] == '\r' && pos < size && data[pos] == '\n')
                ++pos;
        }

        if (m_progress)
            m_progress(total > 0 ? std::min(1.0, double(fileOffset(buffer, pos)) / double(total)) : 0.0);
    }
    if (m_lineNumber == 0)
        return TableFileResult::failed(QStringLiteral("the file is empty"));
    return {};
}

TableFileResult LogTextReader::readLine(QByteArrayView line)
{
    if (m_lineNumber == 1)
        return {}; // the header, whatever it says

    const char *p = line.data();
    const char *const end = p + line.size();
    int count = 0;
    while (p < end && separates(*p))
        ++p;
    while (p < end) {
        if (count == MaxCells) {
            // Count the cells only as far as the first one too many.
            return failAt(QStringLiteral("cell %1 of %2").arg(count + 1).arg(MaxCells));
        }
        if (*p == '"') {
            QByteArray &cell = m_quoted[std::size_t(count)];
            cell.clear();
            ++p;
            for (;;) {
                const char *q = static_cast<const char *>(std::memchr(p, '"', std::size_t(end - p)));
                if (!q) { // no closing quote: the cell runs to the end of the line
                    cell.append(p, end - p);
                    p = end;
                    break;
                }
                cell.append(p, q - p);
                if (q + 1 < end && q[1] == '"') {
                    cell.append('"');
                    p = q + 2;
                } else {
                    p = q + 1;
                    break;
                }
            }
            m_cells[std::size_t(count)] = cell;
            m_cellQuoted[std::size_t(count)] = true;
        } else {
            const char *start = p;
            while (p < end && !separates(*p))
                ++p;
            m_cells[std::size_t(count)] = QByteArrayView(start, p - start);
            m_cellQuoted[std::size_t(count)] = false;
        }
        ++count;
        while (p < end && separates(*p))
            ++p;
    }
    if (count == 0)
        return {};

    if (!m_table.append())
        return failAt(QStringLiteral("the table is full"));
    for (int i = 0; i < count; ++i) {
        const QByteArrayView cell = m_cells[std::size_t(i)];
        // The writer's placeholder for an empty cell; a text "NULL" is
        // written in quotes.
        const bool placeholder = !m_cellQuoted[std::size_t(i)] && cell == "NULL";
        if (LogTable::fieldType(i) == LogFieldType::Integer) {
            // An empty quoted cell stands for a field without a value.
            if (cell.isEmpty() || placeholder) {
                m_table.setNull(i);
                continue;
            }
            const std::optional<qint32> value = parseIntegerCell(cell);
            if (!value) {
                m_table.cancel();
                m_text.resize(0); // keeps the buffer for the next cell
                m_codec.appendDecoded(m_text, cell.first(std::min<qsizetype>(cell.size(), 40)));
                return failAt(QStringLiteral("cell %1 \"%2\" is no whole number for %3")
                                  .arg(i + 1)
                                  .arg(m_text, QLatin1String(LogTable::fields()[std::size_t(i)].name)));
            }
            m_table.setInteger(i, *value);
        } else if (placeholder) {
            m_table.setText(i, QStringView(u""));
        } else {
            m_text.resize(0); // keeps the buffer for the next cell
            m_codec.appendDecoded(m_text, cell);
            m_table.setText(i, m_text);
        }
    }
    m_table.post();
    ++m_rowsAppended;
    return {};
}
