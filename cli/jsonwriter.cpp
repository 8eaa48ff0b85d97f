#include "cli/jsonwriter.h"

#include <QChar>

#include <charconv>
#include <cmath>
#include <cstring>

namespace {

// Writes the escaped form of an ASCII character or a byte of a Latin-1
// text; returns past it.
char *escapeAscii(char *out, char32_t c)
{
    switch (c) {
    case '"':
        *out++ = '\\';
        *out++ = '"';
        return out;
    case '\\':
        *out++ = '\\';
        *out++ = '\\';
        return out;
    case '\n':
        *out++ = '\\';
        *out++ = 'n';
        return out;
    case '\r':
        *out++ = '\\';
        *out++ = 'r';
        return out;
    case '\t':
        *out++ = '\\';
        *out++ = 't';
        return out;
    default:
        break;
    }
    if (c < 0x20) {
        static const char hex[] = "0123456789abcdef";
        std::memcpy(out, "\\u00", 4);
        out += 4;
        *out++ = hex[c >> 4];
        *out++ = hex[c & 0xF];
        return out;
    }
    *out++ = char(c);
    return out;
}

} // namespace

JsonLineWriter::JsonLineWriter(std::FILE *out)
    : m_out(out)
    , m_buffer(new char[2 * FlushAt])
    , m_capacity(2 * FlushAt)
{
    // The buffer here is the stream's buffer: stdio copying each piece into
    // one of its own first would only cost time. Nothing else writes to the
    // stream, and nothing has before.
    std::setvbuf(m_out, nullptr, _IONBF, 0);
}

void JsonLineWriter::makeRoom(std::size_t n)
{
    flush();
    if (n <= m_capacity)
        return;
    // Only a text longer than the buffer gets here; nothing is left in it.
    m_capacity = n;
    m_buffer.reset(new char[m_capacity]);
}

void JsonLineWriter::append(std::string_view s)
{
    char *out = reserve(s.size());
    std::memcpy(out, s.data(), s.size());
    m_used += s.size();
}

void JsonLineWriter::key(std::string_view k)
{
    char *const start = reserve(k.size() + 4);
    char *out = start;
    if (!m_first)
        *out++ = ',';
    m_first = false;
    *out++ = '"';
    std::memcpy(out, k.data(), k.size());
    out += k.size();
    *out++ = '"';
    *out++ = ':';
    m_used += std::size_t(out - start);
}

void JsonLineWriter::string(std::string_view s)
{
    // Six bytes at most for each byte (\u00XX), and the quotes.
    char *const start = reserve(6 * s.size() + 2);
    char *out = start;
    *out++ = '"';
    for (const char c : s) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b != '"' && b != '\\')
            *out++ = c;
        else
            out = escapeAscii(out, b);
    }
    *out++ = '"';
    m_used += std::size_t(out - start);
}

void JsonLineWriter::string(QStringView s)
{
    // Six bytes at most for each UTF-16 unit (\u00XX; a character outside
    // the BMP takes two units and four bytes), and the quotes.
    char *const start = reserve(6 * std::size_t(s.size()) + 2);
    char *out = start;
    *out++ = '"';
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s[i].unicode();
        if (c < 0x80) {
            // The common case: plain ASCII.
            if (c >= 0x20 && c != '"' && c != '\\')
                *out++ = char(c);
            else
                out = escapeAscii(out, c);
            continue;
        }
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), s[i + 1].unicode());
            ++i;
        } else if (QChar::isSurrogate(c)) {
            c = 0xFFFD;
        }
        if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            *out++ = char(0xE0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        } else {
            *out++ = char(0xF0 | (c >> 18));
            *out++ = char(0x80 | ((c >> 12) & 0x3F));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        }
    }
    *out++ = '"';
    m_used += std::size_t(out - start);
}

void JsonLineWriter::number(double v)
{
    if (!std::isfinite(v)) {
        append("null");
        return;
    }
    constexpr std::size_t Room = 32;
    char *const start = reserve(Room);
    const auto result = std::to_chars(start, start + Room, v);
    m_used += std::size_t(result.ptr - start);
}

void JsonLineWriter::integer(long long v)
{
    constexpr std::size_t Room = 24;
    char *const start = reserve(Room);
    const auto result = std::to_chars(start, start + Room, v);
    m_used += std::size_t(result.ptr - start);
}

bool JsonLineWriter::flush()
{
    if (m_used > 0) {
        if (std::fwrite(m_buffer.get(), 1, m_used, m_out) != m_used)
            m_failed = true;
        m_used = 0;
    }
    if (std::fflush(m_out) != 0)
        m_failed = true;
    return !m_failed;
}
