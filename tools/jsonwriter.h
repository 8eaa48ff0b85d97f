#pragma once

#include <QStringView>

#include <cstdio>
#include <string>
#include <string_view>

// Writes JSON lines to a stdio stream through one growing buffer, so that a
// long decode costs a write call per 64 KiB rather than per line.
class JsonLineWriter
{
public:
    explicit JsonLineWriter(std::FILE *out) : m_out(out) { m_buffer.reserve(1 << 17); }
    ~JsonLineWriter() { flush(); }

    void beginObject() { m_buffer += '{'; m_first = true; }
    void endObject() { m_buffer += "}\n"; if (m_buffer.size() >= (1 << 16)) flush(); }
    void beginArray(std::string_view key) { this->key(key); m_buffer += '['; m_first = true; }
    void endArray() { m_buffer += ']'; m_first = false; }

    void field(std::string_view key, QStringView value) { this->key(key); string(value); }
    void field(std::string_view key, std::string_view latin1) { this->key(key); string(latin1); }
    void field(std::string_view key, double value) { this->key(key); number(value); }
    void field(std::string_view key, long long value) { this->key(key); integer(value); }
    void nullField(std::string_view key) { this->key(key); m_buffer += "null"; }
    void element(std::string_view latin1) { separator(); string(latin1); }

    bool flush();
    bool failed() const { return m_failed; }

private:
    void separator() { if (!m_first) m_buffer += ','; m_first = false; }
    void key(std::string_view k) { separator(); string(k); m_buffer += ':'; }
    void string(QStringView s);
    void string(std::string_view s);
    void number(double v);
    void integer(long long v);

    std::FILE *m_out;
    std::string m_buffer;
    bool m_first = true;
    bool m_failed = false;
};
