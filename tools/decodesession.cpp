#include "tools/decodesession.h"

#include "meter/limits.h"
#include "tools/jsonwriter.h"

DecodeSession::DecodeSession(const LocaleInfo &locale, QString low, QString high)
    : decoder(locale, *this)
    , lowLimit(std::move(low))
    , highLimit(std::move(high))
{
}

void DecodeSession::decodeFrame(const FrameText &frame)
{
    if (!decoder.LcdDisplayQM330(frame))
        return;
    ++decodedFrames;
    if (frameDecoded)
        frameDecoded(decoder);
}

void DecodeSession::rewriteLimitTexts(const QString &decimalSeparator)
{
    highLimit = rewriteLimitText(highLimit, decimalSeparator);
    lowLimit = rewriteLimitText(lowLimit, decimalSeparator);
}

void DecodeSession::judge(Reading &reading)
{
    const Judgement j = judgeValue(reading.ValueText, highLimit, lowLimit, decoder.LocaleDecimalSeparator);
    if (j != Judgement::NotJudged)
        reading.JudgeText = judgeText(j);
}

void DecodeSession::INDataToTable()
{
    if (inDataToTable)
        inDataToTable();
}

void writeReadingJson(JsonLineWriter &out, const ReadingDecoder &decoder, const FrameText &frame)
{
    const Reading &r = decoder.reading;
    out.beginObject();
    out.field("frame", frame.toHex());
    out.field("value", r.ValueText);
    out.field("count", static_cast<long long>(r.CountValue));
    out.field("numeric", r.NumericValue);
    out.field("function", r.AcDcText);
    out.field("unit", r.UnitText);
    out.field("range", r.RangeText);
    out.field("judge", r.JudgeText);
    out.beginArray("flags");
    for (int i = 0; i < AnnunciatorCount; ++i) {
        if (r.has(Annunciator(i)))
            out.element(annunciatorName(Annunciator(i)));
    }
    out.endArray();
    out.field("axis_min", decoder.AxisMinimum);
    out.field("axis_max", decoder.AxisMaximum);
    out.field("min", decoder.MinValueText);
    out.field("max", decoder.MaxValueText);
    out.endObject();
}
