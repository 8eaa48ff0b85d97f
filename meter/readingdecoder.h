#pragma once

#include "meter/reading.h"

#include <QString>

class DecoderHost;
class FrameText;
class LocaleInfo;

// The mode of the previous frame; a change resets MIN/MAX and re-applies the
// chart's series choice.
struct ModeMemory
{
    QString UnitText;
    QString AcDcText;
    int PointIndex = 0;
};

// Turns an accepted frame into the current Reading and keeps the decoder's
// memory between frames (MIN/MAX of the current mode, the full-scale count
// that over-range and MIN/MAX resets use, the chart's vertical range).
class ReadingDecoder
{
public:
    ReadingDecoder(const LocaleInfo &locale, DecoderHost &host);

    // The values the window sets at start-up.
    void resetToStartValues();

    // Decodes one frame that passed the framing test. A frame that holds a hex
    // letter in a digit (other than the over-range mark) or in the point code
    // cannot be a number: it is dropped before anything changes, and the
    // result is false.
    bool LcdDisplayQM330(const FrameText &frame);

    // Whether a frame that passed the framing test can be decoded.
    static bool decodable(const FrameText &frame);

    Reading reading;

    // Decoder memory.
    int FullScaleCount = 4000;
    ModeMemory modeMemory;
    float MaxCount = -4001.0f;
    float MinCount = 4001.0f;
    QString MaxValueText;
    QString MinValueText;
    double LastAxisMaximum = 0;
    QString LocaleDecimalSeparator;

    // The chart's vertical axis as the decoder last set it.
    double AxisMaximum = 4000;
    double AxisMinimum = -4000;
    // The last range row (1 to 46) that applied to the current reading; 0 for none.
    int RangeRowNumber = 0;

private:
    void applySameModeRule();
    void resetMinMax();
    void applyRangeRows();

    const LocaleInfo &m_locale;
    DecoderHost &m_host;
};
