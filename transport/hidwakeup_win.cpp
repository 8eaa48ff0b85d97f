#include "transport/hidwakeup.h"

#include <QMetaObject>
#include <QWinEventNotifier>

#include <windows.h>

// An auto-reset event: post() sets it, and the notifier's wait, which resets
// it, runs the wake-up on the creating thread. Set again before that, it
// stays set once.
struct HidWakeUp::Signal
{
    HANDLE event = nullptr;
    QWinEventNotifier *notifier = nullptr;

    ~Signal()
    {
        delete notifier;
        if (event)
            CloseHandle(event);
    }
};

HidWakeUp::HidWakeUp(std::function<void()> onWake, QObject *parent)
    : QObject(parent)
    , m_signal(std::make_unique<Signal>())
    , m_onWake(std::move(onWake))
{
    m_signal->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!m_signal->event)
        return; // post() falls back to Qt's queue
    m_signal->notifier = new QWinEventNotifier(m_signal->event);
    connect(m_signal->notifier, &QWinEventNotifier::activated, this, [this] { run(); });
}

HidWakeUp::~HidWakeUp() = default;

void HidWakeUp::post()
{
    if (m_signal->event) {
        SetEvent(m_signal->event);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this] { run(); }, Qt::QueuedConnection);
}

void HidWakeUp::run()
{
    const std::function<void()> onWake = m_onWake;
    if (onWake)
        onWake();
}
