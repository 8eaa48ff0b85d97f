#pragma once

#include "meter/frametext.h"

#include <QString>

#include <cstdint>

class FrameText;

// Where assembled frames and the diagnostic texts of assembly go.
class AssemblyHost
{
public:
    virtual ~AssemblyHost() = default;
    // A frame passed the framing test: decode it (LcdDisplayQM330).
    virtual void decodeFrame(const FrameText &frame) = 0;
    // A data-carrying HID report, as its report line for the history list.
    // Only called when wantsReportLines() is true.
    virtual bool wantsReportLines() const { return true; }
    virtual void addReportLine(const QString &line) { Q_UNUSED(line) }
    // The diagnostic text of the nibble-trace handlers (hidden label USBtxt).
    virtual void showNibbleTrace(const QString &text) { Q_UNUSED(text) }
};

// Rebuilds the meter's frames from the two links and applies the framing
// test. COM: frames end at CR and the byte before the sign (normally the LF
// of the previous frame) is always dropped. USB: the cable's reports carry a
// count byte and up to nine payload bytes; a report without payload ends the
// burst, and the burst is the frame.
class FrameAssembler
{
public:
    explicit FrameAssembler(AssemblyHost &host) : m_host(host) {}

    // Serial receive event: a batch of bytes from the port.
    void RECEIVE_COM_Data(const std::uint8_t *data, int size);

    // HID data events: report ID and the `size` data bytes after it.
    void HidReportQM330(std::uint8_t reportId, const std::uint8_t *data, int size);
    void HidReportQM610(std::uint8_t reportId, const std::uint8_t *data, int size);
    void HidReportQM520(std::uint8_t reportId, const std::uint8_t *data, int size);

    // "R %.2x  " and "%.2x " per data byte.
    static QString ReportLine(std::uint8_t reportId, const std::uint8_t *data, int size);

    // Reports of at least one data byte since the last data-carrying one; the
    // connection timer's idle test reads it, the USB connect resets it.
    std::int32_t EmptyReportCount = 0;
    bool HidBurstOpen = false;

    const FrameText &lastFrame() const { return m_frame; }

private:
    enum class BurstEnd { Decode, Trace14, Trace11 };
    void hidReport(std::uint8_t reportId, const std::uint8_t *data, int size, BurstEnd atEnd);
    void endBurst(BurstEnd atEnd);

    AssemblyHost &m_host;
    FrameText m_frame;   // FrameText: the frame handed to the decoder

    // Serial buffer since the last CR. Only its first 14 bytes can matter and
    // only a buffer of 13 or 14 bytes can pass the framing test, so the bytes
    // are kept up to 14 and the rest only counted.
    static constexpr int SerialKeep = 14;
    std::uint8_t m_serial[SerialKeep] = {};
    int m_serialCount = 0;

    FrameText m_hid;     // payload bytes of the current burst
};
