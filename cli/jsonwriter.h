#pragma once

#include <QStringView>

#include <cstdio>
#include <memory>
#include <string_view>

// Writes JSON lines to a stdio stream through one buffer, so that a long
// decode costs a write call per 64 KiB rather than per line. A capture file
// brings a million frames a second, so each piece is put straight into the
// buffer, with room made for it once.
class JsonLineWriter
{
public:
    explicit JsonLineWriter(std::FILE *out);
    ~JsonLineWriter() { flush(); }

    void beginObject()
    {
        put('{');
        m_first = true;
    }
    void endObject()
    {
        put('}');
        put('\n');
        if (m_used >= FlushAt)
            flush();
    }
    void beginArray(std::string_view key)
    {
        this->key(key);
        put('[');
        m_first = true;
    }
    void endArray()
    {
        put(']');
        m_first = false;
    }

    void field(std::string_view key, QStringView value)
    {
        this->key(key);
        string(value);
    }
    void field(std::string_view key, std::string_view latin1)
    {
        this->key(key);
        string(latin1);
    }
    void field(std::string_view key, double value)
    {
        this->key(key);
        number(value);
    }
    void field(std::string_view key, long long value)
    {
        this->key(key);
        integer(value);
    }
    void nullField(std::string_view key)
    {
        this->key(key);
        append("null");
    }
    void element(std::string_view latin1)
    {
        separator();
        string(latin1);
    }

    bool flush();
    bool failed() const { return m_failed; }

private:
    static constexpr std::size_t FlushAt = 1 << 16;

    // Room for `n` more bytes: the buffer is written out first, or grows
    // for a piece larger than itself.
    char *reserve(std::size_t n)
    {
        if (m_used + n > m_capacity)
            makeRoom(n);
        return m_buffer.get() + m_used;
    }
    void makeRoom(std::size_t n);
    void put(char c)
    {
        *reserve(1) = c;
        ++m_used;
    }
    void append(std::string_view s);
    void separator()
    {
        if (!m_first)
            put(',');
        m_first = false;
    }
    // Keys are the program's own words and need no escaping.
    void key(std::string_view k);
    void string(QStringView s);
    void string(std::string_view s);
    void number(double v);
    void integer(long long v);

    std::FILE *m_out;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
    bool m_first = true;
    bool m_failed = false;
};
