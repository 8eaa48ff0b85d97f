#include "meter/frameassembler.h"

namespace {

constexpr std::uint8_t Plus = 0x2B;
constexpr std::uint8_t Minus = 0x2D;
constexpr std::uint8_t CR = 0x0D;

bool isSign(std::uint8_t b) { return b == Plus || b == Minus; }

// The framing key: the sign in characters 1-2 and CR in the character pair
// of frame byte `crByte`; characters past the end of the text never match.
bool framingKey(const FrameText &frame, int crByte)
{
    return frame.size() >= crByte && isSign(frame.byte(1)) && frame.byte(crByte) == CR;
}

} // namespace

void FrameAssembler::RECEIVE_COM_Data(const std::uint8_t *data, int size)
{
    for (int i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        if (m_serialCount < SerialKeep)
            m_serial[m_serialCount] = b;
        if (m_serialCount <= SerialKeep)
            ++m_serialCount;   // past SerialKeep only "longer than a frame" matters
        if (b != CR)
            continue;

        // The buffer without its first byte (normally the LF that closed the
        // previous frame), at most 13 bytes.
        const int kept = m_serialCount < SerialKeep ? m_serialCount : SerialKeep;
        m_frame.assign(m_serial + 1, kept - 1);
        // CR as byte 13 is the full frame; CR as byte 12 the short frame
        // without its unread byte 12.
        if (framingKey(m_frame, 13) || framingKey(m_frame, 12))
            m_host.decodeFrame(m_frame);
        m_serialCount = 0;
    }
}

QString FrameAssembler::ReportLine(std::uint8_t reportId, const std::uint8_t *data, int size)
{
    QString line;
    line.reserve(6 + 3 * size);
    line.append(u'R');
    line.append(u' ');
    line.append(QLatin1Char(hexDigit(reportId >> 4)));
    line.append(QLatin1Char(hexDigit(reportId)));
    line.append(QLatin1String("  "));
    for (int i = 0; i < size; ++i) {
        line.append(QLatin1Char(hexDigit(data[i] >> 4)));
        line.append(QLatin1Char(hexDigit(data[i])));
        line.append(u' ');
    }
    return line;
}

void FrameAssembler::HidReportQM330(std::uint8_t reportId, const std::uint8_t *data, int size)
{
    hidReport(reportId, data, size, BurstEnd::Decode);
}

void FrameAssembler::HidReportQM610(std::uint8_t reportId, const std::uint8_t *data, int size)
{
    hidReport(reportId, data, size, BurstEnd::Trace14);
}

void FrameAssembler::HidReportQM520(std::uint8_t reportId, const std::uint8_t *data, int size)
{
    hidReport(reportId, data, size, BurstEnd::Trace11);
}

void FrameAssembler::hidReport(std::uint8_t reportId, const std::uint8_t *data, int size, BurstEnd atEnd)
{
    // Data byte 1 is the cable's count byte: its low nibble 1 to 9 is the
    // number of payload bytes that follow; 0 and A to F carry none.
    if (size >= 1)
        ++EmptyReportCount;
    const int count = size >= 1 ? (data[0] & 0x0F) : 0;
    if (count >= 1 && count <= 9) {
        EmptyReportCount = 0;
        HidBurstOpen = true;
        for (int i = 1; i <= count && i < size; ++i)
            m_hid.append(data[i]);
        if (m_host.wantsReportLines())
            m_host.addReportLine(ReportLine(reportId, data, size));
        return;
    }
    if (HidBurstOpen)
        endBurst(atEnd);
    HidBurstOpen = false;
}

void FrameAssembler::endBurst(BurstEnd atEnd)
{
    switch (atEnd) {
    case BurstEnd::Decode:
        // The cable fills the pauses between frames with empty reports, so
        // a burst is one frame, CR and LF included; only the full frame (CR
        // as byte 13) is accepted here.
        m_frame = m_hid;
        if (framingKey(m_frame, 13))
            m_host.decodeFrame(m_frame);
        break;
    case BurstEnd::Trace14:
    case BurstEnd::Trace11: {
        const int digits = atEnd == BurstEnd::Trace14 ? 14 : 11;
        QString trace;
        for (int k = 1; k <= digits && k <= m_hid.size(); ++k)
            trace.append(QLatin1Char(hexDigit(m_hid.byte(k))));
        if (atEnd == BurstEnd::Trace11 && trace.size() == 11)
            trace = trace.right(1) + trace.left(10);
        m_host.showNibbleTrace(trace);
        break;
    }
    }
    m_hid.clear();
}
