#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <limits>

// Writes moments as local date and time with the time zone's offset, ISO
// 8601 to the millisecond: "2024-05-01T22:15:03.250+02:00". The zone's
// offset is asked once per quarter hour of UTC (every change of offset
// falls on one), so a million moments cost a few hundred questions.
class LocalTimestamp
{
public:
    // `utcMilliseconds` since 1970-01-01 00:00 UTC.
    void append(QByteArray &out, qint64 utcMilliseconds);

private:
    qint64 m_quarter = std::numeric_limits<qint64>::min();
    qint64 m_offsetMs = 0;
};
