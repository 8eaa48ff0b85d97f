#include "transport/processclaim_win.h"
#include "transport/systemerror_win.h"

#include <QCryptographicHash>
#include <QFileInfo>

#include <windows.h>

namespace {

// The claim's content.
struct ClaimRecord
{
    DWORD pid;
};

} // namespace

QString ProcessClaim::objectName(const QString &key)
{
    // Object names may not hold '\', and device paths do; a hash of the
    // upper-cased key names the device in any spelling.
    const QByteArray hash = QCryptographicHash::hash(key.toUpper().toUtf8(), QCryptographicHash::Sha1).toHex();
    // Local: the namespace of this logon session, which every user may
    // write; the global one needs a privilege that ordinary users lack.
    return QStringLiteral("Local\\qm320-claim-%1").arg(QString::fromLatin1(hash));
}

QString describeProcess(unsigned long pid)
{
    QString name;
    if (HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
        wchar_t path[MAX_PATH] = {};
        DWORD size = MAX_PATH;
        if (QueryFullProcessImageNameW(process, 0, path, &size))
            name = QFileInfo(QString::fromWCharArray(path, int(size))).completeBaseName();
        CloseHandle(process);
    }
    return name.isEmpty() ? QStringLiteral("process %1").arg(pid)
                          : QStringLiteral("%1 (process %2)").arg(name).arg(pid);
}

QString ProcessClaim::holder(const QString &key)
{
    const std::wstring name = objectName(key).toStdWString();
    HANDLE mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
    if (!mapping)
        return {};
    DWORD pid = 0;
    if (void *view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, sizeof(ClaimRecord))) {
        pid = static_cast<const ClaimRecord *>(view)->pid;
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    // A claim made a moment ago may not carry its process yet.
    return pid ? describeProcess(pid) : QStringLiteral("another program");
}

std::unique_ptr<ProcessClaim> ProcessClaim::take(const QString &key, QString &why)
{
    const std::wstring name = objectName(key).toStdWString();
    HANDLE mapping =
        CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(ClaimRecord), name.c_str());
    const DWORD error = GetLastError();
    if (!mapping) {
        why = QStringLiteral("it cannot be claimed: %1").arg(windowsErrorText(error));
        return nullptr;
    }
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mapping);
        const QString who = holder(key);
        why = (who.isEmpty() ? QStringLiteral("another program") : who) + QStringLiteral(" holds it");
        return nullptr;
    }
    void *view = MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(ClaimRecord));
    if (!view) {
        why = QStringLiteral("it cannot be claimed: %1").arg(windowsErrorText(GetLastError()));
        CloseHandle(mapping);
        return nullptr;
    }
    static_cast<ClaimRecord *>(view)->pid = GetCurrentProcessId();
    return std::unique_ptr<ProcessClaim>(new ProcessClaim(mapping, view));
}

ProcessClaim::~ProcessClaim()
{
    UnmapViewOfFile(m_view);
    CloseHandle(m_mapping);
}
