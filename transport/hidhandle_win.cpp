#include "transport/hidhandle_win.h"

#include "transport/systemerror_win.h"

#include <algorithm>
#include <cstring>

namespace {

// --- the system calls ---

// Starts a read into `report`: 0 when it completed at once, ERROR_IO_PENDING
// while it runs, or why it could not start.
DWORD startRead(HANDLE device, std::vector<std::uint8_t> &report, OVERLAPPED &request, HANDLE done)
{
    request = OVERLAPPED{};
    request.hEvent = done;
    ResetEvent(done);
    if (ReadFile(device, report.data(), DWORD(report.size()), nullptr, &request))
        return 0;
    return GetLastError();
}

// Whether the request completed within `timeoutMs`; false also when the wait
// itself failed, which leaves the request pending as a timeout does.
bool waitForRead(HANDLE done, int timeoutMs)
{
    return WaitForSingleObject(done, DWORD(std::max(timeoutMs, 0))) == WAIT_OBJECT_0;
}

// The outcome of a completed request: 0 and the bytes read, or its error.
DWORD finishRead(HANDLE device, OVERLAPPED &request, DWORD &bytes)
{
    bytes = 0;
    return GetOverlappedResult(device, &request, &bytes, FALSE) ? 0 : GetLastError();
}

// Cancels a pending request and waits until it has ended one way or another.
void cancelRead(HANDLE device, OVERLAPPED &request)
{
    CancelIoEx(device, &request);
    DWORD bytes = 0;
    GetOverlappedResult(device, &request, &bytes, TRUE);
}

} // namespace

HidFailure hidFailureFor(unsigned long systemError)
{
    HidError kind = HidError::Io;
    switch (systemError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
        kind = HidError::NoSuchDevice;
        break;
    case ERROR_ACCESS_DENIED:
        kind = HidError::PermissionDenied;
        break;
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        kind = HidError::InUse;
        break;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
        kind = HidError::Unsupported;
        break;
    default:
        break;
    }
    return {kind, windowsErrorText(systemError)};
}

QByteArray featureReportBuffer(QByteArrayView report, int featureReportLength)
{
    QByteArray buffer = report.toByteArray();
    if (buffer.size() < featureReportLength)
        buffer.append(QByteArray(featureReportLength - buffer.size(), '\0'));
    return buffer;
}

HidOverlappedReader::HidOverlappedReader(HANDLE device, int reportLength)
    : m_device(device)
    , m_done(CreateEventW(nullptr, TRUE, FALSE, nullptr))
    , m_report(std::size_t(std::max(reportLength, 1)), 0)
{ }

HidOverlappedReader::~HidOverlappedReader()
{
    if (m_pending)
        cancelRead(m_device, m_request);
    if (m_done)
        CloseHandle(m_done);
}

HidRead HidOverlappedReader::read(std::uint8_t *buffer, int capacity, int timeoutMs)
{
    using Status = HidRead::Status;
    if (!m_done)
        return {Status::Failed, 0, hidFailureFor(ERROR_INVALID_HANDLE)};
    if (!m_pending) {
        const DWORD started = startRead(m_device, m_report, m_request, m_done);
        if (started == 0)
            return finish(buffer, capacity);
        if (started != ERROR_IO_PENDING)
            return {Status::Failed, 0, hidFailureFor(started)};
        m_pending = true;
    }
    if (!waitForRead(m_done, timeoutMs))
        return {Status::Timeout, 0, {}};
    m_pending = false;
    return finish(buffer, capacity);
}

HidRead HidOverlappedReader::finish(std::uint8_t *buffer, int capacity)
{
    using Status = HidRead::Status;
    DWORD bytes = 0;
    if (const DWORD error = finishRead(m_device, m_request, bytes))
        return {Status::Failed, 0, hidFailureFor(error)};
    const int size = std::min(int(bytes), capacity);
    std::memcpy(buffer, m_report.data(), std::size_t(std::max(size, 0)));
    return {Status::Data, size, {}};
}
