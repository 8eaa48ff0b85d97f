#include "transport/tjvhiddevice.h"

#include "transport/tjvhiddevicecontroller.h"
#include "transport/tjvhiddevicereadthread.h"

#include <algorithm>

namespace {

// The string queries answer in a 508-byte buffer: at most 254 UTF-16 units.
constexpr int StringUnits = 254;

QString textUpToZero(const char16_t *units, int count)
{
    int n = 0;
    while (n < count && units[n] != 0)
        ++n;
    return QString::fromUtf16(units, n);
}

} // namespace

std::unique_ptr<TJvHidDevice> TJvHidDevice::open(const HidInterfaceInfo &info, TJvHidDeviceController *controller)
{
    std::unique_ptr<TJvHidDevice> device(new TJvHidDevice(info, controller));
    if (!device->identify())
        return nullptr;
    return device;
}

TJvHidDevice::TJvHidDevice(const HidInterfaceInfo &info, TJvHidDeviceController *controller)
    : m_owner(controller)
    , m_backend(controller ? controller->backend() : nullptr)
    , m_interfaceInfo(info)
{
    if (controller) {
        SetDataHandler(controller->OnDeviceData());
        m_dataErrorHandler = controller->OnDeviceDataError();
        m_unplugHandler = controller->OnDeviceUnplug();
    }
}

bool TJvHidDevice::identify()
{
    m_controlHandle = openControl();
    if (!m_controlHandle)
        return false;
    const bool identified = m_controlHandle->attributes(m_attributes);
    CloseControlHandle();
    return identified;
}

TJvHidDevice::~TJvHidDevice()
{
    const TJvHidDataEvent dataHandler = m_dataHandler;
    const TJvHidDataErrorEvent dataErrorHandler = m_dataErrorHandler;
    const TJvHidPlugEvent unplugHandler = m_unplugHandler;
    SetDataHandler(nullptr);
    m_unplugHandler = nullptr;
    CloseControlHandle();
    CloseIoHandle();
    m_preparsedData.reset();

    if (!m_owner)
        return;
    const int position = m_owner->indexOf(this);
    if (position < 0)
        return;
    std::vector<TJvHidDevice *> &list = m_owner->m_deviceList;
    // An interface that no longer opens loses its position as if it were
    // unplugged; should it open again, a later device change lists it anew.
    std::unique_ptr<TJvHidDevice> replacement = m_plugged ? open(m_interfaceInfo, m_owner) : nullptr;
    if (!replacement) {
        list.erase(list.begin() + position);
        return;
    }
    replacement->SetDataHandler(dataHandler);
    replacement->m_dataErrorHandler = dataErrorHandler;
    replacement->m_unplugHandler = unplugHandler;
    replacement->SetSleepTime(m_sleepTime);
    list[std::size_t(position)] = replacement.release();
}

std::unique_ptr<HidHandle> TJvHidDevice::openControl()
{
    if (!m_backend)
        return nullptr;
    std::uint32_t error = 0;
    std::unique_ptr<HidHandle> handle = m_backend->open(m_interfaceInfo.path, HidAccess::ReadWrite, error);
    m_readWriteAccess = bool(handle);
    m_controlOpenError = handle ? 0 : error;
    if (!handle)
        handle = m_backend->open(m_interfaceInfo.path, HidAccess::QueryOnly, error);
    return handle;
}

bool TJvHidDevice::OpenControlHandle()
{
    if (IsAccessible() && !m_controlHandle)
        m_controlHandle = openControl();
    return bool(m_controlHandle);
}

void TJvHidDevice::CloseControlHandle()
{
    m_controlHandle.reset();
}

bool TJvHidDevice::OpenIoHandle()
{
    std::uint32_t error = 0;
    return bool(StartRead(error));
}

void TJvHidDevice::CloseIoHandle()
{
    CancelPendingIo();
}

QString TJvHidDevice::ProductText()
{
    if (m_productText.isEmpty() && OpenControlHandle()) {
        char16_t buffer[StringUnits] = {};
        if (m_controlHandle->productString(buffer, StringUnits))
            m_productText = textUpToZero(buffer, StringUnits);
        CloseControlHandle();
    }
    return m_productText;
}

QString TJvHidDevice::SerialText()
{
    if (m_serialText.isEmpty() && OpenControlHandle()) {
        char16_t serial[StringUnits] = {};
        if (m_controlHandle->serialNumberString(serial, StringUnits)) {
            // Some devices answer the serial-number query with their string
            // at index 0 (the language IDs) when they have no serial number;
            // a serial number that starts like that string counts as none.
            char16_t index0[StringUnits];
            std::fill(std::begin(index0), std::end(index0), char16_t(0xFFFF));
            m_controlHandle->indexedString(0, index0, StringUnits);
            int n = 0;
            for (int k = StringUnits - 1; k >= 0; --k) {
                if (index0[k] != 0xFFFF) {
                    n = index0[k] == 0 ? k : k + 1;
                    break;
                }
            }
            if (n > 0 && !std::equal(serial, serial + n, index0))
                m_serialText = textUpToZero(serial, StringUnits);
        }
        CloseControlHandle();
    }
    return m_serialText;
}

const HidCaps *TJvHidDevice::PreparsedData()
{
    if (!m_preparsedData && OpenControlHandle()) {
        HidCaps caps;
        if (m_controlHandle->capabilities(caps))
            m_preparsedData = caps;
        CloseControlHandle();
    }
    return m_preparsedData ? &*m_preparsedData : nullptr;
}

HidCaps TJvHidDevice::Capabilities()
{
    const HidCaps *caps = PreparsedData();
    return caps ? *caps : HidCaps{};
}

bool TJvHidDevice::SendFeatureReport(const std::uint8_t *buffer, int size)
{
    if (!buffer || size < 1 || !OpenControlHandle())
        return false;
    return m_controlHandle->setFeature(buffer, size);
}

void TJvHidDevice::SetDataHandler(const TJvHidDataEvent &handler)
{
    if (!handler) {
        const std::weak_ptr<const int> alive = lifetime();
        StopReadThread();
        if (alive.expired())
            return;   // a report delivered during the stop released this device
    }
    m_dataHandler = handler;
    StartReadThread();
}

void TJvHidDevice::SetSleepTime(int milliseconds)
{
    if (milliseconds >= 10 && milliseconds <= 10000)
        m_sleepTime = milliseconds;
}

void TJvHidDevice::StartReadThread()
{
    if (!m_dataHandler || !m_plugged || !m_claimed || !m_readWriteAccess || m_readThread || m_stoppingThread)
        return;
    m_readThread = std::make_unique<TJvHidDeviceReadThread>(*this);
    m_readThread->Start();
}

void TJvHidDevice::StopReadThread()
{
    if (m_stoppingThread) {
        // A handler that a stop further up delivered to stops or releases
        // this device again: that stop is finished here, and the one up
        // there finds the thread ended.
        m_stoppingThread->WaitFor();
        return;
    }
    // Taken out of the member first, so that a handler delivered meanwhile
    // finds no thread to stop or to start beside it.
    std::unique_ptr<TJvHidDeviceReadThread> thread = std::move(m_readThread);
    if (!thread)
        return;
    const std::weak_ptr<const int> alive = lifetime();
    m_stoppingThread = thread.get();
    thread->Terminate();
    thread->WaitFor();
    thread.reset();
    if (!alive.expired())
        m_stoppingThread = nullptr;
}

// Why closing cannot race the read thread. The thread never keeps the read
// handle in a field of its own: for each read it takes a reference from
// StartRead(), which tests Plugged and opens the handle under m_ioMutex. Here
// Plugged is cleared and the handle taken out under the same mutex, so after
// this no read can be issued, and the handle is only cancelled, never
// destroyed under the thread: a read that waits on it returns Cancelled, and
// the handle closes when the thread drops its reference.
void TJvHidDevice::MarkUnplugged()
{
    CloseControlHandle();
    {
        std::lock_guard lock(m_ioMutex);
        m_plugged = false;
        if (m_readHandle) {
            m_readHandle->cancelRead();
            m_readHandle.reset();
        }
    }
    const TJvHidPlugEvent handler = m_unplugHandler;
    if (handler) {
        const std::weak_ptr<const int> alive = lifetime();
        handler(this);
        if (!alive.expired())
            m_unplugHandler = nullptr;
    }
}

HidBackend::ResetResult TJvHidDevice::ResetUsbDevice(QString &detail)
{
    if (!IsAccessible() || !m_backend) {
        detail = QStringLiteral("the device is no longer accessible");
        return HidBackend::ResetResult::Failed;
    }
    return m_backend->resetUsbDevice(m_interfaceInfo.path, detail);
}

std::shared_ptr<HidHandle> TJvHidDevice::StartRead(std::uint32_t &error)
{
    std::lock_guard lock(m_ioMutex);
    if (!IsAccessible()) {
        error = hidDeviceGoneError();
        return nullptr;
    }
    if (!m_readHandle)
        m_readHandle = m_backend->open(m_interfaceInfo.path, HidAccess::Read, error);
    return m_readHandle;
}

void TJvHidDevice::CancelPendingIo()
{
    std::lock_guard lock(m_ioMutex);
    if (m_readHandle) {
        m_readHandle->cancelRead();
        m_readHandle.reset();
    }
}

void TJvHidDevice::DeliverReport(const std::uint8_t *report, int bytesRead)
{
    // Nothing after the call: the handler may release this device.
    const TJvHidDataEvent handler = m_dataHandler;
    if (handler && bytesRead > 0)
        handler(this, report[0], report + 1, std::uint16_t(std::min(bytesRead - 1, 0xFFFF)));
}

void TJvHidDevice::DeliverError(std::uint32_t error)
{
    const TJvHidDataErrorEvent handler = m_dataErrorHandler;
    if (handler)
        handler(this, error);
}
