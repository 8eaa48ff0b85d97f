#include "transport/hiddevicecontroller.h"

#include <algorithm>

HidDeviceController::HidDeviceController(HidBackend &backend, QObject *parent)
    : QObject(parent)
    , m_backend(backend)
{ }

HidDeviceController::~HidDeviceController()
{
    if (m_started)
        m_backend.watchDeviceChanges(nullptr);
}

QString HidDeviceController::errorString() const
{
    return isAvailable() ? QString() : QStringLiteral("the system's HID devices cannot be listed");
}

void HidDeviceController::start()
{
    if (m_started)
        return;
    m_started = true;
    if (isAvailable())
        m_backend.watchDeviceChanges([this] { refresh(); });
    refresh();
}

void HidDeviceController::refresh()
{
    if (!m_started)
        return;
    if (m_inPass) {
        m_passAgain = true;
        return;
    }
    m_inPass = true;
    struct Reset
    {
        bool &flag;
        ~Reset() { flag = false; }
    } reset{m_inPass};
    do {
        m_passAgain = false;
        runPass();
    } while (m_passAgain);
}

void HidDeviceController::runPass()
{
    // What is there now: every interface the system lists that opens, at
    // least to say what it is, and does say it. One that no longer opens
    // counts as gone, as it cannot be read or set up any more.
    struct Present
    {
        HidInterfaceInfo info;
        std::unique_ptr<HidHandle> handle;
        HidAttributes attributes;
    };
    std::vector<Present> present;
    if (isAvailable()) {
        for (HidInterfaceInfo &info : m_backend.listInterfaces()) {
            HidFailure why;
            Present p{std::move(info), nullptr, {}};
            p.handle = m_backend.open(p.info.path, HidAccess::QueryOnly, why);
            if (p.handle && p.handle->attributes(p.attributes))
                present.push_back(std::move(p));
        }
    }
    const auto isPresent = [&present](const QString &key) {
        return std::any_of(present.begin(), present.end(),
                           [&key](const Present &p) { return p.info.instanceKey == key; });
    };
    bool changed = false;

    // Each removal is taken out of the list before it is reported, so a slot
    // sees the list as it is.
    for (int i = int(m_devices.size()) - 1; i >= 0; --i) {
        if (i >= int(m_devices.size()) || isPresent(m_devices[std::size_t(i)].instanceKey))
            continue;
        const HidDevice gone = m_devices[std::size_t(i)];
        m_devices.erase(m_devices.begin() + i);
        changed = true;
        emit deviceRemoved(gone);
    }

    for (const Present &p : present) {
        const QString &key = p.info.instanceKey;
        if (std::any_of(m_devices.begin(), m_devices.end(),
                        [&key](const HidDevice &d) { return d.instanceKey == key; }))
            continue;
        HidDevice arrived;
        arrived.instanceKey = key;
        arrived.path = p.info.path;
        arrived.vendorId = p.attributes.vendorId;
        arrived.productId = p.attributes.productId;
        arrived.productString = p.handle->productString();
        arrived.serialNumber = p.handle->serialNumber();
        m_devices.push_back(arrived);
        changed = true;
        // The first pass lists what was there before; nothing arrives.
        if (m_firstReported)
            emit deviceArrived(arrived);
    }

    if (changed || !m_firstReported) {
        m_firstReported = true;
        emit devicesChanged();
    }
}
