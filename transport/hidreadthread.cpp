#include "transport/hidreadthread.h"

#include "transport/hiddevice.h"
#include "transport/hidwakeup.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

// Why stopping cannot deadlock. The read thread blocks in two places only:
// in a read, which requestStop() cancels (the read handle is closed under the
// device's I/O mutex, see HidDevice), and in handOver(), waiting for the
// main thread to deliver what it handed over. The main thread, while it waits
// in waitForEnd(), delivers any hand-off itself instead of waiting for the
// event loop, and it never holds the hand-off mutex while a handler runs. So
// each thread only ever waits for something the other does without waiting. A
// handler that stops its own device's thread (the main thread is then inside
// the delivery the read thread waits for) releases the read thread at once;
// the thread finds the stop flag and ends without touching the report buffer
// the handler is still reading.
//
// Why the thread only reads. hidapi keeps global state (its library set-up
// and the last global error) that hid_init, hid_enumerate and hid_open_path
// write without a lock, and the main thread opens devices for their strings
// and set-up reports at any time. So the thread never opens: when it has no
// read handle it hands an Open request over, and the main thread opens the
// handle (or delivers why it cannot) as it delivers any hand-off. hid_read
// and hid_close touch only the device's own state, so the thread may read,
// and may close the handle it was the last to hold after a cancel.
struct HidReadThread::HandOff
{
    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    bool finished = false;
    Kind pending = Kind::None;
    bool delivering = false;   // main thread: a handler for `pending` runs
    int bytesRead = 0;
    std::uint32_t lastError = 0;
    // The report being read or handed over. Written by the read thread only
    // while nothing is pending; read by the main thread only while it
    // delivers.
    std::vector<std::uint8_t> report;
};

namespace {

// A device whose descriptor could not be read still gets a buffer for the
// longest report a full-speed interrupt endpoint carries, plus the ID byte.
constexpr int FallbackReportLength = 65;

} // namespace

HidReadThread::HidReadThread(HidDevice &device)
    : m_device(device)
    , m_handOff(std::make_shared<HandOff>())
{
    const int length = device.capabilities().inputReportLength;
    m_handOff->report.assign(length > 1 ? length : FallbackReportLength, 0);
}

HidReadThread::~HidReadThread()
{
    if (m_thread.joinable()) {
        requestStop();
        waitForEnd();
    }
    // Later, because this may run inside the wake-up's own notification.
    if (m_wake)
        m_wake->deleteLater();
}

void HidReadThread::start()
{
    if (m_thread.joinable())
        return;
    HidDevice *device = &m_device;
    std::shared_ptr<HandOff> handOff = m_handOff;
    m_wake = new HidWakeUp([handOff, device] { deliverHandedOver(handOff, device); });
    // The first open happens here, on the main thread; should it fail, the
    // thread hands the reason over as its first round.
    std::uint32_t error = 0;
    if (!m_device.openReadHandleForThread(error))
        m_startError = error;
    m_thread = std::thread([this] { run(); });
}

void HidReadThread::requestStop()
{
    {
        std::lock_guard lock(m_handOff->mutex);
        m_handOff->stopping = true;
    }
    m_handOff->changed.notify_all();
    // Set before the cancel: a read the thread opens after the cancel is
    // never waited on, because the thread looks at the flag first.
    m_device.cancelPendingRead();
}

bool HidReadThread::stopRequested() const
{
    std::lock_guard lock(m_handOff->mutex);
    return m_handOff->stopping;
}

bool HidReadThread::reportWaiting() const
{
    std::lock_guard lock(m_handOff->mutex);
    return m_handOff->pending != Kind::None && !m_handOff->delivering;
}

void HidReadThread::waitForEnd()
{
    if (!m_thread.joinable())
        return;
    HandOff &h = *m_handOff;
    std::unique_lock lock(h.mutex);
    while (!h.finished) {
        if (h.pending != Kind::None) {
            if (h.delivering) {
                // Called from the handler of this very hand-off.
                h.pending = Kind::None;
                h.changed.notify_all();
            } else {
                lock.unlock();
                deliverHandedOver(m_handOff, &m_device);
                lock.lock();
                continue;
            }
        }
        h.changed.wait(lock);
    }
    lock.unlock();
    // A nested waitForEnd() (see HidDevice::stopReading) may have joined it.
    if (m_thread.joinable())
        m_thread.join();
}

void HidReadThread::deliverHandedOver(const std::shared_ptr<HandOff> &handOff, HidDevice *device)
{
    HandOff &h = *handOff;
    Kind kind;
    int bytesRead;
    std::uint32_t error;
    {
        std::lock_guard lock(h.mutex);
        // Nothing pending also means the thread may be gone, and its device
        // with it: only a pending hand-off vouches for `device`.
        if (h.pending == Kind::None || h.delivering)
            return;
        h.delivering = true;
        kind = h.pending;
        // A thread that is being stopped reads no more: nothing to open.
        if (kind == Kind::Open && h.stopping)
            kind = Kind::None;
        bytesRead = h.bytesRead;
        error = h.lastError;
    }
    // Lets the read thread go on even when the handler throws.
    struct Release
    {
        HandOff &h;
        ~Release()
        {
            {
                std::lock_guard lock(h.mutex);
                h.delivering = false;
                h.pending = Kind::None;
            }
            h.changed.notify_all();
        }
    } release{h};
    switch (kind) {
    case Kind::Report:
        device->deliverReport(h.report.data(), bytesRead);
        break;
    case Kind::Error:
        device->deliverError(error);
        break;
    case Kind::Open:
        if (!device->openReadHandleForThread(error))
            device->deliverError(error);
        break;
    case Kind::None:
        break;
    }
}

bool HidReadThread::handOver(Kind kind, int bytesRead, std::uint32_t error)
{
    HandOff &h = *m_handOff;
    std::unique_lock lock(h.mutex);
    if (h.stopping)
        return false;
    h.pending = kind;
    h.bytesRead = bytesRead;
    h.lastError = error;
    m_wake->post();
    h.changed.wait(lock, [&h] { return h.pending == Kind::None; });
    return true;
}

void HidReadThread::pauseAfterFailure()
{
    // A device that went away fails every read at once; without this pause
    // the thread would flood the main thread with errors as fast as it can.
    HandOff &h = *m_handOff;
    std::unique_lock lock(h.mutex);
    h.changed.wait_for(lock, std::chrono::milliseconds(m_device.sleepTime()), [&h] { return h.stopping; });
}

void HidReadThread::run()
{
    HandOff &h = *m_handOff;
    const int length = int(h.report.size());
    bool readCompleted = true;
    while (!stopRequested()) {
        readCompleted = true;
        std::fill(h.report.begin(), h.report.end(), std::uint8_t(0));
        std::shared_ptr<HidHandle> handle = m_device.readHandle();
        if (!handle && m_startError) {
            const std::uint32_t error = std::exchange(m_startError, 0);
            if (!handOver(Kind::Error, 0, error))
                break;
            pauseAfterFailure();
            continue;
        }
        if (!handle) {
            // The main thread opens it, or delivers why it cannot.
            if (!handOver(Kind::Open, 0, 0))
                break;
            handle = m_device.readHandle();
            if (!handle) {
                pauseAfterFailure();
                continue;
            }
        }
        if (stopRequested())
            break;
        HidReadResult result;
        do {
            result = handle->read(h.report.data(), length, m_device.sleepTime());
        } while (result.status == HidReadResult::Status::Timeout && !stopRequested());
        handle.reset();
        if (stopRequested()) {
            readCompleted = result.status != HidReadResult::Status::Timeout;
            break;
        }
        if (result.status == HidReadResult::Status::Data) {
            if (result.bytes > 0 && !handOver(Kind::Report, std::min(result.bytes, length), 0))
                break;
        } else if (result.status == HidReadResult::Status::Failed) {
            // Nothing to deliver; the next round has the device opened afresh,
            // which reports why if it cannot.
            m_device.cancelPendingRead();
            pauseAfterFailure();
        }
        // Cancelled: the device was found unplugged and its handle closed;
        // the next round says so.
    }
    if (!readCompleted)
        m_device.cancelPendingRead();
    {
        std::lock_guard lock(h.mutex);
        h.finished = true;
    }
    h.changed.notify_all();
}
