#include "session/localclock.h"

#include <algorithm>
#include <ctime>

namespace {

class PosixClock : public LocalClock
{
public:
    qint64 utcMilliseconds() const override
    {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
    }

    QTime localTimeOfDay(qint64 utcSeconds) const override
    {
        // The zone is read afresh (TZ, else /etc/localtime), so one that
        // changes while the program runs is followed; localtime_r alone
        // would keep the first one it read.
        tzset();
        const std::time_t t = std::time_t(utcSeconds);
        std::tm local{};
        if (!localtime_r(&t, &local))
            return QTime(0, 0);
        // A leap second shows as 60; the toolkit's time stops at 59.
        return QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59));
    }
};

} // namespace

std::unique_ptr<LocalClock> createSystemClock()
{
    return std::make_unique<PosixClock>();
}
