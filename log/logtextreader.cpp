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

// Keeps the listeners' view in step at every progress report and at the end.
class BulkUpdate
{
public:
    explicit BulkUpdate(LogTable &table) : m_table(table) { m_table.beginBulk(); }
    ~BulkUpdate() { m_table.endBulk(); }
    BulkUpdate(const BulkUpdate &) = delete;
    BulkUpdate &operator=(const BulkUpdate &) = delete;

private:
    LogTable &m_table;
};

} // namespace

LogTextReader::LogTextReader(LogTable &table)
    : m_table(table)
{
}

TableFileResult LogTextReader::failAt(const QString &what) const
{
    return TableFileResult::failed(QStringLiteral("line %1: %2").arg(m_lineNumber).arg(what));
}

TableFileResult LogTextReader::read(QIODevice &in)
{
    BulkUpdate bulk(m_table);
    m_lineNumber = 0;
    m_rowsAppended = 0;
    const qint64 total = in.isSequential() ? 0 : in.size();
    qint64 consumedBefore = 0; // bytes dropped from the front of `buffer`
    QByteArray buffer;
    qsizetype pos = 0;
    qsizetype scanned = 0; // where the search for the next line end goes on
    bool end = false;

    while (!end) {
        // Keep only the unfinished line, then read on.
        if (pos > 0) {
            buffer.remove(0, pos);
            consumedBefore += pos;
            scanned -= pos;
            pos = 0;
        }
        const qsizetype had = buffer.size();
        buffer.resize(had + qsizetype(m_chunkSize));
        const qint64 n = in.read(buffer.data() + had, m_chunkSize);
        if (n < 0)
            return TableFileResult::failed(QStringLiteral("read error: %1").arg(in.errorString()));
        buffer.resize(had + qsizetype(n));
        if (n == 0)
            end = true;
        // A NUL ends the text.
        if (const void *nul = std::memchr(buffer.constData() + had, 0, std::size_t(n))) {
            buffer.resize(static_cast<const char *>(nul) - buffer.constData());
            end = true;
        }

        const char *data = buffer.constData();
        const qsizetype size = buffer.size();
        for (;;) {
            // A line that spans many reads is searched once, not from its start every time.
            qsizetype stop = std::max(pos, scanned);
            while (stop < size && data[stop] != '\r' && data[stop] != '\n')
                ++stop;
            scanned = stop;
            if (stop == size) {
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

        m_table.announce();
        if (m_progress)
            m_progress(total > 0 ? std::min(1.0, double(consumedBefore + pos) / double(total)) : 0.0);
    }
    if (m_lineNumber == 0)
        return TableFileResult::failed(QStringLiteral("the file holds no line"));
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
        } else {
            const char *start = p;
            while (p < end && !separates(*p))
                ++p;
            m_cells[std::size_t(count)] = QByteArrayView(start, p - start);
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
        if (LogTable::fieldType(i) == LogFieldType::Integer) {
            // An empty quoted cell stands for a field without a value.
            if (cell.isEmpty()) {
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
