#include "meter/frameassembler.h"

namespace {

constexpr std::uint8_t Plus = 0x2B;
constexpr std::uint8_t Minus = 0x2D;
constexpr std::uint8_t CR = 0x0D;

bool isSign(std::uint8_t b)
{
    return b == Plus || b == Minus;
}

// The sign first and CR as frame byte `crByte`.
bool passesFramingTest(const MeterFrame &frame, int crByte)
{
    return frame.size() >= crByte && isSign(frame.byte(1)) && frame.byte(crByte) == CR;
}

} // namespace

std::optional<MeterFrame> FrameAssembler::takeSerialFrame(QByteArrayView &bytes)
{
    const auto *data = reinterpret_cast<const std::uint8_t *>(bytes.data());
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (m_serialCount < SerialKeep)
            m_serial[m_serialCount] = b;
        if (m_serialCount <= SerialKeep)
            ++m_serialCount; // past SerialKeep only "longer than a frame" matters
        if (b != CR)
            continue;

        // The buffer without its first byte (normally the LF that closed the
        // previous frame), at most 13 bytes.
        const int kept = m_serialCount < SerialKeep ? m_serialCount : SerialKeep;
        m_serialCount = 0;
        const MeterFrame frame(QByteArrayView(m_serial + 1, kept - 1));
        // CR as byte 13 is the full frame; CR as byte 12 the short frame
        // without its unread byte 12.
        if (passesFramingTest(frame, 13) || passesFramingTest(frame, 12)) {
            bytes = bytes.sliced(i + 1);
            return frame;
        }
    }
    bytes = bytes.sliced(size);
    return std::nullopt;
}

FrameAssembler::ReportResult FrameAssembler::addReport(QByteArrayView data)
{
    ReportResult result;
    // Data byte 1 is the cable's count byte: its low nibble 1 to 9 is the
    // number of payload bytes that follow; 0 and A to F carry none.
    if (!data.isEmpty())
        ++m_emptyReportCount;
    const int count = data.isEmpty() ? 0 : (std::uint8_t(data[0]) & 0x0F);
    if (count >= 1 && count <= 9) {
        m_emptyReportCount = 0;
        m_burstOpen = true;
        for (int i = 1; i <= count && i < data.size(); ++i)
            m_burst.append(std::uint8_t(data[i]));
        result.carriedPayload = true;
        return result;
    }
    if (m_burstOpen) {
        // The cable fills the pauses between frames with empty reports, so a
        // burst is one frame, CR and LF included; only the full frame (CR as
        // byte 13) is accepted here.
        if (passesFramingTest(m_burst, 13))
            result.frame = m_burst;
        m_burst.clear();
    }
    m_burstOpen = false;
    return result;
}

QString FrameAssembler::reportLine(std::uint8_t reportId, QByteArrayView data)
{
    QString line;
    line.reserve(6 + 3 * data.size());
    line.append(u'R');
    line.append(u' ');
    line.append(QLatin1Char(hexDigit(reportId >> 4)));
    line.append(QLatin1Char(hexDigit(reportId)));
    line.append(QLatin1String("  "));
    for (const char c : data) {
        line.append(QLatin1Char(hexDigit(std::uint8_t(c) >> 4)));
        line.append(QLatin1Char(hexDigit(std::uint8_t(c))));
        line.append(u' ');
    }
    return line;
}
