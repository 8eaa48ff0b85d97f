#pragma once

#include <QByteArrayView>
#include <QChar>
#include <QString>

#include <array>
#include <cstdint>

// The meter sends its display as 14-byte frames:
//
//   byte  1      sign, '+' (0x2B) or '-' (0x2D)
//   bytes 2-5    four ASCII digits; a low nibble of 0xF in byte 2 marks over-range
//   byte  6      not read
//   byte  7      decimal-point code in the low nibble: 1 d.ddd, 2 dd.dd, 4 ddd.d, else none
//   bytes 8-11   four status bytes, one bit per annunciator
//   byte  12     not read
//   byte  13     CR (0x0D)
//   byte  14     LF, the gap before the next frame
//
// A frame is also known by its hex text, two upper-case hex digits per byte,
// byte k at characters 2k-1 and 2k (counted from 1): the decoder addresses
// the digits and the point code by character. MeterFrame keeps the bytes and
// answers for that text, so the hot path never formats hex it does not need.
// Only the first bytes matter for decoding; a USB burst longer than Capacity
// keeps its first Capacity bytes.
class MeterFrame
{
public:
    static constexpr int Capacity = 64;

    MeterFrame() = default;
    explicit MeterFrame(QByteArrayView bytes) { assign(bytes); }

    void clear() { m_size = 0; }
    void assign(QByteArrayView bytes);
    void append(std::uint8_t b)
    {
        if (m_size < Capacity)
            m_bytes[m_size++] = b;
    }

    int size() const { return m_size; }       // bytes held
    int length() const { return 2 * m_size; } // characters of the hex text
    bool isEmpty() const { return m_size == 0; }
    std::uint8_t byte(int k) const { return m_bytes[k - 1]; } // k from 1
    QByteArrayView bytes() const { return {reinterpret_cast<const char *>(m_bytes.data()), m_size}; }

    // Value 0..15 of hex character c (from 1), or -1 past the end of the text.
    int nibble(int c) const
    {
        if (c < 1 || c > length())
            return -1;
        const std::uint8_t b = m_bytes[(c - 1) / 2];
        return (c % 2) ? (b >> 4) : (b & 0x0F);
    }
    QString toHex() const;

    bool operator==(const MeterFrame &other) const { return bytes() == other.bytes(); }

private:
    std::array<std::uint8_t, Capacity> m_bytes{};
    int m_size = 0;
};

// Upper-case hex digit of a nibble value.
inline char hexDigit(int nibble)
{
    return "0123456789ABCDEF"[nibble & 0xF];
}
