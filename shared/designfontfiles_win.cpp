#include "shared/designfontfiles.h"

#include <QCoreApplication>

QString designFontFilePath(DesignFontFile file)
{
    // Windows has neither file: the installer puts them beside the program.
    const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/fonts/");
    switch (file) {
    case DesignFontFile::Sans:
        return folder + QStringLiteral("LiberationSans-Regular.ttf");
    case DesignFontFile::SansBold:
        return folder + QStringLiteral("LiberationSans-Bold.ttf");
    case DesignFontFile::Mono:
        return folder + QStringLiteral("DejaVuSansMono.ttf");
    }
    return {};
}
