#include "log/logxmlwriter.h"

#include "log/logtable.h"
#include "log/logwriting.h"

#include <QIODevice>

#include <array>
#include <charconv>
#include <cstdio>

namespace {

using LogWriting::appendDecimal;
using LogWriting::FlushSize;
using LogWriting::RowsPerProgress;

const char *escapeFor(char16_t c)
{
    switch (c) {
    case u'<':
        return "&lt;";
    case u'>':
        return "&gt;";
    case u'&':
        return "&amp;";
    case u'\'':
        return "&apos;";
    case u'"':
        return "&quot;";
    case u'\r':
        return "&#013;";
    case u'\n':
        return "&#010;";
    case u'\t':
        return "&#009;";
    case u'\\':
        return "&#092;";
    default:
        return nullptr;
    }
}

} // namespace

LogXmlWriter::LogXmlWriter(const LogTable &table)
    : m_table(table)
{ }

QString LogXmlWriter::attributeName(const QString &fieldName)
{
    QString name = fieldName;
    for (QChar &c : name) {
        switch (c.unicode()) {
        case u' ':
        case u'!':
        case u'#':
        case u'$':
        case u'%':
        case u'(':
        case u')':
        case u'*':
        case u'?':
            c = u'_';
            break;
        default:
            break;
        }
    }
    return name;
}

void LogXmlWriter::appendValue(QByteArray &out, QStringView value)
{
    qsizetype plain = 0; // start of the run not yet written
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char16_t c = value[i].unicode();
        const char *escape = escapeFor(c);
        if (!escape && c >= 32)
            continue;
        m_codec.appendEncoded(out, value.sliced(plain, i - plain));
        if (escape) {
            out += escape;
        } else {          // other control characters, which XML cannot hold as they are
            char ref[16]; // c < 32 needs 7 bytes; the compiler cannot see that
            std::snprintf(ref, sizeof ref, "&#%03u;", unsigned(c));
            out += ref;
        }
        plain = i + 1;
    }
    m_codec.appendEncoded(out, value.sliced(plain));
}

TableFileResult LogXmlWriter::write(QIODevice &out)
{
    const int rows = m_table.rowCount();
    const std::uint64_t generation = m_table.generation();
    const auto &fields = LogTable::fields();
    std::array<QByteArray, LogFieldCount> attributes;

    QByteArray buffer;
    buffer.reserve(LogWriting::bufferSizeFor(rows));
    const auto flush = [&]() {
        if (!LogWriting::writeAll(out, buffer))
            return false;
        buffer.clear();
        return true;
    };
    const auto writeError = [&]() { return LogWriting::writeFailed(out); };
    // Half the work is the change log, half the rows.
    int stepsDone = 0;
    const auto report = [&]() {
        if (!m_progress || ++stepsDone % RowsPerProgress != 0)
            return true;
        m_progress(double(stepsDone) / (2.0 * rows));
        return m_table.generation() == generation;
    };
    const auto emptied = []() {
        return TableFileResult::failed(QStringLiteral("the table was emptied while it was being saved"));
    };

    buffer += "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n"
              "<DATAPACKET Version=\"2.0\">\r\n"
              "<METADATA>\r\n"
              "<FIELDS>\r\n";
    for (int f = 0; f < LogFieldCount; ++f) {
        const QString name = QString::fromLatin1(fields[std::size_t(f)].name);
        const QString attribute = attributeName(name);
        m_codec.appendEncoded(attributes[std::size_t(f)], attribute);
        buffer += "<FIELD";
        if (attribute != name) {
            buffer += " fieldname=\"";
            appendValue(buffer, name);
            buffer += '"';
        }
        buffer += " attrname=\"";
        appendValue(buffer, attribute);
        if (fields[std::size_t(f)].type == LogFieldType::Integer) {
            buffer += "\" fieldtype=\"i4\"/>\r\n";
        } else {
            buffer += "\" fieldtype=\"string\" WIDTH=\"";
            appendDecimal(buffer, fields[std::size_t(f)].size);
            buffer += "\"/>\r\n";
        }
    }
    buffer += "</FIELDS>\r\n<PARAMS";

    bool anyPending = false;
    for (int row = 0; row < rows; ++row) {
        if (m_table.pendingInsert(row)) {
            buffer += anyPending ? " " : " CHANGE_LOG=\"";
            anyPending = true;
            appendDecimal(buffer, row + 1);
            buffer += " 0 4";
            if (buffer.size() >= FlushSize && !flush())
                return writeError();
        }
        if (!report())
            return emptied();
    }
    if (anyPending)
        buffer += '"';
    buffer += "/>\r\n</METADATA>\r\n<ROWDATA>\r\n";

    for (int row = 0; row < rows; ++row) {
        buffer += "<ROW";
        if (m_table.pendingInsert(row))
            buffer += " RowState=\"4\"";
        for (int f = 0; f < LogFieldCount; ++f) {
            if (!m_table.hasValue(row, f))
                continue;
            buffer += ' ';
            buffer += attributes[std::size_t(f)];
            buffer += "=\"";
            if (LogTable::fieldType(f) == LogFieldType::Integer)
                appendDecimal(buffer, *m_table.integer(row, f));
            else
                appendValue(buffer, m_table.text(row, f));
            buffer += '"';
        }
        buffer += "/>\r\n";
        if (buffer.size() >= FlushSize && !flush())
            return writeError();
        if (!report())
            return emptied();
    }
    buffer += "</ROWDATA>\r\n</DATAPACKET>\r\n";
    if (!flush())
        return writeError();
    if (m_progress)
        m_progress(1.0);
    return {};
}
