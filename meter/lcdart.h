#pragma once

#include "meter/lcdlayout.h"

#include <QColor>
#include <QPainterPath>
#include <QRectF>

// The panel's artwork. No LCD symbol font is needed: every digit and symbol
// is a filled path, so it stays sharp at any scale.

namespace LcdColours {
inline const QColor Glass{201, 211, 190};       // the LCD's grey-green face
inline const QColor GlassShade{187, 198, 176};  // lower edge of the face
inline const QColor Segment{24, 30, 26};        // a lit segment
inline const QColor StaleSegment{24, 30, 26, 90};   // a lit segment of a reading that is no longer current
inline const QColor Ghost{0, 40, 0, 15};        // an unlit segment, barely visible
} // namespace LcdColours

// The shape of `info` drawn into `rect`; `glyph` is the character a digit
// shows ('8' for all segments) and is ignored by the other elements.
QPainterPath lcdArtPath(const LcdElementInfo &info, const QRectF &rect, QChar glyph = QChar(u'8'));
