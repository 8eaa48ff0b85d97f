#include "app/windowcaption.h"

#include <sys/utsname.h>

QString nativeMachine()
{
    utsname name{};
    if (uname(&name) != 0)
        return {};
    return QString::fromLatin1(name.machine);
}
