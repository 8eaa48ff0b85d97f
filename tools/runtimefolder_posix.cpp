#include "tools/runtimefolder.h"

#include <QDir>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

void provideRuntimeFolder()
{
    if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR"))
        return;
    const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/qm320-runtime-" + QByteArray::number(::getuid());
    if (::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST)
        qputenv("XDG_RUNTIME_DIR", dir);
}
