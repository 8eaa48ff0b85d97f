#pragma once

#include "meter/meterframe.h"

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

// Rebuilds the meter's frames from what the two links deliver and applies the
// framing test (the sign first, CR in its place). Serial: frames end at CR,
// and the byte before the sign (normally the LF of the previous frame) is
// always dropped. USB: the cable's reports carry a count byte and up to nine
// payload bytes; a report without payload ends the burst, and the burst is
// the frame.
class FrameAssembler
{
public:
    // Takes bytes from the front of `bytes` up to the CR that closes the next
    // frame passing the framing test, and returns that frame; returns nothing
    // once every byte is taken. So a batch is assembled with
    //     while (auto frame = assembler.takeSerialFrame(bytes)) ...
    std::optional<MeterFrame> takeSerialFrame(QByteArrayView &bytes);

    struct ReportResult
    {
        bool carriedPayload = false;     // the report held meter bytes
        std::optional<MeterFrame> frame; // the burst it closed, when that passed the framing test
    };
    // One input report of the cable; `data` holds the bytes after the report
    // ID, the count byte first.
    ReportResult addReport(QByteArrayView data);

    // A link opened (again): bytes left from before belong to no frame of
    // the new stream, and counted with its first frame they would make it
    // fail the framing test.
    void startLink()
    {
        m_serialCount = 0;
        m_burst = MeterFrame();
        m_burstOpen = false;
        m_emptyReportCount = 0;
    }

    // Reports since the last one that carried meter bytes: a cable that keeps
    // reporting nothing is plugged in while the meter sends nothing.
    std::int32_t emptyReportCount() const { return m_emptyReportCount; }
    void resetEmptyReportCount() { m_emptyReportCount = 0; }

    // "R " and the report ID, two blanks, then each data byte and a blank,
    // in upper-case hex: the diagnostic line of a report.
    static QString reportLine(std::uint8_t reportId, QByteArrayView data);

private:
    // Only the first 14 bytes since the last CR can matter, and only a buffer
    // of 13 or 14 bytes can pass the framing test, so the bytes are kept up
    // to 14 and the rest only counted.
    static constexpr int SerialKeep = 14;
    std::uint8_t m_serial[SerialKeep] = {};
    int m_serialCount = 0;

    MeterFrame m_burst; // payload bytes of the current USB burst
    bool m_burstOpen = false;
    std::int32_t m_emptyReportCount = 0;
};
