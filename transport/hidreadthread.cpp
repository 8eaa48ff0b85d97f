#include "transport/hidreadthread.h"

#include "transport/hidwakeup.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

// Why stopping cannot deadlock. The read thread blocks in two places only: in
// a read, which returns after ReadWaitMs at the latest, after which the
// thread looks at the stop flag; and in handOverReport(), waiting for the main
// thread to deliver the report, a wait that the stop flag ends as well. stop()
// sets the flag under the hand-off mutex and wakes that wait, and the main
// thread never holds the mutex while a handler runs. So the join in stop()
// waits for one read at most. A handler that stops the reader (the main
// thread is then inside the delivery the read thread waits for) releases the
// thread at once; the thread ends without touching the report buffer the
// handler is still reading, which the delivery keeps alive.
//
// Why closing the handle cannot race a read. The handle belongs to the
// reader, and only the read thread uses it while the thread runs; it is
// closed after the join, on the main thread. Nobody else closes it: the owner
// that finds the device gone stops the reader, and a read on a device that
// went away fails or times out by itself.
//
// Why the thread only reads. hidapi keeps global state (its library set-up
// and the last global error) that hid_init, hid_enumerate and hid_open_path
// write without a lock, and the main thread opens devices for their strings
// and set-up reports at any time. So the thread never opens: its handle is
// opened on the main thread, and a failed read ends the thread and leaves the
// opening of a fresh handle to the owner, on the main thread. hid_read and
// hid_close touch only the device's own state.
struct HidReadThread::HandOff
{
    enum class Kind { None, Report, Failure };

    std::mutex mutex;
    std::condition_variable changed;
    bool stopping = false;
    Kind pending = Kind::None;
    bool delivering = false; // main thread: a handler for `pending` runs
    int size = 0;
    HidFailure failure;
    // The report being read or handed over. Written by the read thread only
    // while nothing is pending; read by the main thread only while it
    // delivers.
    std::vector<std::uint8_t> report;

    const ReportHandler onReport;
    const FailureHandler onFailure;

    HandOff(ReportHandler r, FailureHandler f)
        : onReport(std::move(r))
        , onFailure(std::move(f))
    { }
};

namespace {

// A device whose descriptor could not be read still gets a buffer for the
// longest report a full-speed interrupt endpoint carries, plus the ID byte.
constexpr int FallbackReportLength = 65;

} // namespace

HidReadThread::HidReadThread(std::unique_ptr<HidHandle> handle, ReportHandler onReport, FailureHandler onFailure)
    : m_handle(std::move(handle))
    , m_handOff(std::make_shared<HandOff>(std::move(onReport), std::move(onFailure)))
{
    const int length = m_handle->inputReportLength();
    m_handOff->report.assign(std::size_t(length > 1 ? length : FallbackReportLength), 0);
    std::shared_ptr<HandOff> handOff = m_handOff;
    m_wake = new HidWakeUp([handOff] { deliver(handOff); });
    m_thread = std::thread([this] { run(); });
}

HidReadThread::~HidReadThread()
{
    stop();
    // Later, because this may run inside the wake-up's own notification.
    m_wake->deleteLater();
}

void HidReadThread::stop()
{
    {
        std::lock_guard lock(m_handOff->mutex);
        m_handOff->stopping = true;
        // What waits is dropped; a delivery that runs (stop() called from
        // its handler) finishes.
        if (!m_handOff->delivering)
            m_handOff->pending = HandOff::Kind::None;
    }
    m_handOff->changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

bool HidReadThread::handOverWaiting() const
{
    std::lock_guard lock(m_handOff->mutex);
    return m_handOff->pending != HandOff::Kind::None && !m_handOff->delivering;
}

void HidReadThread::deliver(const std::shared_ptr<HandOff> &handOff)
{
    HandOff &h = *handOff;
    HandOff::Kind kind;
    int size;
    HidFailure failure;
    {
        std::lock_guard lock(h.mutex);
        // After a stop nothing is delivered: the owner may be gone.
        if (h.stopping || h.pending == HandOff::Kind::None || h.delivering)
            return;
        h.delivering = true;
        kind = h.pending;
        size = h.size;
        failure = h.failure;
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
                h.pending = HandOff::Kind::None;
            }
            h.changed.notify_all();
        }
    } release{h};
    if (kind == HandOff::Kind::Report)
        h.onReport(h.report[0], QByteArrayView(h.report.data() + 1, size - 1));
    else if (kind == HandOff::Kind::Failure)
        h.onFailure(failure);
}

bool HidReadThread::handOverReport(int size)
{
    HandOff &h = *m_handOff;
    std::unique_lock lock(h.mutex);
    if (h.stopping)
        return false;
    h.pending = HandOff::Kind::Report;
    h.size = size;
    m_wake->post();
    h.changed.wait(lock, [&h] { return h.pending == HandOff::Kind::None || h.stopping; });
    return !h.stopping;
}

void HidReadThread::handOverFailure(const HidFailure &failure)
{
    // Not waited for: the thread ends after it.
    HandOff &h = *m_handOff;
    std::lock_guard lock(h.mutex);
    if (h.stopping)
        return;
    h.pending = HandOff::Kind::Failure;
    h.failure = failure;
    m_wake->post();
}

void HidReadThread::run()
{
    HandOff &h = *m_handOff;
    const int capacity = int(h.report.size());
    for (;;) {
        {
            std::lock_guard lock(h.mutex);
            if (h.stopping)
                return;
        }
        const HidRead read = m_handle->read(h.report.data(), capacity, ReadWaitMs);
        switch (read.status) {
        case HidRead::Status::Timeout:
            break;
        case HidRead::Status::Data:
            // A read without even the ID byte carries nothing.
            if (read.size > 0 && !handOverReport(std::min(read.size, capacity)))
                return;
            break;
        case HidRead::Status::Failed:
            handOverFailure(read.failure);
            return;
        }
    }
}
