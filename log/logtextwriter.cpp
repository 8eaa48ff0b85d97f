#include "log/logtextwriter.h"

#include "log/logtable.h"
#include "log/logwriting.h"

#include <QIODevice>

#include <array>
#include <charconv>

namespace {

using LogWriting::appendDecimal;

bool separates(char16_t c)
{
    return c >= 1 && c <= 32;
}

} // namespace

LogTextWriter::LogTextWriter(const LogTable &table)
    : m_table(table)
{ }

void LogTextWriter::appendCell(QByteArray &line, QStringView text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first].unicode() <= 32)
        ++first;
    while (last > first && text[last - 1].unicode() <= 32)
        --last;
    const QStringView cell = text.sliced(first, last - first);
    if (cell.isEmpty()) {
        line += "NULL";
        return;
    }
    // A text that reads "NULL" is quoted, so that it does not come back as
    // the placeholder of an empty cell.
    bool quote = cell == u"NULL";
    bool unwritable = false;
    for (QChar c : cell) {
        const char16_t u = c.unicode();
        if (separates(u) || u == u'"')
            quote = true;
        if (u == 0 || u == u'\r' || u == u'\n')
            unwritable = true;
    }
    if (!quote && !unwritable) {
        m_codec.appendEncoded(line, cell);
        return;
    }
    QString s;
    s.reserve(cell.size() + 4);
    if (quote)
        s += u'"';
    for (QChar c : cell) {
        const char16_t u = c.unicode();
        if (u == 0)
            continue;
        if (u == u'\r' || u == u'\n')
            s += u' ';
        else if (u == u'"')
            s += QStringLiteral("\"\"");
        else
            s += c;
    }
    if (quote)
        s += u'"';
    m_codec.appendEncoded(line, s);
}

void LogTextWriter::appendHeader(QByteArray &out)
{
    out += "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n";
}

void LogTextWriter::appendRow(QByteArray &out, int row)
{
    // The writer reads the judgement under the name the report prints.
    static const std::array<int, 6> cells{
        LogTable::fieldIndex(u"No"),    LogTable::fieldIndex(u"Time"), LogTable::fieldIndex(u"DC/AC"),
        LogTable::fieldIndex(u"Value"), LogTable::fieldIndex(u"Unit"), LogTable::fieldIndex(u"AUTO"),
    };
    if (const std::optional<qint32> no = m_table.integer(row, cells[0]))
        appendDecimal(out, *no);
    else
        out += "\"\"";
    for (std::size_t i = 1; i < cells.size(); ++i) {
        out += '\t';
        appendCell(out, m_table.text(row, cells[i]));
    }
    out += "\r\n";
}

TableFileResult LogTextWriter::write(QIODevice &out)
{
    return LogWriting::writeRows(out, m_table, m_progress, &LogTextWriter::appendHeader,
                                 [this](QByteArray &buffer, int row) { appendRow(buffer, row); });
}
