#pragma once

#include "transport/hidbackend.h"

#include <QByteArrayView>

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

class HidWakeUp;

// Reads one HID interface on a thread of its own: waits for each input
// report and hands it to the thread that made the reader (the main thread),
// where the report handler runs; it waits until the handler has returned
// before it reads on, so at most one report is outstanding and every handler
// runs on the main thread. A failed read ends the thread: the failure is
// handed over, and whether to open the interface afresh is the owner's
// business, since only the main thread opens devices (see hidreadthread.cpp).
//
// A std::thread rather than a QThread, so that ThreadSanitizer sees the start
// and the join; the hand-off itself uses a std::mutex and condition variable
// for the same reason, with only a byte on a pipe to wake the main thread.
class HidReadThread
{
public:
    // `data` holds the bytes after the report ID and is valid during the call.
    using ReportHandler = std::function<void(std::uint8_t reportId, QByteArrayView data)>;
    using FailureHandler = std::function<void(const HidFailure &failure)>;

    // How long one read waits before the thread looks whether it is to stop:
    // about the longest a stop waits for the thread.
    static constexpr int ReadWaitMs = 50;

    // Starts reading `handle`, which was opened for reading, at once.
    HidReadThread(std::unique_ptr<HidHandle> handle, ReportHandler onReport, FailureHandler onFailure);
    // Stops the thread and closes the handle.
    ~HidReadThread();

    HidReadThread(const HidReadThread &) = delete;
    HidReadThread &operator=(const HidReadThread &) = delete;

    // Returns once the thread has ended; no handler runs afterwards. A report
    // or failure handed over and not yet delivered is dropped: whoever
    // stopped the reader no longer wants it. May be called from a handler.
    void stop();

    // A report or a failure waits for the main thread.
    bool handOverWaiting() const;

private:
    struct HandOff;

    void run();
    // False when the thread is to stop.
    bool handOverReport(int size);
    void handOverFailure(const HidFailure &failure);
    static void deliver(const std::shared_ptr<HandOff> &handOff);

    // Used by the thread alone while it runs, closed after it has ended.
    const std::unique_ptr<HidHandle> m_handle;
    // Shared with a delivery running on the main thread, which may outlast
    // this object when a handler destroys the reader.
    const std::shared_ptr<HandOff> m_handOff;
    HidWakeUp *m_wake = nullptr;
    std::thread m_thread;
};
