#pragma once

#include <cstdint>
#include <memory>
#include <thread>

class HidWakeUp;
class TJvHidDevice;

// The read thread of one claimed device: waits for each input report and
// hands it to the main thread, where the device's data handler runs; it waits
// until the handler has returned before it reads on, so at most one report
// per device is outstanding and every handler runs on the main thread.
//
// A std::thread rather than a QThread, so that ThreadSanitizer sees the start
// and the join; the hand-off itself uses a std::mutex and condition variable
// for the same reason, with only a byte on a pipe to wake the main thread.
class TJvHidDeviceReadThread
{
public:
    // Created suspended, with a report buffer of the device's input report
    // length; the device must outlive the thread.
    explicit TJvHidDeviceReadThread(TJvHidDevice &device);
    // Stops the thread if it still runs.
    ~TJvHidDeviceReadThread();

    TJvHidDeviceReadThread(const TJvHidDeviceReadThread &) = delete;
    TJvHidDeviceReadThread &operator=(const TJvHidDeviceReadThread &) = delete;

    void Start();
    // Main thread: asks the thread to end and wakes a waiting read.
    void Terminate();
    // Main thread, after Terminate: returns when the thread has ended,
    // delivering meanwhile what it hands over.
    void WaitFor();
    bool Terminated() const;

    // A report or an error waits for the main thread.
    bool ReportWaiting() const;

    struct HandOff;

private:
    void Execute();
    enum class Kind { None, Report, Error };
    // False when the thread was asked to end before the hand-off.
    bool handOver(Kind kind, int bytesRead, std::uint32_t error);
    void pauseAfterFailure();
    static void deliverHandedOver(const std::shared_ptr<HandOff> &handOff, TJvHidDevice *device);

    TJvHidDevice &m_device;
    // Shared with a delivery running on the main thread, which may outlast
    // this object when the handler stops the thread.
    std::shared_ptr<HandOff> m_handOff;
    HidWakeUp *m_wake = nullptr;
    std::thread m_thread;
};
