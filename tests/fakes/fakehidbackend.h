#pragma once

#include "transport/hidbackend.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

// The system's words for a failure of the fake, as Linux says them.
inline HidFailure fakeHidFailure(HidError error)
{
    switch (error) {
    case HidError::None:
        return {};
    case HidError::NoSuchDevice:
        return {error, QStringLiteral("No such device")};
    case HidError::PermissionDenied:
        return {error, QStringLiteral("Permission denied")};
    case HidError::InUse:
        return {error, QStringLiteral("Device or resource busy")};
    case HidError::Unsupported:
        return {error, QStringLiteral("Operation not supported")};
    case HidError::Io:
        break;
    }
    return {HidError::Io, QStringLiteral("Input/output error")};
}

// One scripted HID interface of the fake system.
struct FakeHidDevice
{
    QString key;
    QString path;
    HidAttributes attributes{0x1234, 0x5678};
    QString product = QStringLiteral("USB to Serial");
    QString serial;                  // empty: the device has none
    bool readWrite = true;           // opens for reading and writing
    bool queryOnly = true;           // opens to say what it is
    bool identifiable = true;        // answers the attributes query
    HidError openError = HidError::PermissionDenied;   // why a refused opening fails
    HidError readOpenError = HidError::None;           // opening for reading fails with it
    int inputReportLength = 9;
    bool acceptsFeature = true;
};

// The fake HID side of the system: devices to list and open, input reports to
// read, feature reports sent, device-change notices. A test keeps the shared
// system and hands backend() to the link; the read thread reaches it through
// its handle, so what a read touches is guarded by one mutex.
class FakeHidSystem : public std::enable_shared_from_this<FakeHidSystem>
{
public:
    struct Feature
    {
        QString path;
        QByteArray bytes;
    };

    std::unique_ptr<HidBackend> backend();

    void add(const FakeHidDevice &device)
    {
        std::lock_guard lock(mutex);
        devices.push_back(device);
    }
    void remove(const QString &key)
    {
        {
            std::lock_guard lock(mutex);
            devices.erase(std::remove_if(devices.begin(), devices.end(),
                                         [&key](const FakeHidDevice &d) { return d.key == key; }),
                          devices.end());
        }
        changed.notify_all();
    }
    // Changes a listed device in place.
    void edit(const QString &key, const std::function<void(FakeHidDevice &)> &change)
    {
        std::lock_guard lock(mutex);
        for (FakeHidDevice &d : devices) {
            if (d.key == key)
                change(d);
        }
    }
    // The report's first byte is the report ID.
    void queueReport(const QString &path, const QByteArray &report)
    {
        {
            std::lock_guard lock(mutex);
            reports[path].push_back(report);
        }
        changed.notify_all();
    }
    // Makes the next read on `path` fail.
    void failNextRead(const QString &path, HidError error)
    {
        {
            std::lock_guard lock(mutex);
            readFailures[path] = error;
        }
        changed.notify_all();
    }
    // A device-change notice, as the system's notifier sends it.
    void notify()
    {
        const std::function<void()> handler = notice;
        if (handler)
            handler();
    }

    std::vector<Feature> features() const
    {
        std::lock_guard lock(mutex);
        return sentFeatures;
    }
    // Opens made on another thread than the one that made the system: the
    // program opens devices on its main thread only.
    int opensOffMainThread() const
    {
        std::lock_guard lock(mutex);
        return offThreadOpens;
    }
    int readOpens() const
    {
        std::lock_guard lock(mutex);
        return readOpenCount;
    }
    // Handles opened for reading that are still open.
    int openReadHandles() const
    {
        std::lock_guard lock(mutex);
        return liveReadHandles;
    }
    std::size_t queuedReports(const QString &path) const
    {
        std::lock_guard lock(mutex);
        const auto it = reports.find(path);
        return it == reports.end() ? 0 : it->second.size();
    }

    // Main thread only.
    bool available = true;
    int listings = 0;
    std::function<void()> notice;
    const HidBackend *noticeOwner = nullptr;   // each backend watches on its own
    HidError resetError = HidError::PermissionDenied;   // None: a reset is done
    QStringList resets;
    // Devices claimed through any backend of this system, as the locks of
    // several programs on one machine.
    std::set<QString> claimed;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<FakeHidDevice> devices;
    std::map<QString, std::deque<QByteArray>> reports;
    std::map<QString, HidError> readFailures;
    std::vector<Feature> sentFeatures;
    int readOpenCount = 0;
    int liveReadHandles = 0;
    int offThreadOpens = 0;
    const std::thread::id mainThread = std::this_thread::get_id();

    // Under `mutex`.
    const FakeHidDevice *find(const QString &path) const
    {
        for (const FakeHidDevice &d : devices) {
            if (d.path == path)
                return &d;
        }
        return nullptr;
    }
};

class FakeHidHandle : public HidHandle
{
public:
    FakeHidHandle(std::shared_ptr<FakeHidSystem> system, const FakeHidDevice &device, HidAccess access)
        : m_system(std::move(system))
        , m_device(device)
        , m_access(access)
    {
        if (m_access == HidAccess::Read)
            ++m_system->liveReadHandles;   // made under the system's mutex
    }
    ~FakeHidHandle() override
    {
        if (m_access == HidAccess::Read) {
            std::lock_guard lock(m_system->mutex);
            --m_system->liveReadHandles;
        }
    }

    bool attributes(HidAttributes &attributes) override
    {
        if (!m_device.identifiable)
            return false;
        attributes = m_device.attributes;
        return true;
    }
    QString productString() override { return m_device.product; }
    QString serialNumber() override { return m_device.serial; }
    int inputReportLength() override { return m_device.inputReportLength; }
    bool sendFeatureReport(QByteArrayView report) override
    {
        std::lock_guard lock(m_system->mutex);
        if (m_access != HidAccess::ReadWrite || !m_device.acceptsFeature || !present())
            return false;
        m_system->sentFeatures.push_back({m_device.path, report.toByteArray()});
        return true;
    }

    HidRead read(std::uint8_t *buffer, int capacity, int timeoutMs) override
    {
        using Status = HidRead::Status;
        std::unique_lock lock(m_system->mutex);
        if (m_access != HidAccess::Read)
            return {Status::Failed, 0, fakeHidFailure(HidError::Io)};
        std::deque<QByteArray> &queue = m_system->reports[m_device.path];
        const auto ready = [&] { return !present() || !queue.empty() || m_system->readFailures.count(m_device.path); };
        if (!m_system->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
            return {Status::Timeout, 0, {}};
        if (!present())
            return {Status::Failed, 0, fakeHidFailure(HidError::NoSuchDevice)};
        if (const auto failure = m_system->readFailures.find(m_device.path); failure != m_system->readFailures.end()) {
            const HidError error = failure->second;
            m_system->readFailures.erase(failure);
            return {Status::Failed, 0, fakeHidFailure(error)};
        }
        const QByteArray report = queue.front();
        queue.pop_front();
        const int n = std::min(int(report.size()), capacity);
        std::copy_n(reinterpret_cast<const std::uint8_t *>(report.constData()), n, buffer);
        return {Status::Data, n, {}};
    }

private:
    // Under the system's mutex.
    bool present() const
    {
        const FakeHidDevice *d = m_system->find(m_device.path);
        return d && d->key == m_device.key;
    }

    std::shared_ptr<FakeHidSystem> m_system;
    const FakeHidDevice m_device;   // as it was when opened
    const HidAccess m_access;
};

class FakeHidBackend : public HidBackend
{
public:
    explicit FakeHidBackend(std::shared_ptr<FakeHidSystem> system) : m_system(std::move(system)) {}
    ~FakeHidBackend() override
    {
        if (m_system->noticeOwner == this)
            m_system->notice = nullptr;
    }

    bool isAvailable() const override { return m_system->available; }

    std::vector<HidInterfaceInfo> listInterfaces() override
    {
        std::lock_guard lock(m_system->mutex);
        ++m_system->listings;
        std::vector<HidInterfaceInfo> list;
        for (const FakeHidDevice &d : m_system->devices)
            list.push_back({d.key, d.path});
        return list;
    }

    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access, HidFailure &why) override
    {
        std::lock_guard lock(m_system->mutex);
        const FakeHidDevice *d = m_system->find(path);
        if (access == HidAccess::Read)
            ++m_system->readOpenCount;
        if (std::this_thread::get_id() != m_system->mainThread)
            ++m_system->offThreadOpens;
        if (!d) {
            // As the system says of a device node that is not there.
            why = {HidError::NoSuchDevice, QStringLiteral("No such file or directory")};
            return nullptr;
        }
        const bool allowed = access == HidAccess::QueryOnly ? d->queryOnly || d->readWrite
                             : access == HidAccess::Read    ? d->readWrite && d->readOpenError == HidError::None
                                                            : d->readWrite;
        if (!allowed) {
            why = fakeHidFailure(access == HidAccess::Read && d->readOpenError != HidError::None ? d->readOpenError
                                                                                              : d->openError);
            return nullptr;
        }
        return std::make_unique<FakeHidHandle>(m_system, *d, access);
    }

    void watchDeviceChanges(std::function<void()> changed) override
    {
        m_system->notice = std::move(changed);
        m_system->noticeOwner = m_system->notice ? this : nullptr;
    }

    std::unique_ptr<HidClaim> claim(const QString &path, HidFailure &why) override
    {
        struct FakeClaim final : HidClaim
        {
            std::shared_ptr<FakeHidSystem> system;
            QString path;
            ~FakeClaim() override { system->claimed.erase(path); }
        };
        if (!m_system->claimed.insert(path).second) {
            why = {HidError::InUse, QStringLiteral("qm320 (process 4242) holds it")};
            return nullptr;
        }
        auto claim = std::make_unique<FakeClaim>();
        claim->system = m_system;
        claim->path = path;
        return claim;
    }

    bool resetUsbDevice(const QString &path, HidFailure &why) override
    {
        m_system->resets.append(path);
        why = fakeHidFailure(m_system->resetError);
        return m_system->resetError == HidError::None;
    }

private:
    std::shared_ptr<FakeHidSystem> m_system;
};

inline std::unique_ptr<HidBackend> FakeHidSystem::backend()
{
    return std::make_unique<FakeHidBackend>(shared_from_this());
}

// A device of the fake system named by its key, at /dev/hidraw-<key>.
inline FakeHidDevice fakeHidDevice(const QString &key, const QString &product = QStringLiteral("USB to Serial"))
{
    FakeHidDevice d;
    d.key = key;
    d.path = QStringLiteral("/dev/hidraw-") + key;
    d.product = product;
    return d;
}
