#include "transport/hidwakeup.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

// A pipe: post() writes a byte, the notifier drains them all.
struct HidWakeUp::Signal
{
    int readFd = -1;
    int writeFd = -1;
    QSocketNotifier *notifier = nullptr;

    ~Signal()
    {
        delete notifier;
        if (readFd >= 0)
            ::close(readFd);
        if (writeFd >= 0)
            ::close(writeFd);
    }
    void drain() const
    {
        char buffer[64];
        while (::read(readFd, buffer, sizeof buffer) > 0) { }
    }
};

HidWakeUp::HidWakeUp(std::function<void()> onWake, QObject *parent)
    : QObject(parent)
    , m_signal(std::make_unique<Signal>())
    , m_onWake(std::move(onWake))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // post() falls back to Qt's queue
    m_signal->readFd = fds[0];
    m_signal->writeFd = fds[1];
    m_signal->notifier = new QSocketNotifier(m_signal->readFd, QSocketNotifier::Read);
    connect(m_signal->notifier, &QSocketNotifier::activated, this, [this] {
        m_signal->drain();
        run();
    });
}

HidWakeUp::~HidWakeUp() = default;

void HidWakeUp::post()
{
    if (m_signal->writeFd >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up, so EAGAIN loses nothing.
        while (::write(m_signal->writeFd, &byte, 1) < 0 && errno == EINTR) { }
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
