#include "app/windowcaption.h"

bool is64BitMachine(QStringView machine)
{
    // Linux names x64 "x86_64" (some BSDs "amd64") and Itanium "ia64".
    return machine == u"x86_64" || machine == u"amd64" || machine == u"ia64";
}

QString captionSuffix(QStringView machine)
{
    return is64BitMachine(machine) ? QStringLiteral("(x64)") : QStringLiteral("(x86)");
}
