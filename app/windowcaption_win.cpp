#include "app/windowcaption.h"

#include <windows.h>

QString nativeMachine()
{
    // The processor of the system, not of this process: a 32-bit build
    // under the emulation of a 64-bit Windows still says x64.
    SYSTEM_INFO info{};
    GetNativeSystemInfo(&info);
    switch (info.wProcessorArchitecture) {
    case PROCESSOR_ARCHITECTURE_AMD64:
        return QStringLiteral("x86_64");
    case PROCESSOR_ARCHITECTURE_IA64:
        return QStringLiteral("ia64");
    case PROCESSOR_ARCHITECTURE_INTEL:
        return QStringLiteral("x86");
    case PROCESSOR_ARCHITECTURE_ARM64:
        return QStringLiteral("arm64");
    case PROCESSOR_ARCHITECTURE_ARM:
        return QStringLiteral("arm");
    default:
        return {};
    }
}
