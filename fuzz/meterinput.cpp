#include "fuzz/meterinput.h"

#include "meter/frameassembler.h"
#include "meter/framedecoder.h"
#include "meter/limits.h"
#include "shared/localenumber.h"

#include <cmath>
#include <cstdlib>

namespace {

// Checks what must hold for every decoded frame, whatever the bytes were.
void decodeAndCheck(FrameDecoder &decoder, const MeterFrame &frame, const QString &separator)
{
    DecodeResult *result = decoder.decode(frame, separator);
    if (!result)
        return;
    Reading &r = result->reading;
    if (!std::isfinite(r.numericValue) || std::fabs(r.count) > 9999 || r.valueText.size() > 12 || r.pointPosition < 0
        || r.pointPosition > 3)
        std::abort();
    r.judgement = judgeValue(r.valueText, QStringLiteral("4000"), QStringLiteral("-4000"), separator);
}

} // namespace

void feedMeterInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    const std::uint8_t mode = data[0];
    ++data;
    --size;

    const QString separator = (mode & 1) ? QStringLiteral(",") : QStringLiteral(".");
    FrameAssembler assembler;
    FrameDecoder decoder;

    // The serial path, cut into batches whose sizes come from the mode byte.
    const std::size_t step = 1 + (mode >> 1) % 29;
    for (std::size_t at = 0; at < size; at += step) {
        QByteArrayView batch(data + at, qsizetype(std::min(step, size - at)));
        while (const std::optional<MeterFrame> frame = assembler.takeSerialFrame(batch))
            decodeAndCheck(decoder, *frame, separator);
    }

    // The HID path: [length][report ID][data...] records.
    std::size_t at = 0;
    long long lineLength = 0;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        ++at;
        const std::uint8_t id = length > 0 ? data[at] : 0;
        const QByteArrayView report(data + at + (length > 0 ? 1 : 0), qsizetype(length > 0 ? length - 1 : 0));
        const FrameAssembler::ReportResult result = assembler.addReport(report);
        if (result.carriedPayload)
            lineLength += FrameAssembler::reportLine(id, report).size();
        if (result.frame)
            decodeAndCheck(decoder, *result.frame, separator);
        at += length;
    }
    if (lineLength < 0)
        std::abort();

    // The limit rules on the bytes as text.
    const QString text =
        QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(std::min<std::size_t>(size, 256)));
    (void)parseLocaleNumber(text, separator);
    (void)rewriteLimitText(text, separator);
    (void)validatedLimitText(text, QStringLiteral("4000"), separator);
    (void)judgeValue(text, text, text, separator);
    for (QChar key : text)
        (void)limitKeyAccepted(key, text, separator, separator);
}
