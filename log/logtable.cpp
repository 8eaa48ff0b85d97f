#include "log/logtable.h"

#include <algorithm>
#include <limits>
#include <memory>

namespace {

const std::array<LogFieldDef, LogFieldCount> FieldDefs{{
    {"No", LogFieldType::Integer, 0},
    {"Time", LogFieldType::Text, LogTable::TextSize},
    {"DC/AC", LogFieldType::Text, LogTable::TextSize},
    {"Value", LogFieldType::Text, LogTable::TextSize},
    {"Unit", LogFieldType::Text, LogTable::TextSize},
    {"Auto", LogFieldType::Text, LogTable::TextSize},
    {"NVal", LogFieldType::Integer, 0},
}};

} // namespace

const std::array<LogFieldDef, LogFieldCount> &LogTable::fields()
{
    return FieldDefs;
}

int LogTable::fieldIndex(QStringView name)
{
    for (int i = 0; i < LogFieldCount; ++i) {
        if (name.compare(QLatin1String(FieldDefs[std::size_t(i)].name), Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QStringView LogTable::cutText(QStringView text)
{
    if (text.size() <= TextSize)
        return text;
    qsizetype n = TextSize;
    if (text[n - 1].isHighSurrogate() && text[n].isLowSurrogate())
        --n;
    return text.first(n);
}

std::optional<qint32> LogTable::parseInteger(QStringView text)
{
    qsizetype i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    qint64 value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c - u'0');
        if (value > qint64(std::numeric_limits<qint32>::max()) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<qint32>::max() || value < std::numeric_limits<qint32>::min())
        return std::nullopt;
    return qint32(value);
}

LogTable::LogTable() = default;
LogTable::~LogTable() = default;

bool LogTable::hasValue(int row, int field) const
{
    Q_ASSERT(row >= 0 && row < m_rowCount);
    if (fieldType(field) == LogFieldType::Integer)
        return flagsOf(row) & integerFlag(field);
    return rowData(row).text[textSlot(field)] != TextPool::NoText;
}

std::optional<qint32> LogTable::integer(int row, int field) const
{
    Q_ASSERT(row >= 0 && row < m_rowCount && fieldType(field) == LogFieldType::Integer);
    if (!(flagsOf(row) & integerFlag(field)))
        return std::nullopt;
    const RowData &r = rowData(row);
    return field == int(LogField::No) ? r.no : r.nval;
}

QStringView LogTable::text(int row, int field) const
{
    Q_ASSERT(row >= 0 && row < m_rowCount && fieldType(field) == LogFieldType::Text);
    return m_texts.view(rowData(row).text[textSlot(field)]);
}

QString LogTable::displayText(int row, int field) const
{
    if (fieldType(field) == LogFieldType::Text)
        return text(row, field).toString();
    const std::optional<qint32> value = integer(row, field);
    return value ? QString::number(*value) : QString();
}

std::optional<qint64> LogTable::loggedAt(int row) const
{
    Q_ASSERT(row >= 0 && row < m_rowCount);
    const RowBits bits = flagsOf(row);
    if (!(bits & LoggedAtFlag))
        return std::nullopt;
    return qint64(rowData(row).loggedSecond) * 1000 + (bits >> MillisecondShift);
}

bool LogTable::splitMoment(qint64 utcMilliseconds, std::uint32_t &second, RowBits &milliseconds)
{
    if (utcMilliseconds < 0 || utcMilliseconds / 1000 > qint64(std::numeric_limits<std::uint32_t>::max()))
        return false;
    second = std::uint32_t(utcMilliseconds / 1000);
    milliseconds = RowBits(utcMilliseconds % 1000);
    return true;
}

void LogTable::setLoggedAt(qint64 utcMilliseconds)
{
    Q_ASSERT(m_editing);
    RowBits milliseconds = 0;
    m_editFlags &= RowBits(FlagMask & ~LoggedAtFlag);
    if (splitMoment(utcMilliseconds, m_edit.loggedSecond, milliseconds))
        m_editFlags |= RowBits(LoggedAtFlag | milliseconds << MillisecondShift);
}

void LogTable::setLoggedAt(int row, qint64 utcMilliseconds)
{
    Q_ASSERT(row >= 0 && row < m_rowCount);
    Block &b = m_blocks[std::size_t(row) >> BlockShift];
    const int offset = row & (BlockRows - 1);
    RowBits &bits = b.flags[offset];
    RowBits milliseconds = 0;
    bits &= RowBits(FlagMask & ~LoggedAtFlag);
    if (splitMoment(utcMilliseconds, b.rows[offset].loggedSecond, milliseconds))
        bits |= RowBits(LoggedAtFlag | milliseconds << MillisecondShift);
}

void LogTable::setCurrentRow(int row)
{
    if (m_rowCount == 0)
        row = -1;
    else
        row = std::clamp(row, 0, m_rowCount - 1);
    if (row == m_currentRow)
        return;
    m_currentRow = row;
    if (m_bulkDepth == 0)
        notifyCurrentRow();
}

bool LogTable::append()
{
    if (m_editing)
        post();
    if (m_rowCount >= MaxRows)
        return false;
    m_edit = RowData{};
    m_editFlags = 0;
    m_editing = true;
    return true;
}

void LogTable::setText(int field, QStringView text)
{
    Q_ASSERT(m_editing && fieldType(field) == LogFieldType::Text);
    m_edit.text[textSlot(field)] = m_texts.intern(cutText(text));
}

void LogTable::setInteger(int field, qint32 value)
{
    Q_ASSERT(m_editing && fieldType(field) == LogFieldType::Integer);
    (field == int(LogField::No) ? m_edit.no : m_edit.nval) = value;
    m_editFlags |= integerFlag(field);
}

void LogTable::setNull(int field)
{
    Q_ASSERT(m_editing);
    if (fieldType(field) == LogFieldType::Text)
        m_edit.text[textSlot(field)] = TextPool::NoText;
    else
        m_editFlags &= RowBits(~integerFlag(field));
}

bool LogTable::setText(QStringView fieldName, QStringView text)
{
    const int field = fieldIndex(fieldName);
    if (field < 0)
        return false;
    return setFieldText(field, text);
}

bool LogTable::setInteger(QStringView fieldName, qint32 value)
{
    const int field = fieldIndex(fieldName);
    if (field < 0 || fieldType(field) != LogFieldType::Integer)
        return false;
    setInteger(field, value);
    return true;
}

bool LogTable::setFieldText(int field, QStringView text)
{
    if (fieldType(field) == LogFieldType::Text) {
        setText(field, text);
        return true;
    }
    if (text.isEmpty()) {
        setNull(field);
        return true;
    }
    const std::optional<qint32> value = parseInteger(text);
    if (!value)
        return false;
    setInteger(field, *value);
    return true;
}

void LogTable::post(bool markPendingInsert)
{
    Q_ASSERT(m_editing);
    if (!m_editing)
        return;
    m_editing = false;
    const int row = m_rowCount;
    Block &b = blockFor(row);
    b.rows[row & (BlockRows - 1)] = m_edit;
    b.flags[row & (BlockRows - 1)] = RowBits(m_editFlags | (markPendingInsert ? PendingInsertFlag : 0));
    if (markPendingInsert)
        ++m_pendingInserts;
    ++m_rowCount;
    m_currentRow = row;
    if (m_bulkDepth == 0)
        announce();
}

LogTable::Block &LogTable::blockFor(int row)
{
    const std::size_t index = std::size_t(row) >> BlockShift;
    const int offset = row & (BlockRows - 1);
    if (index == m_blocks.size()) {
        // Rows are written as they arrive, so a new block's pages become
        // resident one by one.
        const int capacity = index == 0 ? FirstBlockRows : BlockRows;
        m_blocks.push_back(Block{std::make_unique_for_overwrite<RowData[]>(std::size_t(capacity)),
                                 std::make_unique_for_overwrite<RowBits[]>(std::size_t(capacity)), capacity});
    }
    Block &b = m_blocks[index];
    if (offset == b.capacity) { // only the first block grows
        const int capacity = std::min(b.capacity * 4, BlockRows);
        auto rows = std::make_unique_for_overwrite<RowData[]>(std::size_t(capacity));
        auto flags = std::make_unique_for_overwrite<RowBits[]>(std::size_t(capacity));
        std::copy_n(b.rows.get(), offset, rows.get());
        std::copy_n(b.flags.get(), offset, flags.get());
        b = Block{std::move(rows), std::move(flags), capacity};
    }
    return b;
}

void LogTable::cancel()
{
    m_editing = false;
}

void LogTable::clear()
{
    m_editing = false;
    for (LogTableListener *l : m_listeners)
        l->tableAboutToBeEmptied();
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_texts.clear();
    m_rowCount = 0;
    m_currentRow = -1;
    m_pendingInserts = 0;
    m_announcedRows = 0;
    ++m_generation;
    for (LogTableListener *l : m_listeners)
        l->tableEmptied();
    notifyCurrentRow();
}

LogTable::Mark LogTable::mark() const
{
    return Mark{m_rowCount, m_currentRow, m_pendingInserts, m_texts.count()};
}

void LogTable::rollBack(const Mark &mark)
{
    Q_ASSERT(mark.rows <= m_rowCount && m_announcedRows <= mark.rows);
    m_editing = false;
    if (mark.rows >= m_rowCount)
        return;
    m_rowCount = mark.rows;
    // Blocks that hold none of the remaining rows go.
    m_blocks.resize((std::size_t(m_rowCount) + BlockRows - 1) >> BlockShift);
    m_texts.truncate(mark.texts);
    m_currentRow = mark.currentRow;
    m_pendingInserts = mark.pendingInserts;
    ++m_generation;
}

void LogTable::replaceWith(LogTable &other)
{
    Q_ASSERT(!other.m_editing && other.m_bulkDepth == 0);
    m_editing = false;
    for (LogTableListener *l : m_listeners)
        l->tableAboutToBeEmptied();
    std::swap(m_blocks, other.m_blocks);
    m_texts.swap(other.m_texts);
    std::swap(m_rowCount, other.m_rowCount);
    std::swap(m_currentRow, other.m_currentRow);
    std::swap(m_pendingInserts, other.m_pendingInserts);
    ++m_generation;
    ++other.m_generation;
    other.m_announcedRows = other.m_rowCount;
    other.m_announcedCurrent = other.m_currentRow;
    m_announcedRows = 0;
    m_announcedCurrent = -1; // the listeners' current row went with their rows
    for (LogTableListener *l : m_listeners)
        l->tableEmptied();
    if (m_bulkDepth == 0)
        announce();
}

void LogTable::beginBulk()
{
    ++m_bulkDepth;
}

void LogTable::endBulk()
{
    Q_ASSERT(m_bulkDepth > 0);
    if (m_bulkDepth > 0 && --m_bulkDepth == 0)
        announce();
}

void LogTable::announce()
{
    if (m_announcedRows < m_rowCount) {
        const int first = m_announcedRows;
        m_announcedRows = m_rowCount;
        notifyAppended(first, m_rowCount - 1);
    }
    notifyCurrentRow();
}

void LogTable::notifyAppended(int first, int last)
{
    for (LogTableListener *l : m_listeners)
        l->rowsAppended(first, last);
}

void LogTable::notifyCurrentRow()
{
    if (m_announcedCurrent == m_currentRow)
        return;
    m_announcedCurrent = m_currentRow;
    for (LogTableListener *l : m_listeners)
        l->tableCurrentRowChanged(m_currentRow);
}

void LogTable::addListener(LogTableListener *listener)
{
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end())
        m_listeners.push_back(listener);
}

void LogTable::removeListener(LogTableListener *listener)
{
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener), m_listeners.end());
}

std::size_t LogTable::memoryUsed() const
{
    std::size_t bytes = m_blocks.capacity() * sizeof(Block) + m_texts.memoryUsed();
    for (const Block &b : m_blocks)
        bytes += std::size_t(b.capacity) * (sizeof(RowData) + sizeof(RowBits));
    return bytes;
}
