#include "session/localclock.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace {

class WindowsClock : public LocalClock
{
public:
    qint64 utcMilliseconds() const override
    {
        using namespace std::chrono;
        return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    }

    QTime localTimeOfDay(qint64 utcSeconds) const override
    {
        // The zone is read afresh, so one changed while the program runs
        // is followed.
        _tzset();
        const __time64_t t = utcSeconds;
        std::tm local{};
        if (_localtime64_s(&local, &t) != 0)
            return QTime(0, 0);
        return QTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59));
    }
};

} // namespace

std::unique_ptr<LocalClock> createSystemClock()
{
    return std::make_unique<WindowsClock>();
}
