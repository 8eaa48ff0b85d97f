#include "tools/readingjson.h"

#include "meter/framedecoder.h"
#include "meter/meterframe.h"
#include "tools/jsonwriter.h"

void writeReadingJson(JsonLineWriter &out, const MeterFrame &frame, const DecodeResult &result)
{
    const Reading &r = result.reading;
    out.beginObject();
    out.field("frame", frame.toHex());
    out.field("value", r.valueText);
    out.field("count", static_cast<long long>(r.count));
    out.field("numeric", r.numericValue);
    out.field("function", r.functionText);
    out.field("unit", r.unitText);
    out.field("range", r.rangeText);
    out.field("judge", r.judgeText);
    out.beginArray("flags");
    for (int i = 0; i < AnnunciatorCount; ++i) {
        if (r.has(Annunciator(i)))
            out.element(annunciatorName(Annunciator(i)));
    }
    out.endArray();
    out.field("axis_min", result.axisMinimum);
    out.field("axis_max", result.axisMaximum);
    out.field("min", result.minText);
    out.field("max", result.maxText);
    out.endObject();
}
