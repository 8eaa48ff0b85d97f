#include "log/logcsvwriter.h"

#include "log/localtimestamp.h"
#include "log/loggedvalue.h"
#include "log/logtable.h"
#include "log/logwriting.h"
#include "log/unitsymbols.h"

#include <QIODevice>

#include <charconv>

namespace {

using LogWriting::appendDecimal;

} // namespace

LogCsvWriter::LogCsvWriter(const LogTable &table)
    : m_table(table)
{ }

void LogCsvWriter::appendHeader(QByteArray &out)
{
    out += "timestamp,seconds,value,unit,function,judgement,frame\r\n";
}

void LogCsvWriter::appendTimestamp(QByteArray &out, qint64 utcMilliseconds)
{
    LocalTimestamp().append(out, utcMilliseconds);
}

void LogCsvWriter::appendText(QByteArray &out, QStringView text)
{
    bool quote = false;
    bool nul = false;
    for (const QChar c : text) {
        if (c == u',' || c == u'"' || c == u'\r' || c == u'\n')
            quote = true;
        nul = nul || c.unicode() == 0;
    }
    const bool formula = !text.isEmpty() && (text[0] == u'=' || text[0] == u'+' || text[0] == u'-' || text[0] == u'@');
    if (!quote && !formula && !nul) {
        out += text.toUtf8();
        return;
    }
    QString cell;
    cell.reserve(text.size() + 4);
    if (quote)
        cell += u'"';
    if (formula)
        cell += u'\'';
    for (const QChar c : text) {
        if (c.unicode() == 0)
            continue;
        if (c == u'"')
            cell += u'"';
        cell += c;
    }
    if (quote)
        cell += u'"';
    out += cell.toUtf8();
}

void LogCsvWriter::appendRow(QByteArray &out, int row)
{
    if (const std::optional<qint64> moment = m_table.loggedAt(row)) {
        if (!m_origin)
            m_origin = moment;
        m_timestamp.append(out, *moment);
        out += ',';
        const qint64 elapsed = *moment - *m_origin;
        if (elapsed < 0)
            out += '-';
        const qint64 magnitude = elapsed < 0 ? -elapsed : elapsed;
        appendDecimal(out, magnitude / 1000);
        out += '.';
        const qint64 milliseconds = magnitude % 1000;
        out += char('0' + milliseconds / 100);
        out += char('0' + milliseconds / 10 % 10);
        out += char('0' + milliseconds % 10);
    } else {
        out += ',';
    }
    out += ',';
    if (const std::optional<double> value = loggedValue(m_table.text(row, int(LogField::Value)))) {
        char digits[32];
        const auto end = std::to_chars(digits, digits + sizeof digits, *value).ptr;
        out.append(digits, end - digits);
    }
    out += ',';
    appendText(out, lcdUnitText(m_table.text(row, int(LogField::Unit))));
    out += ',';
    appendText(out, m_table.text(row, int(LogField::DcAc)));
    out += ',';
    appendText(out, m_table.text(row, int(LogField::Auto)));
    out += ',';
    if (const std::optional<qint32> no = m_table.integer(row, int(LogField::No)))
        appendDecimal(out, *no);
    out += "\r\n";
}

TableFileResult LogCsvWriter::write(QIODevice &out)
{
    m_origin.reset();
    return LogWriting::writeRows(out, m_table, m_progress, &LogCsvWriter::appendHeader,
                                 [this](QByteArray &buffer, int row) { appendRow(buffer, row); });
}
