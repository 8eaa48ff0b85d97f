#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QString>
#include <QStringList>

// The design names Windows fonts, "MS Sans Serif" and "Arial"; where the
// system lacks them, fonts of the same metrics stand in. The window, its grid
// and its chart ask for every font under the family that is really used, not
// under the design's name: the toolkit works out fallbacks and sets up each
// size once per family name, so one font known by two names is paid for
// twice while the window starts.
inline QString designFamily(const char *family)
{
    const QString name = QString::fromLatin1(family);
    const QStringList installed = QFontDatabase::families();
    for (const QString &candidate : {name, QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")}) {
        if (installed.contains(candidate))
            return candidate;
    }
    return name;   // the toolkit's own fallback
}

// The weight is left to the widget the font is set on, as the design's
// family and size alone would.
inline QFont designFont(const char *family, int pixelSize)
{
    QFont font(designFamily(family));
    font.setPixelSize(pixelSize);
    return font;
}

inline QFont designFont(const char *family, int pixelSize, bool bold)
{
    QFont font = designFont(family, pixelSize);
    font.setBold(bold);
    return font;
}
