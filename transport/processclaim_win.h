#pragma once

#include <QString>

#include <memory>

// A claim on a device that every copy of the program takes before it reads
// the device, so that a cable or a port is read by one window or one
// qm320-cli run at a time: the Windows side of the Linux device lock.
//
// The claim is a named shared-memory object holding the claimant's process
// id. The system deletes it when its last handle closes, so it goes with the
// process however the process ends, and unlike a mutex it belongs to no
// thread, so it may be let go on any thread.
class ProcessClaim
{
public:
    // Claims the device named `key` (a port or device path; letter case does
    // not matter). Null when another process holds it or the claim cannot be
    // made; `why` then names the holder ("qm320 (process 1234) holds it") or
    // what stood in the way.
    static std::unique_ptr<ProcessClaim> take(const QString &key, QString &why);
    // The holder of `key` as take() would name it, or an empty text when
    // nobody holds it.
    static QString holder(const QString &key);
    ~ProcessClaim();

    ProcessClaim(const ProcessClaim &) = delete;
    ProcessClaim &operator=(const ProcessClaim &) = delete;

    // The object name of the claim of `key`: the same for every spelling of
    // one device.
    static QString objectName(const QString &key);

private:
    ProcessClaim(void *mapping, void *view)
        : m_mapping(mapping)
        , m_view(view)
    { }
    void *m_mapping;
    void *m_view;
};

// "qm320 (process 1234)", or "process 1234" when the process's name cannot
// be read; the program's file name without ".exe", as on Linux.
QString describeProcess(unsigned long pid);
