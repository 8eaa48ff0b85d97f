#include "meter/meterframe.h"

#include <algorithm>

void MeterFrame::assign(QByteArrayView bytes)
{
    m_size = int(std::min<qsizetype>(bytes.size(), Capacity));
    std::copy_n(reinterpret_cast<const std::uint8_t *>(bytes.data()), m_size, m_bytes.begin());
}

QString MeterFrame::toHex() const
{
    QString text(length(), Qt::Uninitialized);
    QChar *out = text.data();
    for (int i = 0; i < m_size; ++i) {
        *out++ = QLatin1Char(hexDigit(m_bytes[i] >> 4));
        *out++ = QLatin1Char(hexDigit(m_bytes[i]));
    }
    return text;
}
