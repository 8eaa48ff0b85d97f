#include "transport/hiddevicecontroller.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> liveControllers{0};

bool hasKey(const std::vector<std::unique_ptr<HidDevice>> &devices, const QString &key)
{
    return std::any_of(devices.begin(), devices.end(),
                       [&key](const auto &d) { return d->interfaceInfo().instanceKey == key; });
}

} // namespace

HidDeviceController::HidDeviceController(std::unique_ptr<HidBackend> backend, QObject *parent)
    : QObject(parent)
    , m_backend(std::move(backend))
{
    int none = 0;
    m_countedAsLive = liveControllers.compare_exchange_strong(none, 1);
    if (!m_countedAsLive) {
        // Two controllers would each claim the same devices and each answer
        // every notice.
        m_errorString = QStringLiteral("only one HID device controller is allowed per program");
        return;
    }
    if (!m_backend || !m_backend->isAvailable()) {
        m_errorString = QStringLiteral("the system's HID devices cannot be listed");
        return;
    }
    m_available = true;
    for (auto &device : openListedInterfaces())
        m_devices.push_back(device.release());
    m_backend->watchDeviceChanges([this](int eventCode) { handleDeviceChangeNotice(eventCode); });
}

HidDeviceController::~HidDeviceController()
{
    if (m_countedAsLive)
        --liveControllers;
    m_deviceChangeHandler = nullptr;
    m_unplugHandler = nullptr;
    m_enumerateHandler = nullptr;
    if (m_available)
        m_backend->watchDeviceChanges(nullptr);
    const std::vector<HidDevice *> devices = std::move(m_devices);
    m_devices.clear();
    // All are detached before any unplug handler runs: a claimant may return
    // other claimed devices from it, and those must not look for their list
    // position or be touched here afterwards.
    std::vector<std::weak_ptr<const int>> alive;
    for (HidDevice *device : devices) {
        device->detachFromController();
        alive.push_back(device->lifetime());
    }
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (alive[i].expired())
            continue;
        if (devices[i]->isClaimed())
            devices[i]->markUnplugged();
        else
            delete devices[i];
    }
}

int HidDeviceController::liveCount()
{
    return liveControllers;
}

void HidDeviceController::handleDeviceChangeNotice(int eventCode)
{
    if (eventCode == HidBackend::DeviceNodesChanged)
        runDeviceChangePass();
}

std::vector<std::unique_ptr<HidDevice>> HidDeviceController::openListedInterfaces()
{
    std::vector<std::unique_ptr<HidDevice>> list;
    if (!m_available)
        return list;
    for (const HidInterfaceInfo &info : m_backend->listInterfaces()) {
        // An interface that cannot be opened or identified is not listed.
        if (std::unique_ptr<HidDevice> device = HidDevice::open(info, this))
            list.push_back(std::move(device));
    }
    return list;
}

int HidDeviceController::indexOf(const HidDevice *device) const
{
    const auto it = std::find(m_devices.begin(), m_devices.end(), device);
    return it == m_devices.end() ? -1 : int(it - m_devices.begin());
}

bool HidDeviceController::reportPlug(const HidPlugHandler &handler, HidDevice *device)
{
    if (!handler)
        return true;
    const std::weak_ptr<const int> alive = device->lifetime();
    device->setInEvent(true);
    handler(device);
    if (alive.expired())
        return false;
    device->setInEvent(false);
    return true;
}

void HidDeviceController::runDeviceChangePass()
{
    if (m_inDeviceChange) {
        m_changeAgain = true;
        return;
    }
    m_inDeviceChange = true;
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_inDeviceChange};
    do {
        m_changeAgain = false;
        runSinglePass();
    } while (m_changeAgain);
}

void HidDeviceController::runSinglePass()
{
    bool changed = false;
    std::vector<std::unique_ptr<HidDevice>> fresh = openListedInterfaces();

    // Removals, from the last position to the first. A claimed device that
    // is gone stays in the list for its claimant, unplugged, and is reported
    // again at every pass until it is returned.
    for (int i = int(m_devices.size()) - 1; i >= 0; --i) {
        if (i >= int(m_devices.size()))
            continue;   // a handler returned devices meanwhile
        HidDevice *device = m_devices[std::size_t(i)];
        if (device->isPlugged() && hasKey(fresh, device->interfaceInfo().instanceKey))
            continue;
        changed = true;
        const std::weak_ptr<const int> alive = device->lifetime();
        device->markUnplugged();
        if (alive.expired() || !reportPlug(m_removalHandler, device))
            continue;
        if (!device->isClaimed())
            delete device;   // an unplugged device leaves the list as it goes
    }

    // Arrivals: what the fresh list holds beyond the plugged devices listed.
    for (auto it = fresh.begin(); it != fresh.end();) {
        const QString &key = (*it)->interfaceInfo().instanceKey;
        const bool listed = std::any_of(m_devices.begin(), m_devices.end(), [&key](const HidDevice *d) {
            return d->isPlugged() && d->interfaceInfo().instanceKey == key;
        });
        if (listed) {
            (*it)->detachFromController();
            it = fresh.erase(it);
        } else {
            ++it;
        }
    }
    for (auto &device : fresh) {
        HidDevice *arrived = device.release();
        m_devices.push_back(arrived);
        changed = true;
        reportPlug(m_arrivalHandler, arrived);
    }

    if ((changed || !m_changeReported) && m_deviceChangeHandler)
        m_deviceChangeHandler(this);
}

int HidDeviceController::listDevices()
{
    int count = 0;
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        HidDevice *device = m_devices[i];
        if (!device->isPlugged())
            continue;
        ++count;
        bool goOn = false;
        if (m_enumerateHandler) {
            const std::weak_ptr<const int> alive = device->lifetime();
            device->setInEvent(true);
            goOn = m_enumerateHandler(device, int(i));
            if (!alive.expired()) {
                device->setInEvent(false);
                if (!device->isClaimed()) {
                    device->closeControlHandle();
                    device->closeReadHandle();
                }
            }
        }
        if (!goOn)
            break;
    }
    return count;
}

std::unique_ptr<HidDevice> HidDeviceController::claimDeviceAt(int index)
{
    if (index < 0 || index >= int(m_devices.size()))
        return nullptr;
    HidDevice *device = m_devices[std::size_t(index)];
    if (device->isClaimed())
        return nullptr;
    device->m_claimed = true;
    device->startReading();
    return std::unique_ptr<HidDevice>(device);
}

void HidDeviceController::setReadThreadSleepTime(int milliseconds)
{
    // A value the devices refuse would leave them all behind for good: none
    // would have the controller's time any more to follow the next change.
    if (milliseconds == m_readThreadSleepTime || milliseconds < HidDevice::MinSleepTime
        || milliseconds > HidDevice::MaxSleepTime)
        return;
    for (HidDevice *device : m_devices) {
        if (device->sleepTime() == m_readThreadSleepTime)
            device->setSleepTime(milliseconds);
    }
    m_readThreadSleepTime = milliseconds;
}

void HidDeviceController::setDeviceChangeHandler(const HidChangeHandler &handler)
{
    if (handler == m_deviceChangeHandler)
        return;
    m_deviceChangeHandler = handler;
    runDeviceChangePass();
    m_changeReported = true;
}

void HidDeviceController::setDataHandler(const HidDataHandler &handler)
{
    if (handler == m_dataHandler)
        return;
    // Clearing a device's handler stops its reading, which delivers what the
    // thread handed over; that handler may return devices, so the list is
    // searched afresh after each change. A returned device's replacement
    // keeps the old handler and is found by a later search.
    const auto keptOld = [this](const HidDevice *device) { return device->dataHandler() == m_dataHandler; };
    for (auto it = std::find_if(m_devices.begin(), m_devices.end(), keptOld); it != m_devices.end();
         it = std::find_if(m_devices.begin(), m_devices.end(), keptOld)) {
        (*it)->setDataHandler(handler);
    }
    m_dataHandler = handler;
}

void HidDeviceController::setDataErrorHandler(const HidDataErrorHandler &handler)
{
    if (handler == m_dataErrorHandler)
        return;
    for (HidDevice *device : m_devices) {
        if (device->dataErrorHandler() == m_dataErrorHandler)
            device->setDataErrorHandler(handler);
    }
    m_dataErrorHandler = handler;
}

void HidDeviceController::setUnplugHandler(const HidPlugHandler &handler)
{
    if (handler == m_unplugHandler)
        return;
    for (HidDevice *device : m_devices) {
        if (device->unplugHandler() == m_unplugHandler)
            device->setUnplugHandler(handler);
    }
    m_unplugHandler = handler;
}
