#pragma once

#include "meter/reading.h"

#include <QString>

#include <optional>

class MeterFrame;

// What the decoder remembers from frame to frame.
struct DecoderMemory
{
    // The full-scale count that an over-range display and a MIN/MAX restart
    // count from; it follows the unit of the previous frame.
    int fullScaleCount = 4000;
    // The mode (unit, function, point) of the previous frame; a change
    // restarts MIN/MAX. No unit before the first frame, so that frame is a
    // change.
    std::optional<Reading::Unit> modeUnit;
    Reading::Function modeFunction = Reading::Function::None;
    int modePointPosition = 0;
    float maxCount = -4001.0f;
    float minCount = 4001.0f;
    double lastAxisMaximum = 0;
};

// The chart's vertical axis at start-up (plus and minus this), and for a
// frame that no range of the meter fits.
inline constexpr double StartAxisLimit = 4000;

// What one frame decodes to.
struct DecodeResult
{
    // The decoder never touches reading.judgement: the judgement is the
    // caller's, and a frame that is not judged keeps the last one.
    Reading reading;
    QString maxText; // the MAX and MIN displays of the current mode
    QString minText;
    double axisMaximum = StartAxisLimit; // the chart's vertical range for the meter's range
    double axisMinimum = -StartAxisLimit;
    bool axisMaximumChanged = false; // since the previous frame
    int rangeRow = 0;                // the last row of the range table that applied (1 to 46); 0 for none
};

// Turns a frame that passed the framing test into a reading, and keeps the
// memory that reading depends on: MIN/MAX of the current mode and the full
// scale of the previous frame.
class FrameDecoder
{
public:
    FrameDecoder();

    // Back to the start values.
    void reset();

    // Decodes one frame with the user's current decimal separator. A frame
    // that holds a hex letter in a digit (other than the over-range mark) or
    // in the point code cannot be a number: it is dropped before anything
    // changes, and the result is null. The result is the decoder's own and
    // stays valid until the next call; its texts keep their buffers from
    // frame to frame, so a steady stream of frames decodes without
    // allocating.
    DecodeResult *decode(const MeterFrame &frame, const QString &decimalSeparator);

    // Whether a frame that passed the framing test can be decoded.
    static bool decodable(const MeterFrame &frame);

    const DecoderMemory &memory() const { return m_memory; }
    // The result of the last decoded frame, or the start values.
    const DecodeResult &lastResult() const { return m_result; }

private:
    void recordMinMax();
    void restartMinMax();

    DecoderMemory m_memory;
    DecodeResult m_result;
};
