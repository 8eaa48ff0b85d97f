#pragma once

#include "meter/lcdlayout.h"

#include <QColor>
#include <QPainterPath>
#include <QRectF>
#include <QStringList>

// The panel's artwork. No LCD symbol font is needed: every digit and symbol
// is a filled path, so it stays sharp at any scale.

namespace LcdColours {
inline const QColor Glass{201, 211, 190};         // the LCD's grey-green face
inline const QColor GlassShade{187, 198, 176};    // lower edge of the face
inline const QColor Segment{24, 30, 26};          // a lit segment
inline const QColor StaleSegment{24, 30, 26, 90}; // a lit segment of a reading that is no longer current
inline const QColor Ghost{0, 40, 0, 15};          // an unlit segment, barely visible
} // namespace LcdColours

// The shape of `info` drawn into `rect`; `glyph` is the character a digit
// shows ('8' for all segments) and is ignored by the other elements.
QPainterPath lcdArtPath(const LcdElementInfo &info, const QRectF &rect, QChar glyph = QChar(u'8'));

// The panel's words and unit symbols are outlines of the design font's bold
// face at 21 px, baked into the program by qm320-bakelettering so that the
// panel needs no text layout to show. These are the texts it bakes and how
// it lays out one of them (baseline at y = 0, in pixels).
QStringList lcdLetteringTexts();
QPainterPath lcdLetteringFromFont(const QString &text, qreal *capHeight = nullptr);
// The baked outline of `text`, empty when it was never baked.
QPainterPath lcdBakedLettering(QStringView text, qreal *capHeight = nullptr);
