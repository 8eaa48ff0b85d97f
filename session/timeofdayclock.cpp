#include "session/timeofdayclock.h"

TimeOfDayClock::TimeOfDayClock(std::unique_ptr<LocalClock> clock)
    : m_clock(std::move(clock))
{ }

QTime TimeOfDayClock::now()
{
    return stamp().timeOfDay;
}

LogTime TimeOfDayClock::stamp()
{
    const qint64 ms = m_clock->utcMilliseconds();
    // Floor division: the second that holds this millisecond.
    qint64 second = ms / 1000;
    int milliseconds = int(ms % 1000);
    if (milliseconds < 0) {
        --second;
        milliseconds += 1000;
    }
    if (second != m_second) {
        m_timeOfSecond = m_clock->localTimeOfDay(second);
        m_second = second;
    }
    return LogTime{m_timeOfSecond.addMSecs(milliseconds), ms};
}
