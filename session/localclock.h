#pragma once

#include <QTime>
#include <QtGlobal>

#include <memory>

// The machine's clock and time zone, as the platform gives them.
class LocalClock
{
public:
    virtual ~LocalClock() = default;

    // Wall-clock time: milliseconds since 1970-01-01 00:00 UTC.
    virtual qint64 utcMilliseconds() const = 0;
    // The time of day (whole seconds) at `utcSeconds` in the time zone in
    // force now.
    virtual QTime localTimeOfDay(qint64 utcSeconds) const = 0;
};

std::unique_ptr<LocalClock> createSystemClock();
