#include "transport/systemerror_win.h"

#include <windows.h>

QString windowsErrorText(unsigned long systemError)
{
    wchar_t *buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, systemError, 0, reinterpret_cast<wchar_t *>(&buffer), 0, nullptr);
    QString text;
    if (length > 0 && buffer)
        text = QString::fromWCharArray(buffer, int(length)).trimmed();
    LocalFree(buffer);
    while (text.endsWith(u'.'))
        text.chop(1);
    return text.isEmpty() ? QStringLiteral("error %1").arg(systemError) : text;
}
