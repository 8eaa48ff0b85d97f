#pragma once

#include <QString>

// The font files that the program's look is drawn from: the sans serif that
// stands in for the design's "MS Sans Serif", "Arial" and "Calibri", in
// its regular and bold faces, and the fixed-pitch face of the report.
enum class DesignFontFile { Sans, SansBold, Mono };

// Where this platform keeps the file; empty when it has no place for it.
// Linux: the files of Debian's fonts-liberation (Liberation 1.07) and
// fonts-dejavu-core, on which the package depends. A platform without them
// ships the files beside the program.
QString designFontFilePath(DesignFontFile file);
