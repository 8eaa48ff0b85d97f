#pragma once

#include "transport/hidbackend.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// One scripted HID interface of the fake system.
struct FakeHidDevice
{
    QString key;
    QString path;
    HidAttributes attributes{0x1234, 0x5678, 0x0100};
    QString product = QStringLiteral("USB to Serial");
    std::optional<QString> serial;   // none: the serial-number query fails
    // The string at index 0; none leaves the caller's buffer untouched.
    std::optional<std::u16string> index0 = std::u16string(1, char16_t(0x0409));
    bool readWrite = true;           // opens with read and write access
    bool queryOnly = true;           // opens with access 0
    bool identifiable = true;        // answers the attributes query
    std::uint32_t openError = EACCES;   // why a refused opening fails
    std::uint32_t readOpenError = 0;    // non-zero: opening for reading fails with it
    HidCaps caps{0x0001, 0xFFA0, 9, 0, 10};
    bool acceptsFeature = true;
};

// The fake HID side of the system: devices to list and open, input reports to
// read, feature reports sent, device-change notices. A test keeps the shared
// system and hands backend() to the controller; the read thread reaches it
// through its handles, so everything is guarded by one mutex.
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
    void failNextRead(const QString &path, std::uint32_t error)
    {
        {
            std::lock_guard lock(mutex);
            readFailures[path] = error;
        }
        changed.notify_all();
    }
    // A device-change notice, as the system's notifier sends it.
    void notify(int eventCode = HidBackend::DeviceNodesChanged)
    {
        const std::function<void(int)> handler = notice;
        if (handler)
            handler(eventCode);
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
    std::size_t queuedReports(const QString &path) const
    {
        std::lock_guard lock(mutex);
        const auto it = reports.find(path);
        return it == reports.end() ? 0 : it->second.size();
    }

    // Main thread only.
    bool available = true;
    int listings = 0;
    std::function<void(int)> notice;
    const HidBackend *noticeOwner = nullptr;   // each backend watches on its own
    HidBackend::ResetResult resetResult = HidBackend::ResetResult::NotPermitted;
    QStringList resets;
    // Devices claimed through any backend of this system, as the locks of
    // several programs on one machine.
    std::set<QString> claimed;

    mutable std::mutex mutex;
    std::condition_variable changed;
    std::vector<FakeHidDevice> devices;
    std::map<QString, std::deque<QByteArray>> reports;
    std::map<QString, std::uint32_t> readFailures;
    std::vector<Feature> sentFeatures;
    int readOpenCount = 0;
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
    }

    bool attributes(HidAttributes &attributes) override
    {
        if (!m_device.identifiable)
            return false;
        attributes = m_device.attributes;
        return true;
    }
    bool productString(char16_t *buffer, int units) override
    {
        return !m_device.product.isEmpty() && copy(m_device.product.toStdU16String(), buffer, units);
    }
    bool serialNumberString(char16_t *buffer, int units) override
    {
        return m_device.serial && copy(m_device.serial->toStdU16String(), buffer, units);
    }
    bool indexedString(int index, char16_t *buffer, int units) override
    {
        if (index != 0 || !m_device.index0)
            return false;
        std::copy_n(m_device.index0->begin(), std::min(int(m_device.index0->size()), units), buffer);
        return true;
    }
    bool capabilities(HidCaps &caps) override
    {
        caps = m_device.caps;
        return true;
    }
    bool setFeature(const std::uint8_t *data, int size) override
    {
        std::lock_guard lock(m_system->mutex);
        if (m_access != HidAccess::ReadWrite || !m_device.acceptsFeature)
            return false;
        m_system->sentFeatures.push_back({m_device.path, QByteArray(reinterpret_cast<const char *>(data), size)});
        return true;
    }

    HidReadResult read(std::uint8_t *buffer, int length, int timeoutMs) override
    {
        using Status = HidReadResult::Status;
        std::unique_lock lock(m_system->mutex);
        std::deque<QByteArray> &queue = m_system->reports[m_device.path];
        const auto ready = [&] {
            return m_cancelled || !present() || !queue.empty() || m_system->readFailures.count(m_device.path);
        };
        if (!m_system->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
            return {Status::Timeout, 0, 0};
        if (m_cancelled)
            return {Status::Cancelled, 0, 0};
        if (!present())
            return {Status::Failed, 0, EIO};
        if (const auto failure = m_system->readFailures.find(m_device.path); failure != m_system->readFailures.end()) {
            const std::uint32_t error = failure->second;
            m_system->readFailures.erase(failure);
            return {Status::Failed, 0, error};
        }
        const QByteArray report = queue.front();
        queue.pop_front();
        const int n = std::min(int(report.size()), length);
        std::copy_n(reinterpret_cast<const std::uint8_t *>(report.constData()), n, buffer);
        return {Status::Data, n, 0};
    }
    void cancelRead() override
    {
        {
            std::lock_guard lock(m_system->mutex);
            m_cancelled = true;
        }
        m_system->changed.notify_all();
    }

private:
    static bool copy(const std::u16string &text, char16_t *buffer, int units)
    {
        const int n = std::min(int(text.size()), units);
        std::copy_n(text.begin(), n, buffer);
        if (n < units)
            buffer[n] = 0;
        return true;
    }
    // Under the system's mutex.
    bool present() const
    {
        const FakeHidDevice *d = m_system->find(m_device.path);
        return d && d->key == m_device.key;
    }

    std::shared_ptr<FakeHidSystem> m_system;
    const FakeHidDevice m_device;   // as it was when opened
    const HidAccess m_access;
    bool m_cancelled = false;       // under the system's mutex
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

    std::unique_ptr<HidHandle> open(const QString &path, HidAccess access, std::uint32_t &error) override
    {
        std::lock_guard lock(m_system->mutex);
        const FakeHidDevice *d = m_system->find(path);
        if (access == HidAccess::Read)
            ++m_system->readOpenCount;
        if (std::this_thread::get_id() != m_system->mainThread)
            ++m_system->offThreadOpens;
        if (!d) {
            error = ENOENT;
            return nullptr;
        }
        const bool allowed = access == HidAccess::QueryOnly ? d->queryOnly
                             : access == HidAccess::Read    ? d->readWrite && d->readOpenError == 0
                                                            : d->readWrite;
        if (!allowed) {
            error = access == HidAccess::Read && d->readOpenError ? d->readOpenError : d->openError;
            return nullptr;
        }
        return std::make_unique<FakeHidHandle>(m_system, *d, access);
    }

    void watchDeviceChanges(std::function<void(int)> notice) override
    {
        m_system->notice = std::move(notice);
        m_system->noticeOwner = m_system->notice ? this : nullptr;
    }

    std::unique_ptr<HidClaim> claim(const QString &path, QString &why) override
    {
        struct FakeClaim final : HidClaim
        {
            std::shared_ptr<FakeHidSystem> system;
            QString path;
            ~FakeClaim() override { system->claimed.erase(path); }
        };
        if (!m_system->claimed.insert(path).second) {
            why = QStringLiteral("qm320 (process 4242) holds it");
            return nullptr;
        }
        auto claim = std::make_unique<FakeClaim>();
        claim->system = m_system;
        claim->path = path;
        return claim;
    }

    ResetResult resetUsbDevice(const QString &path, QString &detail) override
    {
        m_system->resets.append(path);
        detail = path;
        return m_system->resetResult;
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
