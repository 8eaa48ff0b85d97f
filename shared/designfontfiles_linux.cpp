#include "shared/designfontfiles.h"

QString designFontFilePath(DesignFontFile file)
{
    // fonts-liberation keeps Liberation 1.07 here; fonts-liberation2, with
    // other outlines under the same family name, lives in a folder of its own.
    switch (file) {
    case DesignFontFile::Sans:
        return QStringLiteral("/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf");
    case DesignFontFile::SansBold:
        return QStringLiteral("/usr/share/fonts/truetype/liberation/LiberationSans-Bold.ttf");
    case DesignFontFile::Mono:
        return QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf");
    }
    return {};
}
