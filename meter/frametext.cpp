#include "meter/frametext.h"

#include <algorithm>

void FrameText::assign(const std::uint8_t *bytes, int count)
{
    m_size = std::clamp(count, 0, Capacity);
    std::copy_n(bytes, m_size, m_bytes.begin());
}

QChar FrameText::character(int c) const
{
    const int n = nibble(c);
    return n < 0 ? QChar() : QChar(QLatin1Char(hexDigit(n)));
}

QString FrameText::toHex() const
{
    QString text(length(), Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 0; i < m_size; ++i) {
        *out++ = QLatin1Char(hexDigit(m_bytes[i] >> 4));
        *out++ = QLatin1Char(hexDigit(m_bytes[i]));
    }
    return text;
}
