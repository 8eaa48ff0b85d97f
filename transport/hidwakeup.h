#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// Wakes the thread that created it from any other thread. post() only writes
// a byte to a pipe and touches no Qt object, so a read thread can call it
// without sharing anything with Qt's event queue; the notifier then runs
// `onWake` on the creating thread.
class HidWakeUp : public QObject
{
public:
    explicit HidWakeUp(std::function<void()> onWake, QObject *parent = nullptr);
    ~HidWakeUp() override;

    // Any thread.
    void post();

private:
    void drainAndRun();

    int m_readFd = -1;
    int m_writeFd = -1;
    QSocketNotifier *m_notifier = nullptr;
    std::function<void()> m_onWake;
};
