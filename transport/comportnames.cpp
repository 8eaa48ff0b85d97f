#include "transport/comportnames.h"

int comPortNumber(const QString &name)
{
    if (name.size() != 4 || !name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return 0;
    const char16_t digit = name.at(3).unicode();
    return digit >= u'1' && digit <= u'4' ? int(digit - u'0') : 0;
}
