#include "log/logxmlreader.h"

#include "log/logtable.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool endsElementName(char c)
{
    return isSpace(c) || c == '/' || c == '>';
}

const char *findText(const char *p, const char *end, QByteArrayView what)
{
    const char *found = std::search(p, end, what.begin(), what.end());
    return found == end ? nullptr : found;
}

// Names from the file, for messages.
QString shown(QByteArrayView bytes)
{
    return QString::fromUtf8(bytes.first(std::min<qsizetype>(bytes.size(), 40)));
}

bool isIntegerType(const QString &type)
{
    static const char *const types[] = {"i1", "i2", "i4", "i8", "ui1", "ui2", "ui4", "ui8"};
    return std::any_of(std::begin(types), std::end(types), [&](const char *t) { return type == QLatin1String(t); });
}

bool isTextType(const QString &type)
{
    return type == QLatin1String("string") || type == QLatin1String("string.uni");
}

constexpr QByteArrayView Utf8Bom("\xEF\xBB\xBF");

} // namespace

LogXmlReader::LogXmlReader(LogTable &table)
    : m_table(table)
{ }

bool LogXmlReader::fail(const QString &why)
{
    m_error = why;
    return false;
}

LogXmlReader::Scan LogXmlReader::scan(const char *&p, const char *end, bool atEnd, Markup &m)
{
    const auto needMore = [&]() {
        if (!atEnd)
            return Scan::NeedMore;
        m_cutShort = true;
        m_error = QStringLiteral("the file ends inside an element");
        return Scan::Error;
    };
    const auto error = [&](const QString &why) {
        m_error = why;
        return Scan::Error;
    };

    for (;;) {
        while (p < end && isSpace(*p))
            ++p;
        if (p == end)
            return atEnd ? Scan::EndOfText : Scan::NeedMore;
        m.start = p; // where a failure is reported, however the input arrives
        const char *r = p;
        if (*r != '<')
            return error(QStringLiteral("text between elements"));
        if (end - r < 2)
            return needMore();
        if (r[1] == '?') { // the declaration, or another processing instruction
            const char *close = findText(r + 2, end, "?>");
            if (!close)
                return needMore();
            p = close + 2;
            continue;
        }
        if (r[1] == '!') {
            if (end - r < 4)
                return needMore();
            if (std::memcmp(r, "<!--", 4) != 0)
                return error(QStringLiteral("markup that a data packet does not use"));
            const char *close = findText(r + 4, end, "-->");
            if (!close)
                return needMore();
            p = close + 3;
            continue;
        }

        m.attributes.clear();
        ++r;
        if (*r == '/') {
            ++r;
            const char *name = r;
            while (r < end && !endsElementName(*r))
                ++r;
            m.name = QByteArrayView(name, r - name);
            while (r < end && isSpace(*r))
                ++r;
            if (r == end)
                return needMore();
            if (*r != '>' || m.name.isEmpty())
                return error(QStringLiteral("a malformed end tag"));
            m.kind = Markup::End;
            p = r + 1;
            return Scan::Markup;
        }

        const char *name = r;
        while (r < end && !endsElementName(*r))
            ++r;
        if (r == end)
            return needMore();
        if (r == name)
            return error(QStringLiteral("an element without a name"));
        m.name = QByteArrayView(name, r - name);
        for (;;) {
            while (r < end && isSpace(*r))
                ++r;
            if (r == end)
                return needMore();
            if (*r == '>') {
                m.kind = Markup::Start;
                p = r + 1;
                return Scan::Markup;
            }
            if (*r == '/') {
                if (r + 1 == end)
                    return needMore();
                if (r[1] == '>') {
                    m.kind = Markup::Empty;
                    p = r + 2;
                    return Scan::Markup;
                }
            }
            // Attribute names may hold a slash ("DC/AC"); "/>" ends the element.
            const char *attribute = r;
            while (r < end && !isSpace(*r) && *r != '=' && *r != '>' && *r != '"' && *r != '\'') {
                if (*r == '/') {
                    if (r + 1 == end)
                        return needMore();
                    if (r[1] == '>')
                        break;
                }
                ++r;
            }
            if (r == end)
                return needMore();
            const QByteArrayView attributeName(attribute, r - attribute);
            if (attributeName.isEmpty())
                return error(QStringLiteral("a malformed attribute in <%1>").arg(shown(m.name)));
            while (r < end && isSpace(*r))
                ++r;
            if (r == end)
                return needMore();
            if (*r != '=')
                return error(QStringLiteral("attribute %1 has no value").arg(shown(attributeName)));
            ++r;
            while (r < end && isSpace(*r))
                ++r;
            if (r == end)
                return needMore();
            if (*r != '"' && *r != '\'')
                return error(QStringLiteral("the value of %1 is not quoted").arg(shown(attributeName)));
            const char quote = *r++;
            const char *close = static_cast<const char *>(std::memchr(r, quote, std::size_t(end - r)));
            if (!close)
                return needMore();
            m.attributes.push_back({attributeName, QByteArrayView(r, close - r)});
            r = close + 1;
        }
    }
}

TableFileResult LogXmlReader::read(QIODevice &in)
{
    m_error.clear();
    m_open.clear();
    m_seenPacket = m_seenMetadata = m_fieldsChecked = m_seenRowData = m_packetClosed = false;
    m_rowsRead = 0;
    m_fields = {};
    m_nulOffset = -1;
    m_cutShort = false;
    LogTable packet;
    m_rows = &packet;

    const qint64 total = in.isSequential() ? 0 : in.size();
    qint64 consumedBefore = 0;
    QByteArray buffer;
    qsizetype pos = 0;
    bool atEnd = false;
    bool bomChecked = false;
    Markup markup;

    const auto finish = [&](bool ok, qint64 offset) {
        m_rows = nullptr;
        if (!ok) {
            m_rowsRead = 0;
            return TableFileResult::failed(QStringLiteral("byte %1: %2").arg(offset).arg(m_error));
        }
        if (packet.isEditing())
            packet.cancel();
        packet.setCurrentRow(0);
        m_table.replaceWith(packet);
        return TableFileResult{};
    };
    // The text ends at a NUL; reaching it fails the read there.
    const auto failAtNul = [&]() {
        m_error = QStringLiteral("a NUL byte; this is no XML text");
        return finish(false, m_nulOffset);
    };

    for (;;) {
        if (pos > 0) {
            buffer.remove(0, pos);
            consumedBefore += pos;
            pos = 0;
        }
        if (!atEnd) {
            // An element longer than a chunk doubles the next read, so that
            // rescanning it stays linear.
            const qsizetype had = buffer.size();
            qint64 want = std::max<qint64>(m_chunkSize, had);
            if (!in.isSequential()) // but no more than the device still holds
                want = std::min(want, std::max<qint64>(in.bytesAvailable(), 1));
            buffer.resize(had + qsizetype(want));
            const qint64 n = in.read(buffer.data() + had, want);
            if (n < 0) {
                m_error = QStringLiteral("cannot read: %1").arg(in.errorString());
                return finish(false, consumedBefore + had);
            }
            buffer.resize(had + qsizetype(n));
            atEnd = n == 0;
            if (const void *nul = std::memchr(buffer.constData() + had, 0, std::size_t(n))) {
                const qsizetype at = static_cast<const char *>(nul) - buffer.constData();
                m_nulOffset = consumedBefore + at;
                buffer.resize(at);
                atEnd = true;
            }
        }
        if (!bomChecked) {
            if (buffer.size() < Utf8Bom.size() && !atEnd)
                continue;
            if (QByteArrayView(buffer).startsWith(Utf8Bom))
                pos = Utf8Bom.size();
            bomChecked = true;
        }

        const char *const data = buffer.constData();
        const char *p = data + pos;
        const char *const end = data + buffer.size();
        for (;;) {
            const Scan s = scan(p, end, atEnd, markup);
            if (s == Scan::NeedMore)
                break;
            if (s == Scan::Error) {
                // Markup cut short by the NUL is the NUL's fault.
                if (m_nulOffset >= 0 && m_cutShort)
                    return failAtNul();
                return finish(false, consumedBefore + (markup.start - data));
            }
            if (s == Scan::EndOfText) {
                if (m_nulOffset >= 0)
                    return failAtNul();
                if (!m_seenPacket)
                    m_error = QStringLiteral("not a data packet");
                else if (!m_packetClosed)
                    m_error = QStringLiteral("the file ends inside the packet");
                return finish(m_packetClosed, consumedBefore + (p - data));
            }
            if (!handle(markup))
                return finish(false, consumedBefore + (markup.start - data));
        }
        pos = p - data;

        if (m_progress)
            m_progress(total > 0 ? std::min(1.0, double(consumedBefore + pos) / double(total)) : 0.0);
    }
}

bool LogXmlReader::handle(const Markup &m)
{
    const std::size_t depth = m_open.size();
    if (m.kind == Markup::End) {
        if (m_open.empty() || m_open.back() != m.name)
            return fail(QStringLiteral("</%1> closes no open element").arg(shown(m.name)));
        m_open.pop_back();
        if (depth == 1) {
            m_packetClosed = true;
            if (!m_fieldsChecked)
                return fail(QStringLiteral("the packet has no METADATA"));
        } else if (depth == 2 && m.name == "METADATA") {
            return checkFields();
        }
        return true;
    }

    if (m_packetClosed)
        return fail(QStringLiteral("an element after the packet"));
    if (depth == 0) {
        if (m.name != "DATAPACKET")
            return fail(QStringLiteral("not a data packet"));
        if (m.kind == Markup::Empty)
            return fail(QStringLiteral("the packet has no METADATA"));
        m_seenPacket = true;
    } else if (depth == 1) {
        if (m.name == "METADATA") {
            if (m_seenMetadata)
                return fail(QStringLiteral("a second METADATA"));
            m_seenMetadata = true;
            if (m.kind == Markup::Empty)
                return checkFields();
        } else if (m.name == "ROWDATA") {
            if (!m_fieldsChecked)
                return fail(QStringLiteral("ROWDATA before METADATA"));
            if (m_seenRowData)
                return fail(QStringLiteral("a second ROWDATA"));
            m_seenRowData = true;
        }
    } else if (depth == 3 && m.name == "FIELD" && m_open[1] == "METADATA" && m_open[2] == "FIELDS") {
        if (!readField(m))
            return false;
    } else if (depth == 2 && m.name == "ROW" && m_open[1] == "ROWDATA") {
        if (!readRow(m))
            return false;
    }
    if (m.kind == Markup::Start)
        m_open.emplace_back(m.name.data(), m.name.size());
    return true;
}

bool LogXmlReader::readField(const Markup &m)
{
    QString attrName, fieldName, type;
    bool hasAttrName = false, hasFieldName = false, hasType = false;
    for (const Attribute &a : m.attributes) {
        QString *target = nullptr;
        if (a.name == "attrname") {
            target = &attrName;
            hasAttrName = true;
        } else if (a.name == "fieldname") {
            target = &fieldName;
            hasFieldName = true;
        } else if (a.name == "fieldtype") {
            target = &type;
            hasType = true;
        }
        if (target && !unescape(a.value, *target))
            return false;
    }
    if (!hasAttrName)
        return fail(QStringLiteral("a FIELD without attrname"));
    const QString &name = hasFieldName ? fieldName : attrName;
    if (!hasType)
        return fail(QStringLiteral("field %1 has no fieldtype").arg(name));
    const int field = LogTable::fieldIndex(name);
    if (field < 0)
        return true; // a field the log does not have
    FieldBinding &binding = m_fields[std::size_t(field)];
    if (binding.defined)
        return fail(QStringLiteral("field %1 is defined twice").arg(name));
    if (LogTable::fieldType(field) == LogFieldType::Integer ? !isIntegerType(type) : !isTextType(type))
        return fail(QStringLiteral("field %1 has the type %2").arg(name, type));
    binding.defined = true;
    binding.name = name;
    binding.type = type;
    binding.attribute.clear();
    m_codec.appendEncoded(binding.attribute, attrName);
    return true;
}

bool LogXmlReader::checkFields()
{
    for (int f = 0; f < LogFieldCount; ++f) {
        if (!m_fields[std::size_t(f)].defined)
            return fail(QStringLiteral("the packet has no field %1")
                            .arg(QLatin1String(LogTable::fields()[std::size_t(f)].name)));
    }
    m_fieldsChecked = true;
    return true;
}

bool LogXmlReader::readRow(const Markup &m)
{
    const int row = m_rowsRead + 1;
    LogTable &rows = *m_rows;
    if (!rows.append())
        return fail(QStringLiteral("row %1: the table is full").arg(row));
    unsigned seen = 0;
    bool pendingInsert = false;
    for (const Attribute &a : m.attributes) {
        if (a.name == "RowState") {
            if (!unescape(a.value, m_text))
                return fail(QStringLiteral("row %1: %2").arg(row).arg(m_error));
            const std::optional<qint32> state = LogTable::parseInteger(m_text);
            if (!state || *state < 0 || m_text.startsWith(u'+'))
                return fail(QStringLiteral("row %1: RowState \"%2\" is no number").arg(row).arg(m_text.left(40)));
            pendingInsert = *state & 4;
            continue;
        }
        int field = 0;
        while (field < LogFieldCount && m_fields[std::size_t(field)].attribute != a.name)
            ++field;
        if (field == LogFieldCount)
            continue; // a field the log does not have
        if (seen & (1u << field))
            return fail(QStringLiteral("row %1: %2 is given twice").arg(row).arg(shown(a.name)));
        seen |= 1u << field;
        if (!unescape(a.value, m_text))
            return fail(QStringLiteral("row %1: %2").arg(row).arg(m_error));
        if (LogTable::fieldType(field) == LogFieldType::Integer) {
            const std::optional<qint32> value = LogTable::parseInteger(m_text);
            if (!value)
                return fail(QStringLiteral("row %1: %2 \"%3\" is no whole number")
                                .arg(row)
                                .arg(m_fields[std::size_t(field)].name, m_text.left(40)));
            rows.setInteger(field, *value);
        } else {
            rows.setText(field, m_text);
        }
    }
    rows.post(pendingInsert);
    ++m_rowsRead;
    return true;
}

bool LogXmlReader::unescape(QByteArrayView value, QString &out)
{
    out.resize(0); // keeps the buffer for the next value
    const char *p = value.data();
    const char *const end = p + value.size();
    while (p < end) {
        const char *amp = static_cast<const char *>(std::memchr(p, '&', std::size_t(end - p)));
        m_codec.appendDecoded(out, QByteArrayView(p, (amp ? amp : end) - p));
        if (!amp)
            break;
        const qsizetype room = std::min<qsizetype>(end - amp, 16);
        const char *semicolon = static_cast<const char *>(std::memchr(amp, ';', std::size_t(room)));
        if (!semicolon)
            return fail(QStringLiteral("an unfinished escape"));
        const QByteArrayView entity(amp + 1, semicolon - amp - 1);
        if (entity == "lt") {
            out += u'<';
        } else if (entity == "gt") {
            out += u'>';
        } else if (entity == "amp") {
            out += u'&';
        } else if (entity == "apos") {
            out += u'\'';
        } else if (entity == "quot") {
            out += u'"';
        } else if (entity.size() >= 2 && entity[0] == '#') {
            const bool hex = entity[1] == 'x';
            const QByteArrayView digits = entity.sliced(hex ? 2 : 1);
            char32_t code = 0;
            bool ok = !digits.isEmpty();
            for (char c : digits) {
                int d = -1;
                if (c >= '0' && c <= '9')
                    d = c - '0';
                else if (hex && c >= 'a' && c <= 'f')
                    d = c - 'a' + 10;
                else if (hex && c >= 'A' && c <= 'F')
                    d = c - 'A' + 10;
                if (d < 0) {
                    ok = false;
                    break;
                }
                code = code * (hex ? 16 : 10) + char32_t(d);
                if (code > 0x10FFFF) {
                    ok = false;
                    break;
                }
            }
            if (!ok || (code >= 0xD800 && code <= 0xDFFF))
                return fail(QStringLiteral("the escape &%1; stands for no character").arg(shown(entity)));
            if (QChar::requiresSurrogates(code)) {
                out += QChar(QChar::highSurrogate(code));
                out += QChar(QChar::lowSurrogate(code));
            } else {
                out += QChar(char16_t(code));
            }
        } else {
            return fail(QStringLiteral("the unknown escape &%1;").arg(shown(entity)));
        }
        p = semicolon + 1;
    }
    return true;
}
