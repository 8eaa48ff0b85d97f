#pragma once

#include "shared/designfontfiles.h"

#include <QByteArray>
#include <QFont>
#include <QString>

// The design names Windows fonts: "MS Sans Serif" and "Arial" for the window,
// "Arial" and "Calibri" in the report, and the LCD symbol font, which the
// report stands in for with a fixed-pitch face. The program draws them from
// font files of its own choosing (designFontFilePath), so that it looks the
// same, and its LCD lettering matches its baked outlines, whatever fonts a
// machine has installed.
//
// The files are made known to the toolkit under family names of their own
// ("qm320 Sans", "qm320 Mono"). Under their own names another font of that
// family would be chosen wherever the machine has one: fonts-liberation2
// brings a newer "Liberation Sans" with other outlines and metrics.
enum class DesignFace { Sans, Mono };

// The family that draws a face of the design: the program's own family once
// its files are loaded (the first call loads them; a QGuiApplication must
// exist), else a family of the system that stands in.
QString designFamily(DesignFace face);
// The same for a family the design names: "MS Sans Serif", "Arial" and
// "Calibri" are the sans serif face; any other name stays itself.
QString designFamily(const char *family);

// The weight is left to the widget the font is set on, as the design's
// family and size alone would.
QFont designFont(const char *family, int pixelSize);
QFont designFont(const char *family, int pixelSize, bool bold);

// The file a face was loaded from, or empty when it could not be and the
// system's fonts stand in.
QString designFontSource(DesignFontFile file);

// `font` (TrueType or OpenType data) with every family name in its name
// table replaced by `family`; empty when the data is not a font this can
// rename.
QByteArray fontWithFamilyName(const QByteArray &font, const QString &family);
