#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

// An advisory lock on a device node. Every copy of the program takes it
// before it reads a device, so that a cable is read by one window or one
// qm320-cli run at a time; the system drops it when the holder ends, however
// it ends.
class DeviceLock
{
public:
    // Locks the file at `path` (links followed). Null when another holds it
    // or it cannot be opened; `why` then names the holder ("qm320 (process
    // 1234) holds it") or what stood in the way.
    static std::unique_ptr<DeviceLock> take(const QString &path, QString &why);
    ~DeviceLock();

    DeviceLock(const DeviceLock &) = delete;
    DeviceLock &operator=(const DeviceLock &) = delete;

private:
    explicit DeviceLock(int fd)
        : m_fd(fd)
    { }
    int m_fd;
};

// The process that holds a whole-file lock (flock) on the file with the given
// device and inode numbers, as the system's lock table (/proc/locks) lists it.
std::optional<std::int64_t> flockHolder(QByteArrayView lockTable, std::uint64_t device, std::uint64_t inode);
