#pragma once

#include <cstdint>
#include <memory>
#include <thread>

class HidDevice;
class HidWakeUp;

// The read thread of one claimed device: waits for each input report and
// hands it to the main thread, where the device's data handler runs; it waits
// until the handler has returned before it reads on, so at most one report
// per device is outstanding and every handler runs on the main thread.
//
// A std::thread rather than a QThread, so that ThreadSanitizer sees the start
// and the join; the hand-off itself uses a std::mutex and condition variable
// for the same reason, with only a byte on a pipe to wake the main thread.
class HidReadThread
{
public:
    // Reads nothing until start(). The report buffer takes the device's
    // input report length; the device must outlive the thread.
    explicit HidReadThread(HidDevice &device);
    // Stops the thread if it still runs.
    ~HidReadThread();

    HidReadThread(const HidReadThread &) = delete;
    HidReadThread &operator=(const HidReadThread &) = delete;

    void start();
    // Main thread: asks the thread to end and wakes a waiting read.
    void requestStop();
    // Main thread, after requestStop(): returns when the thread has ended,
    // delivering meanwhile what it hands over.
    void waitForEnd();
    bool stopRequested() const;

    // A report or an error waits for the main thread.
    bool reportWaiting() const;

private:
    struct HandOff;
    // Open: the thread asks the main thread to open the read handle, since
    // only the main thread opens devices (see hidreadthread.cpp).
    enum class Kind { None, Report, Error, Open };

    void run();
    // False when the thread was asked to end before the hand-off.
    bool handOver(Kind kind, int bytesRead, std::uint32_t error);
    void pauseAfterFailure();
    static void deliverHandedOver(const std::shared_ptr<HandOff> &handOff, HidDevice *device);

    HidDevice &m_device;
    // Shared with a delivery running on the main thread, which may outlast
    // this object when the handler stops the thread.
    std::shared_ptr<HandOff> m_handOff;
    HidWakeUp *m_wake = nullptr;
    std::thread m_thread;
    // Why the open at start failed; read by the thread only after it started.
    std::uint32_t m_startError = 0;
};
