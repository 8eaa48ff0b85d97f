#include "log/logcsvwriter.h"

#include "log/loggedvalue.h"
#include "log/logtable.h"
#include "log/logwriting.h"
#include "log/unitsymbols.h"

#include <QDateTime>
#include <QIODevice>

#include <charconv>

namespace {

using LogWriting::appendDecimal;
using LogWriting::FlushSize;
using LogWriting::RowsPerProgress;

constexpr qint64 QuarterHourMs = 15 * 60 * 1000;

bool writeAll(QIODevice &out, const QByteArray &bytes)
{
    return out.write(bytes) == bytes.size();
}

void appendDigits(QByteArray &out, qint64 value, int width)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    for (qint64 n = end - digits; n < width; ++n)
        out += '0';
    out.append(digits, end - digits);
}

// The civil date of a day counted from 1970-01-01 (proleptic Gregorian).
void civilFromDays(qint64 days, qint64 &year, int &month, int &day)
{
    days += 719468;
    const qint64 era = (days >= 0 ? days : days - 146096) / 146097;
    const qint64 dayOfEra = days - era * 146097;
    const qint64 yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const qint64 dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const qint64 monthIndex = (5 * dayOfYear + 2) / 153;
    day = int(dayOfYear - (153 * monthIndex + 2) / 5 + 1);
    month = int(monthIndex < 10 ? monthIndex + 3 : monthIndex - 9);
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

void appendLocal(QByteArray &out, qint64 localMs, qint64 offsetMs)
{
    qint64 days = localMs / 86400000;
    qint64 ms = localMs % 86400000;
    if (ms < 0) {
        ms += 86400000;
        --days;
    }
    qint64 year = 0;
    int month = 0;
    int day = 0;
    civilFromDays(days, year, month, day);
    appendDigits(out, year, 4);
    out += '-';
    appendDigits(out, month, 2);
    out += '-';
    appendDigits(out, day, 2);
    out += 'T';
    appendDigits(out, ms / 3600000, 2);
    out += ':';
    appendDigits(out, ms / 60000 % 60, 2);
    out += ':';
    appendDigits(out, ms / 1000 % 60, 2);
    out += '.';
    appendDigits(out, ms % 1000, 3);
    const qint64 offsetMinutes = offsetMs / 60000;
    out += offsetMinutes < 0 ? '-' : '+';
    const qint64 minutes = offsetMinutes < 0 ? -offsetMinutes : offsetMinutes;
    appendDigits(out, minutes / 60, 2);
    out += ':';
    appendDigits(out, minutes % 60, 2);
}

qint64 offsetAt(qint64 utcMilliseconds)
{
    return qint64(QDateTime::fromMSecsSinceEpoch(utcMilliseconds, Qt::LocalTime).offsetFromUtc()) * 1000;
}

} // namespace

LogCsvWriter::LogCsvWriter(const LogTable &table)
    : m_table(table)
{
}

void LogCsvWriter::appendHeader(QByteArray &out)
{
    out += "timestamp,seconds,value,unit,function,judgement,frame\r\n";
}

void LogCsvWriter::appendTimestamp(QByteArray &out, qint64 utcMilliseconds)
{
    const qint64 offset = offsetAt(utcMilliseconds);
    appendLocal(out, utcMilliseconds + offset, offset);
}

void LogCsvWriter::appendLocalTimestamp(QByteArray &out, qint64 utcMilliseconds)
{
    const qint64 quarter = utcMilliseconds >= 0 ? utcMilliseconds / QuarterHourMs : -1 - (-utcMilliseconds / QuarterHourMs);
    if (quarter != m_offsetQuarter) {
        m_offsetMs = offsetAt(utcMilliseconds);
        m_offsetQuarter = quarter;
    }
    appendLocal(out, utcMilliseconds + m_offsetMs, m_offsetMs);
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
    const bool formula = !text.isEmpty()
        && (text[0] == u'=' || text[0] == u'+' || text[0] == u'-' || text[0] == u'@');
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
        appendLocalTimestamp(out, *moment);
        out += ',';
        const qint64 elapsed = *moment - *m_origin;
        if (elapsed < 0)
            out += '-';
        const qint64 magnitude = elapsed < 0 ? -elapsed : elapsed;
        appendDecimal(out, magnitude / 1000);
        out += '.';
        appendDigits(out, magnitude % 1000, 3);
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
    const int rows = m_table.rowCount();
    const std::uint64_t generation = m_table.generation();
    m_origin.reset();

    QByteArray buffer;
    buffer.reserve(FlushSize + 4096);
    appendHeader(buffer);
    for (int row = 0; row < rows; ++row) {
        appendRow(buffer, row);
        if (buffer.size() >= FlushSize) {
            if (!writeAll(out, buffer))
                return TableFileResult::failed(QStringLiteral("write error: %1").arg(out.errorString()));
            buffer.clear();
        }
        if (m_progress && (row + 1) % RowsPerProgress == 0) {
            m_progress(double(row + 1) / rows);
            if (m_table.generation() != generation)
                return TableFileResult::failed(QStringLiteral("the table was emptied while it was being saved"));
        }
    }
    if (!writeAll(out, buffer))
        return TableFileResult::failed(QStringLiteral("write error: %1").arg(out.errorString()));
    if (m_progress)
        m_progress(1.0);
    return {};
}
