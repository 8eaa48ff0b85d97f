#pragma once

#include "log/localtimestamp.h"

#include <QByteArray>
#include <QtGlobal>

struct Reading;

// One reading as the broker receives it, a JSON object in UTF-8:
//
//   {"time":"2024-05-01T22:15:03.250+02:00","frame":123,"value":-1.234,
//    "unit":"mV","function":"DC","judgement":"pass","display":"-1.234"}
//
// time is when the frame was decoded (local time with the zone's offset),
// frame the number of the decoded frame since the program started, value
// the displayed number in its unit (null when the display is no number, as
// over range), unit with its symbols ("kΩ", "µA", "°C"), function and
// judgement as the log holds them, display the digits as shown.
class ReadingMessage
{
public:
    QByteArray messageFor(const Reading &reading, qint64 frame, qint64 utcMilliseconds);

private:
    LocalTimestamp m_timestamp;
};
