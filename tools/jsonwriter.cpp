#include "tools/jsonwriter.h"

#include <charconv>
#include <cmath>

namespace {

void escapeAscii(std::string &out, char32_t c)
{
    switch (c) {
    case '"': out += "\\\""; return;
    case '\\': out += "\\\\"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    default: break;
    }
    if (c < 0x20) {
        static const char hex[] = "0123456789abcdef";
        out += "\\u00";
        out += hex[c >> 4];
        out += hex[c & 0xF];
        return;
    }
    out += char(c);
}

} // namespace

void JsonLineWriter::string(std::string_view s)
{
    m_buffer += '"';
    for (char c : s)
        escapeAscii(m_buffer, static_cast<unsigned char>(c));
    m_buffer += '"';
}

void JsonLineWriter::string(QStringView s)
{
    m_buffer += '"';
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), s[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            escapeAscii(m_buffer, c);
        } else if (c < 0x800) {
            m_buffer += char(0xC0 | (c >> 6));
            m_buffer += char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            m_buffer += char(0xE0 | (c >> 12));
            m_buffer += char(0x80 | ((c >> 6) & 0x3F));
            m_buffer += char(0x80 | (c & 0x3F));
        } else {
            m_buffer += char(0xF0 | (c >> 18));
            m_buffer += char(0x80 | ((c >> 12) & 0x3F));
            m_buffer += char(0x80 | ((c >> 6) & 0x3F));
            m_buffer += char(0x80 | (c & 0x3F));
        }
    }
    m_buffer += '"';
}

void JsonLineWriter::number(double v)
{
    if (!std::isfinite(v)) {
        m_buffer += "null";
        return;
    }
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, v);
    m_buffer.append(text, result.ptr);
}

void JsonLineWriter::integer(long long v)
{
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, v);
    m_buffer.append(text, result.ptr);
}

bool JsonLineWriter::flush()
{
    if (!m_buffer.empty()) {
        if (std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_out) != m_buffer.size())
            m_failed = true;
        m_buffer.clear();
    }
    if (std::fflush(m_out) != 0)
        m_failed = true;
    return !m_failed;
}
