#include "log/unitsymbols.h"

QString lcdUnitText(QStringView stored)
{
    QString shown;
    shown.reserve(stored.size() + 2);
    for (qsizetype i = 0; i < stored.size(); ++i) {
        const QChar c = stored[i];
        if (c == u'*')
            shown += QChar(0x03A9);
        else if (c == u'#')
            shown += QStringLiteral("\u00B0C");
        else if (c == u'?')
            shown += QStringLiteral("\u00B0F");
        else if (c == u'u' && i == 0)
            shown += QChar(0x00B5);
        else
            shown += c;
    }
    return shown;
}
