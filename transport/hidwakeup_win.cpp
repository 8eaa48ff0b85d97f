#include "transport/hidwakeup.h"

#include <QMetaObject>

// On Windows the read thread posts the wake-up through Qt's own queue, which
// any thread may post to; the pipe of the POSIX side exists only so that
// ThreadSanitizer, which Windows builds do not have, sees the hand-off.
HidWakeUp::HidWakeUp(std::function<void()> onWake, QObject *parent)
    : QObject(parent)
    , m_onWake(std::move(onWake))
{
}

HidWakeUp::~HidWakeUp() = default;

void HidWakeUp::post()
{
    QMetaObject::invokeMethod(this, [this] { drainAndRun(); }, Qt::QueuedConnection);
}

void HidWakeUp::drainAndRun()
{
    const std::function<void()> onWake = m_onWake;
    if (onWake)
        onWake();
}
