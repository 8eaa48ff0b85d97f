#pragma once

#include "meter/decoderhost.h"
#include "meter/frameassembler.h"
#include "meter/readingdecoder.h"

#include <QString>

#include <functional>

class JsonLineWriter;
class LocaleInfo;

// The meter core as the command-line tool runs it: frame assembly and the
// decoder with start-up values, fixed limit texts for the judgement, and a
// callback after every decoded frame.
class DecodeSession : public AssemblyHost, public DecoderHost
{
public:
    DecodeSession(const LocaleInfo &locale, QString lowLimit, QString highLimit);

    FrameAssembler assembler{*this};
    ReadingDecoder decoder;

    // After every decoded frame, with the decoder holding its results.
    std::function<void(const ReadingDecoder &)> frameDecoded;
    // Per-frame logging (the decoder's hand-off when not sampling).
    std::function<void()> inDataToTable;

    long long decodedFrames = 0;

    // AssemblyHost
    void decodeFrame(const FrameText &frame) override;
    bool wantsReportLines() const override { return false; }

    // DecoderHost
    void rewriteLimitTexts(const QString &decimalSeparator) override;
    void judge(Reading &reading) override;
    void INDataToTable() override;

    QString lowLimit;
    QString highLimit;
};

// One JSON object for the decoder's current results, as `decode` prints them.
void writeReadingJson(JsonLineWriter &out, const ReadingDecoder &decoder, const FrameText &frame);
