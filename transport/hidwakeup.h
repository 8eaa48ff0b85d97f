#pragma once

#include <QObject>

#include <functional>
#include <memory>

// Wakes the thread that created it from any other thread. post() only sets a
// signal of the system's (a byte on a pipe; an event object on Windows) and
// touches no Qt object, so a read thread can call it without sharing anything
// with Qt's event queue; a notifier on the creating thread then runs
// `onWake` there. Wake-ups posted before it runs come as one.
class HidWakeUp : public QObject
{
public:
    explicit HidWakeUp(std::function<void()> onWake, QObject *parent = nullptr);
    ~HidWakeUp() override;

    // Any thread.
    void post();

private:
    // The system's signal and its notifier, one kind per system
    // (hidwakeup_posix.cpp, hidwakeup_win.cpp).
    struct Signal;

    void run();

    std::unique_ptr<Signal> m_signal;
    std::function<void()> m_onWake;
};
