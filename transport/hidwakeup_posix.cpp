#include "transport/hidwakeup.h"

#include <QMetaObject>
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

HidWakeUp::HidWakeUp(std::function<void()> onWake, QObject *parent)
    : QObject(parent)
    , m_onWake(std::move(onWake))
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0)
        return;   // post() falls back to Qt's queue
    m_readFd = fds[0];
    m_writeFd = fds[1];
    m_notifier = new QSocketNotifier(m_readFd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] { drainAndRun(); });
}

HidWakeUp::~HidWakeUp()
{
    delete m_notifier;
    if (m_readFd >= 0)
        ::close(m_readFd);
    if (m_writeFd >= 0)
        ::close(m_writeFd);
}

void HidWakeUp::post()
{
    if (m_writeFd >= 0) {
        const char byte = 1;
        // A full pipe already holds a wake-up, so EAGAIN loses nothing.
        while (::write(m_writeFd, &byte, 1) < 0 && errno == EINTR) {
        }
        return;
    }
    QMetaObject::invokeMethod(this, [this] { drainAndRun(); }, Qt::QueuedConnection);
}

void HidWakeUp::drainAndRun()
{
    if (m_readFd >= 0) {
        char buffer[64];
        while (::read(m_readFd, buffer, sizeof buffer) > 0) {
        }
    }
    const std::function<void()> onWake = m_onWake;
    if (onWake)
        onWake();
}
