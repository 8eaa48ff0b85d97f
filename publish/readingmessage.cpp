#include "publish/readingmessage.h"

#include "log/loggedvalue.h"
#include "log/unitsymbols.h"
#include "meter/reading.h"

#include <charconv>

namespace {

void appendString(QByteArray &out, QStringView text)
{
    out += '"';
    const QByteArray utf8 = text.toUtf8();
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            static const char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[u >> 4];
            out += hex[u & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

template <typename Number> void appendNumber(QByteArray &out, Number value)
{
    char digits[32];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    out.append(digits, end - digits);
}

} // namespace

QByteArray ReadingMessage::messageFor(const Reading &reading, qint64 frame, qint64 utcMilliseconds)
{
    QByteArray out;
    out.reserve(192);
    out += "{\"time\":\"";
    m_timestamp.append(out, utcMilliseconds);
    out += "\",\"frame\":";
    appendNumber(out, frame);
    out += ",\"value\":";
    if (const std::optional<double> value = loggedValue(reading.valueText))
        appendNumber(out, *value);
    else
        out += "null";
    out += ",\"unit\":";
    appendString(out, lcdUnitText(unitText(reading.unit)));
    out += ",\"function\":";
    appendString(out, functionText(reading.function));
    out += ",\"judgement\":";
    appendString(out, judgementText(reading.judgement));
    out += ",\"display\":";
    appendString(out, reading.valueText);
    out += '}';
    return out;
}
