#include "fuzz/meterinput.h"

#include "meter/decoderhost.h"
#include "meter/frameassembler.h"
#include "meter/limits.h"
#include "meter/localeinfo.h"
#include "meter/localenumber.h"
#include "meter/readingdecoder.h"

#include <cmath>
#include <cstdlib>

namespace {

// Checks what must hold after every decoded frame, whatever the bytes were.
class CheckingHost : public AssemblyHost, public DecoderHost
{
public:
    explicit CheckingHost(const LocaleInfo &locale) : decoder(locale, *this) {}

    void decodeFrame(const FrameText &frame) override
    {
        if (!decoder.LcdDisplayQM330(frame))
            return;
        const Reading &r = decoder.reading;
        if (!std::isfinite(r.NumericValue) || std::fabs(r.CountValue) > 9999
            || r.ValueText.size() > 12 || r.PointIndex < 0 || r.PointIndex > 3)
            std::abort();
    }
    void addReportLine(const QString &line) override { lines += int(line.size()); }
    void showNibbleTrace(const QString &text) override
    {
        if (text.size() > 14)
            std::abort();
    }
    void judge(Reading &reading) override
    {
        const Judgement j = judgeValue(reading.ValueText, QStringLiteral("4000"), QStringLiteral("-4000"),
                                       decoder.LocaleDecimalSeparator);
        reading.JudgeText = judgeText(j);
    }

    ReadingDecoder decoder;
    FrameAssembler assembler{*this};
    long long lines = 0;
};

} // namespace

void feedMeterInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return;
    const std::uint8_t mode = data[0];
    ++data;
    --size;

    FixedLocaleInfo locale((mode & 1) ? QStringLiteral(",") : QStringLiteral("."));
    CheckingHost host(locale);

    // The serial path, cut into batches whose sizes come from the mode byte.
    const std::size_t step = 1 + (mode >> 1) % 29;
    for (std::size_t at = 0; at < size; at += step)
        host.assembler.RECEIVE_COM_Data(data + at, int(std::min(step, size - at)));

    // The HID path: [length][report ID][data...] records, through the handler
    // that the mode byte picks.
    std::size_t at = 0;
    while (at < size) {
        const std::size_t length = std::min<std::size_t>(data[at], size - at - 1);
        ++at;
        const std::uint8_t id = length > 0 ? data[at] : 0;
        const std::uint8_t *report = data + at + (length > 0 ? 1 : 0);
        const int reportSize = length > 0 ? int(length - 1) : 0;
        switch ((mode >> 5) % 3) {
        case 0: host.assembler.HidReportQM330(id, report, reportSize); break;
        case 1: host.assembler.HidReportQM610(id, report, reportSize); break;
        default: host.assembler.HidReportQM520(id, report, reportSize); break;
        }
        at += length;
    }

    // The limit rules on the bytes as text.
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(std::min<std::size_t>(size, 256)));
    const QString separator = locale.userDecimalSeparator();
    (void)parseLocaleNumber(text, separator);
    (void)rewriteLimitText(text, separator);
    (void)validatedLimitText(text, QStringLiteral("4000"), separator);
    (void)judgeValue(text, text, text, separator);
    for (QChar key : text)
        (void)limitKeyAccepted(key, text, separator, separator);
}
