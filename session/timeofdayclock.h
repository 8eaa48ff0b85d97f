#pragma once

#include "log/readinglogger.h"
#include "session/localclock.h"

#include <QTime>
#include <QtGlobal>

#include <limits>
#include <memory>

// The local time of day that each logged reading carries. Asking the time
// zone is costly (with no TZ set, every conversion looks at /etc/localtime
// again), far more than decoding a frame, and a capture file brings a
// million frames a second. Within one second of the clock the answer differs
// only in its milliseconds, so the zone is asked once per second: any new
// second, whether the clock moved on, was set back or forth, or crossed
// midnight or a change of daylight saving time, is converted afresh. A zone
// changed while the program runs is seen from the next second on.
class TimeOfDayClock
{
public:
    explicit TimeOfDayClock(std::unique_ptr<LocalClock> clock = createSystemClock());

    QTime now();
    // The time of day with the moment it belongs to, for a logged row.
    LogTime stamp();

private:
    std::unique_ptr<LocalClock> m_clock;
    qint64 m_second = std::numeric_limits<qint64>::min(); // the UTC second converted last
    QTime m_timeOfSecond;
};
