#include "transport/hiddevice.h"

#include "transport/hiddevicecontroller.h"
#include "transport/hidreadthread.h"

#include <algorithm>

namespace {

// The longest string kept from a device, in UTF-16 units. A USB string
// descriptor holds at most 126, so only names from elsewhere (the kernel's
// name of a Bluetooth or virtual device) can be cut.
constexpr int StringUnits = 254;

QString textUpToZero(const char16_t *units, int count)
{
    int n = 0;
    while (n < count && units[n] != 0)
        ++n;
    return QString::fromUtf16(units, n);
}

} // namespace

std::unique_ptr<HidDevice> HidDevice::open(const HidInterfaceInfo &info, HidDeviceController *controller)
{
    std::unique_ptr<HidDevice> device(new HidDevice(info, controller));
    if (!device->identify())
        return nullptr;
    return device;
}

HidDevice::HidDevice(const HidInterfaceInfo &info, HidDeviceController *controller)
    : m_controller(controller)
    , m_backend(controller ? controller->backend() : nullptr)
    , m_interfaceInfo(info)
{
    if (controller) {
        m_sleepTime = controller->readThreadSleepTime();
        setDataHandler(controller->dataHandler());
        m_dataErrorHandler = controller->dataErrorHandler();
        m_unplugHandler = controller->unplugHandler();
    }
}

bool HidDevice::identify()
{
    m_controlHandle = openControl();
    if (!m_controlHandle)
        return false;
    const bool identified = m_controlHandle->attributes(m_attributes);
    closeControlHandle();
    return identified;
}

void HidDevice::detachFromController()
{
    // Under the mutex: the read thread reaches the backend through here.
    std::lock_guard lock(m_ioMutex);
    m_controller = nullptr;
    m_backend = nullptr;
}

HidDevice::~HidDevice()
{
    const HidDataHandler dataHandler = m_dataHandler;
    const HidDataErrorHandler dataErrorHandler = m_dataErrorHandler;
    const HidPlugHandler unplugHandler = m_unplugHandler;
    setDataHandler(nullptr);
    m_unplugHandler = nullptr;
    closeControlHandle();
    closeReadHandle();
    m_reportCaps.reset();

    if (!m_controller)
        return;
    const int position = m_controller->indexOf(this);
    if (position < 0)
        return;
    std::vector<HidDevice *> &list = m_controller->m_devices;
    // An interface that no longer opens loses its position as if it were
    // unplugged; should it open again, a later device change lists it anew.
    std::unique_ptr<HidDevice> replacement = m_plugged ? open(m_interfaceInfo, m_controller) : nullptr;
    if (!replacement) {
        list.erase(list.begin() + position);
        return;
    }
    replacement->setDataHandler(dataHandler);
    replacement->m_dataErrorHandler = dataErrorHandler;
    replacement->m_unplugHandler = unplugHandler;
    replacement->setSleepTime(m_sleepTime);
    list[std::size_t(position)] = replacement.release();
}

std::unique_ptr<HidHandle> HidDevice::openControl()
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

bool HidDevice::openControlHandle()
{
    if (isAccessible() && !m_controlHandle)
        m_controlHandle = openControl();
    return bool(m_controlHandle);
}

void HidDevice::closeControlHandle()
{
    m_controlHandle.reset();
}

bool HidDevice::openReadHandle()
{
    std::uint32_t error = 0;
    return openReadHandleForThread(error);
}

void HidDevice::closeReadHandle()
{
    cancelPendingRead();
}

QString HidDevice::productString()
{
    if (m_productString.isEmpty() && openControlHandle()) {
        char16_t buffer[StringUnits] = {};
        if (m_controlHandle->productString(buffer, StringUnits))
            m_productString = textUpToZero(buffer, StringUnits);
        closeControlHandle();
    }
    return m_productString;
}

QString HidDevice::serialNumber()
{
    if (m_serialNumber.isEmpty() && openControlHandle()) {
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
                m_serialNumber = textUpToZero(serial, StringUnits);
        }
        closeControlHandle();
    }
    return m_serialNumber;
}

const HidCaps *HidDevice::reportCaps()
{
    if (!m_reportCaps && openControlHandle()) {
        HidCaps caps;
        if (m_controlHandle->capabilities(caps))
            m_reportCaps = caps;
        closeControlHandle();
    }
    return m_reportCaps ? &*m_reportCaps : nullptr;
}

HidCaps HidDevice::capabilities()
{
    const HidCaps *caps = reportCaps();
    return caps ? *caps : HidCaps{};
}

bool HidDevice::sendFeatureReport(const std::uint8_t *buffer, int size)
{
    if (!buffer || size < 1 || !openControlHandle())
        return false;
    return m_controlHandle->setFeature(buffer, size);
}

void HidDevice::setDataHandler(const HidDataHandler &handler)
{
    if (!handler) {
        const std::weak_ptr<const int> alive = lifetime();
        stopReading();
        if (alive.expired())
            return;   // a report delivered during the stop released this device
    }
    m_dataHandler = handler;
    startReading();
}

void HidDevice::setSleepTime(int milliseconds)
{
    if (milliseconds >= MinSleepTime && milliseconds <= MaxSleepTime)
        m_sleepTime = milliseconds;
}

void HidDevice::startReading()
{
    if (!m_dataHandler || !m_plugged || !m_claimed || !m_readWriteAccess || m_readThread || m_stoppingThread)
        return;
    m_readThread = std::make_unique<HidReadThread>(*this);
    m_readThread->start();
}

void HidDevice::stopReading()
{
    if (m_stoppingThread) {
        // A handler that a stop further up delivered to stops or releases
        // this device again: that stop is finished here, and the one up
        // there finds the thread ended.
        m_stoppingThread->waitForEnd();
        return;
    }
    // Taken out of the member first, so that a handler delivered meanwhile
    // finds no thread to stop or to start beside it.
    std::unique_ptr<HidReadThread> thread = std::move(m_readThread);
    if (!thread)
        return;
    const std::weak_ptr<const int> alive = lifetime();
    m_stoppingThread = thread.get();
    thread->requestStop();
    thread->waitForEnd();
    thread.reset();
    if (!alive.expired())
        m_stoppingThread = nullptr;
}

// Why closing cannot race the read thread. The thread never keeps the read
// handle in a field of its own: for each read it takes a reference from
// openReadHandleForThread(), which tests the plugged state and opens the
// handle under m_ioMutex. Here the plugged state is cleared and the handle taken out
// under the same mutex, so after this no read can be issued, and the handle
// is only cancelled, never destroyed under the thread: a read that waits on
// it returns Cancelled, and the handle closes when the thread drops its
// reference.
void HidDevice::markUnplugged()
{
    closeControlHandle();
    {
        std::lock_guard lock(m_ioMutex);
        m_plugged = false;
        if (m_readHandle) {
            m_readHandle->cancelRead();
            m_readHandle.reset();
        }
    }
    const HidPlugHandler handler = m_unplugHandler;
    if (handler) {
        const std::weak_ptr<const int> alive = lifetime();
        handler(this);
        if (!alive.expired())
            m_unplugHandler = nullptr;
    }
}

HidBackend::ResetResult HidDevice::resetUsbDevice(QString &detail)
{
    if (!isAccessible() || !m_backend) {
        detail = QStringLiteral("the device is no longer accessible");
        return HidBackend::ResetResult::Failed;
    }
    return m_backend->resetUsbDevice(m_interfaceInfo.path, detail);
}

std::shared_ptr<HidHandle> HidDevice::readHandle() const
{
    std::lock_guard lock(m_ioMutex);
    return m_readHandle;
}

bool HidDevice::openReadHandleForThread(std::uint32_t &error)
{
    std::lock_guard lock(m_ioMutex);
    if (!isAccessible() || !m_backend) {
        error = hidDeviceGoneError();
        return false;
    }
    if (!m_readHandle)
        m_readHandle = m_backend->open(m_interfaceInfo.path, HidAccess::Read, error);
    return bool(m_readHandle);
}

void HidDevice::cancelPendingRead()
{
    std::lock_guard lock(m_ioMutex);
    if (m_readHandle) {
        m_readHandle->cancelRead();
        m_readHandle.reset();
    }
}

void HidDevice::deliverReport(const std::uint8_t *report, int bytesRead)
{
    // Nothing after the call: the handler may release this device.
    const HidDataHandler handler = m_dataHandler;
    if (handler && bytesRead > 0)
        handler(this, report[0], report + 1, std::uint16_t(std::min(bytesRead - 1, 0xFFFF)));
}

void HidDevice::deliverError(std::uint32_t error)
{
    const HidDataErrorHandler handler = m_dataErrorHandler;
    if (handler)
        handler(this, error);
}
