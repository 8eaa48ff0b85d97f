#include "cli/readingjson.h"

#include "cli/jsonwriter.h"
#include "meter/framedecoder.h"
#include "meter/meterframe.h"

#include <array>
#include <bit>
#include <string_view>

void writeReadingJson(JsonLineWriter &out, const MeterFrame &frame, const DecodeResult &result)
{
    const Reading &r = result.reading;
    char hex[2 * MeterFrame::Capacity];
    for (int i = 0; i < frame.size(); ++i) {
        hex[2 * i] = hexDigit(frame.byte(i + 1) >> 4);
        hex[2 * i + 1] = hexDigit(frame.byte(i + 1));
    }
    out.beginObject();
    out.field("frame", std::string_view(hex, std::size_t(frame.length())));
    out.field("value", r.valueText);
    out.field("count", static_cast<long long>(r.count));
    out.field("numeric", r.numericValue);
    out.field("function", functionText(r.function));
    out.field("unit", unitText(r.unit));
    out.field("range", rangeText(r.range));
    out.field("judge", judgementText(r.judgement));
    static const auto names = [] {
        std::array<std::string_view, AnnunciatorCount> n;
        for (int i = 0; i < AnnunciatorCount; ++i)
            n[std::size_t(i)] = annunciatorName(Annunciator(i));
        return n;
    }();
    out.beginArray("flags");
    for (std::uint32_t bits = r.flags.bits(); bits != 0; bits &= bits - 1)
        out.element(names[std::size_t(std::countr_zero(bits))]);
    out.endArray();
    out.field("axis_min", result.axisMinimum);
    out.field("axis_max", result.axisMaximum);
    out.field("min", result.minText);
    out.field("max", result.maxText);
    out.endObject();
}
