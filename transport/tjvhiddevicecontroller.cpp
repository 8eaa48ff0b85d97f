#include "transport/tjvhiddevicecontroller.h"

#include <algorithm>
#include <atomic>

namespace {

std::atomic<int> ControllerCountValue{0};

bool hasKey(const std::vector<std::unique_ptr<TJvHidDevice>> &devices, const QString &key)
{
    return std::any_of(devices.begin(), devices.end(),
                       [&key](const auto &d) { return d->interfaceInfo().instanceKey == key; });
}

} // namespace

TJvHidDeviceController::TJvHidDeviceController(std::unique_ptr<HidBackend> backend, QObject *owner)
    : QObject(owner)
    , m_backend(std::move(backend))
{
    int none = 0;
    m_counted = ControllerCountValue.compare_exchange_strong(none, 1);
    if (!m_counted) {
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
    for (auto &device : BuildDeviceList())
        m_deviceList.push_back(device.release());
    m_backend->watchDeviceChanges([this](int eventCode) { DeviceMessageHook(eventCode); });
}

TJvHidDeviceController::~TJvHidDeviceController()
{
    if (m_counted)
        --ControllerCountValue;
    m_onDeviceChange = nullptr;
    m_onDeviceUnplug = nullptr;
    m_onEnumerate = nullptr;
    if (m_available)
        m_backend->watchDeviceChanges(nullptr);
    const std::vector<TJvHidDevice *> devices = std::move(m_deviceList);
    m_deviceList.clear();
    for (TJvHidDevice *device : devices) {
        device->m_owner = nullptr;
        if (device->Claimed())
            device->MarkUnplugged();
        else
            delete device;
    }
}

int TJvHidDeviceController::ControllerCount()
{
    return ControllerCountValue;
}

void TJvHidDeviceController::DeviceMessageHook(int eventCode)
{
    if (eventCode == HidBackend::DevNodesChanged)
        DeviceChange();
}

std::vector<std::unique_ptr<TJvHidDevice>> TJvHidDeviceController::BuildDeviceList()
{
    std::vector<std::unique_ptr<TJvHidDevice>> list;
    if (!m_available)
        return list;
    for (const HidInterfaceInfo &info : m_backend->listInterfaces()) {
        // An interface that cannot be opened or identified is not listed.
        if (std::unique_ptr<TJvHidDevice> device = TJvHidDevice::open(info, this))
            list.push_back(std::move(device));
    }
    return list;
}

int TJvHidDeviceController::indexOf(const TJvHidDevice *device) const
{
    const auto it = std::find(m_deviceList.begin(), m_deviceList.end(), device);
    return it == m_deviceList.end() ? -1 : int(it - m_deviceList.begin());
}

bool TJvHidDeviceController::reportPlug(const TJvHidPlugEvent &handler, TJvHidDevice *device)
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

void TJvHidDeviceController::DeviceChange()
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
        deviceChangePass();
    } while (m_changeAgain);
}

void TJvHidDeviceController::deviceChangePass()
{
    bool changed = false;
    std::vector<std::unique_ptr<TJvHidDevice>> fresh = BuildDeviceList();

    // Removals, from the last position to the first. A claimed device that
    // is gone stays in the list for its claimant, unplugged, and is reported
    // again at every pass until it is returned.
    for (int i = int(m_deviceList.size()) - 1; i >= 0; --i) {
        if (i >= int(m_deviceList.size()))
            continue;   // a handler returned devices meanwhile
        TJvHidDevice *device = m_deviceList[std::size_t(i)];
        if (device->Plugged() && hasKey(fresh, device->interfaceInfo().instanceKey))
            continue;
        changed = true;
        const std::weak_ptr<const int> alive = device->lifetime();
        device->MarkUnplugged();
        if (alive.expired() || !reportPlug(m_onRemoval, device))
            continue;
        if (!device->Claimed())
            delete device;   // an unplugged device leaves the list as it goes
    }

    // Arrivals: what the fresh list holds beyond the plugged devices listed.
    for (auto it = fresh.begin(); it != fresh.end();) {
        const QString &key = (*it)->interfaceInfo().instanceKey;
        const bool listed = std::any_of(m_deviceList.begin(), m_deviceList.end(), [&key](const TJvHidDevice *d) {
            return d->Plugged() && d->interfaceInfo().instanceKey == key;
        });
        if (listed) {
            (*it)->m_owner = nullptr;
            it = fresh.erase(it);
        } else {
            ++it;
        }
    }
    for (auto &device : fresh) {
        TJvHidDevice *arrived = device.release();
        m_deviceList.push_back(arrived);
        changed = true;
        reportPlug(m_onArrival, arrived);
    }

    if ((changed || !m_changeReported) && m_onDeviceChange)
        m_onDeviceChange(this);
}

int TJvHidDeviceController::ListDevices()
{
    int count = 0;
    for (std::size_t i = 0; i < m_deviceList.size(); ++i) {
        TJvHidDevice *device = m_deviceList[i];
        if (!device->Plugged())
            continue;
        ++count;
        bool goOn = false;
        if (m_onEnumerate) {
            const std::weak_ptr<const int> alive = device->lifetime();
            device->setInEvent(true);
            goOn = m_onEnumerate(device, int(i));
            if (!alive.expired()) {
                device->setInEvent(false);
                if (!device->Claimed()) {
                    device->CloseControlHandle();
                    device->CloseIoHandle();
                }
            }
        }
        if (!goOn)
            break;
    }
    return count;
}

std::unique_ptr<TJvHidDevice> TJvHidDeviceController::ClaimDeviceAt(int index)
{
    if (index < 0 || index >= int(m_deviceList.size()))
        return nullptr;
    TJvHidDevice *device = m_deviceList[std::size_t(index)];
    if (device->Claimed())
        return nullptr;
    device->m_claimed = true;
    device->StartReadThread();
    return std::unique_ptr<TJvHidDevice>(device);
}

void TJvHidDeviceController::SetDevThreadSleepTime(int milliseconds)
{
    if (milliseconds == m_devThreadSleepTime)
        return;
    for (TJvHidDevice *device : m_deviceList) {
        if (device->SleepTime() == m_devThreadSleepTime)
            device->SetSleepTime(milliseconds);
    }
    m_devThreadSleepTime = milliseconds;
}

void TJvHidDeviceController::SetOnDeviceChange(const TNotifyEvent &handler)
{
    if (handler == m_onDeviceChange)
        return;
    m_onDeviceChange = handler;
    DeviceChange();
    m_changeReported = true;
}

void TJvHidDeviceController::SetOnDeviceData(const TJvHidDataEvent &handler)
{
    if (handler == m_onDeviceData)
        return;
    for (TJvHidDevice *device : std::vector<TJvHidDevice *>(m_deviceList)) {
        if (device->DataHandler() == m_onDeviceData)
            device->SetDataHandler(handler);
    }
    m_onDeviceData = handler;
}

void TJvHidDeviceController::SetOnDeviceDataError(const TJvHidDataErrorEvent &handler)
{
    if (handler == m_onDeviceDataError)
        return;
    for (TJvHidDevice *device : m_deviceList) {
        if (device->DataErrorHandler() == m_onDeviceDataError)
            device->SetDataErrorHandler(handler);
    }
    m_onDeviceDataError = handler;
}

void TJvHidDeviceController::SetOnDeviceUnplug(const TJvHidPlugEvent &handler)
{
    if (handler == m_onDeviceUnplug)
        return;
    for (TJvHidDevice *device : m_deviceList) {
        if (device->UnplugHandler() == m_onDeviceUnplug)
            device->SetUnplugHandler(handler);
    }
    m_onDeviceUnplug = handler;
}
