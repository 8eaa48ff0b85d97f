#pragma once

#include "log/textpool.h"

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The seven fields of the log, in table order. The text reader fills fields
// by position, so the order is part of the file format.
enum class LogField : int { No, Time, DcAc, Value, Unit, Auto, NVal };
inline constexpr int LogFieldCount = 7;

enum class LogFieldType { Integer, Text };

struct LogFieldDef
{
    const char *name; // as the data packet names it
    LogFieldType type;
    int size; // characters kept of a text; 0 for integers
};

// Told about every change of a LogTable, so that a view can follow it.
class LogTableListener
{
public:
    virtual ~LogTableListener() = default;
    // Rows first..last were posted. During a bulk update they are told in
    // one piece at announce() or endBulk().
    virtual void rowsAppended(int first, int last) = 0;
    // The table is about to lose every row, and has lost them.
    virtual void tableAboutToBeEmptied() = 0;
    virtual void tableEmptied() = 0;
    virtual void tableCurrentRowChanged(int row) { Q_UNUSED(row) }
};

// The reading log: an in-memory table of the seven fields, appended
// to by logging and by the text reader, replaced by the XML reader, emptied
// by New. Rows are stored in blocks, 34 bytes a row, the texts as ids into
// a TextPool: appending never copies more than the first block, and ten
// million rows stay within about 400 MB.
//
// Besides its fields a row keeps the moment it was logged, to the
// millisecond, so that its date is known; the table files keep only the
// time of day, and a row opened from one gets its date worked out later
// (LogDating).
//
// A row is built like a data set's record: append(), set the fields, post().
// Until post() the row is not part of the table. Every posted row carries a
// pending-insert mark unless the poster says otherwise; emptying the table
// discards the marks with the rows.
class LogTable
{
public:
    static constexpr int TextSize = 20;
    static constexpr int MaxRows = 0x7FFFFFFE;

    static const std::array<LogFieldDef, LogFieldCount> &fields();
    // Field names are looked up without regard to letter case ("value",
    // "AUTO" and "Auto" all name a field); -1 for an unknown name.
    static int fieldIndex(QStringView name);
    static LogFieldType fieldType(int field) { return fields()[std::size_t(field)].type; }
    // The first `TextSize` characters of a text, never splitting a
    // surrogate pair.
    static QStringView cutText(QStringView text);

    LogTable();
    ~LogTable();
    LogTable(const LogTable &) = delete;
    LogTable &operator=(const LogTable &) = delete;

    int rowCount() const { return m_rowCount; }
    bool isEmpty() const { return m_rowCount == 0; }

    // Reading a posted row. Views stay valid until the table is emptied.
    bool hasValue(int row, int field) const;
    std::optional<qint32> integer(int row, int field) const;
    QStringView text(int row, int field) const; // empty when it has no value
    // A field as a grid shows it: the text, or an integer in decimal; empty
    // when the field has no value.
    QString displayText(int row, int field) const;
    bool pendingInsert(int row) const { return flagsOf(row) & PendingInsertFlag; }
    // When the row was logged, in milliseconds since 1970-01-01 00:00 UTC;
    // nothing when that is not known.
    std::optional<qint64> loggedAt(int row) const;
    int pendingInsertCount() const { return m_pendingInserts; }

    // -1 while the table is empty.
    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int row);

    // Starts a new row at the end with no field set. A row still being edited
    // is posted first. False when the table cannot take another row.
    bool append();
    bool isEditing() const { return m_editing; }
    void setText(int field, QStringView text); // cut to TextSize
    void setInteger(int field, qint32 value);
    void setNull(int field);
    // The moment the new row was logged (see loggedAt); a moment before 1970
    // or after 2106 is not kept.
    void setLoggedAt(qint64 utcMilliseconds);
    // By field name, letter case aside; false for an unknown name.
    bool setText(QStringView fieldName, QStringView text);
    bool setInteger(QStringView fieldName, qint32 value);
    // Stores a text into a field of either type: integer fields read it as a
    // decimal number (an empty text leaves no value). False, with the field
    // unchanged, when the text is not a number that fits.
    bool setFieldText(int field, QStringView text);
    // Makes the new row part of the table and its current row.
    void post(bool markPendingInsert = true);
    void cancel();

    // Dates a posted row afterwards: rows opened from a file, whose moments
    // are worked out from their times of day.
    void setLoggedAt(int row, qint64 utcMilliseconds);

    // Every row goes, with its mark; the fields stay.
    void clear();
    // Changes whenever rows are removed, so that a long walk over the rows
    // (a save that lets the window paint) can tell that its rows are gone.
    std::uint64_t generation() const { return m_generation; }

    // Bulk updates (a file being read) tell listeners about posted rows only
    // at announce() and at the end, not per row. They nest.
    void beginBulk();
    void endBulk();
    void announce();

    // Where the table stands, so that rows posted after it can be taken back
    // (a file that fails to open leaves the log as it was). Only rows that
    // no listener was told of, during a bulk update, can be taken back.
    struct Mark
    {
        int rows = 0;
        int currentRow = -1;
        int pendingInserts = 0;
        std::size_t texts = 0;
    };
    Mark mark() const;
    void rollBack(const Mark &mark);
    // Takes the rows of `other` in place of its own, which `other` gets: a
    // whole file read aside becomes the log at once. Listeners see the
    // table emptied and the new rows appended.
    void replaceWith(LogTable &other);

    void addListener(LogTableListener *listener);
    void removeListener(LogTableListener *listener);

    // Bytes held for rows and texts, for the benchmarks.
    std::size_t memoryUsed() const;

    // Reads a decimal integer as the table stores one: optional sign, digits,
    // within 32 bits.
    static std::optional<qint32> parseInteger(QStringView text);

private:
    static constexpr int BlockShift = 16;
    static constexpr int BlockRows = 1 << BlockShift;
    static constexpr int TextFields = 5;

    // A row's bits: which integers and whether its moment are set, the
    // pending-insert mark, and the milliseconds of its moment in the top ten
    // bits (the seconds are in RowData).
    using RowBits = std::uint16_t;
    enum : RowBits {
        NoFlag = 0x01,
        NValFlag = 0x02,
        PendingInsertFlag = 0x04,
        LoggedAtFlag = 0x08,
        FlagMask = 0x3F,
    };
    static constexpr int MillisecondShift = 6;

    // Plain data, so that a new block is not written to before its rows
    // are: its pages become resident as the rows arrive.
    struct RowData
    {
        qint32 no;
        qint32 nval;
        TextPool::Id text[TextFields];
        std::uint32_t loggedSecond; // seconds since 1970 UTC, up to 2106
    };
    static bool splitMoment(qint64 utcMilliseconds, std::uint32_t &second, RowBits &milliseconds);
    // Every block holds BlockRows rows except the first, which starts small
    // and grows to full size, so that a short table stays small.
    struct Block
    {
        std::unique_ptr<RowData[]> rows;
        std::unique_ptr<RowBits[]> flags;
        int capacity = 0;
    };
    static constexpr int FirstBlockRows = 256;

    static int textSlot(int field) { return field - 1; }
    static RowBits integerFlag(int field) { return field == int(LogField::No) ? NoFlag : NValFlag; }

    const RowData &rowData(int row) const
    {
        return m_blocks[std::size_t(row) >> BlockShift].rows[row & (BlockRows - 1)];
    }
    RowBits flagsOf(int row) const { return m_blocks[std::size_t(row) >> BlockShift].flags[row & (BlockRows - 1)]; }
    Block &blockFor(int row);
    void notifyAppended(int first, int last);
    void notifyCurrentRow();

    std::vector<Block> m_blocks;
    TextPool m_texts;
    int m_rowCount = 0;
    int m_currentRow = -1;
    int m_pendingInserts = 0;
    std::uint64_t m_generation = 0;

    bool m_editing = false;
    RowData m_edit{};
    RowBits m_editFlags = 0;

    int m_bulkDepth = 0;
    int m_announcedRows = 0;     // rows the listeners know of
    int m_announcedCurrent = -1; // current row the listeners know of
    std::vector<LogTableListener *> m_listeners;
};
