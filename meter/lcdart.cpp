#include "meter/lcdart.h"

#include "shared/designfont.h"

#include <QFont>
#include <QFontMetricsF>
#include <QHash>
#include <QPainterPathStroker>
#include <QPolygonF>
#include <QTransform>

#include <cstddef>
#include <cstdint>

namespace {

// The letter on the link symbol's screen.
constexpr char LinkLetter[] = "S";

// Digits lean forward like the meter's own.
constexpr qreal Slant = 0.08;
// Segment thickness and the gap between segments, in digit widths.
constexpr qreal Thick = 0.19;
constexpr qreal Gap = 0.025;

// A segment as a stretched hexagon between two points on one axis.
QPolygonF horizontalSegment(qreal x1, qreal x2, qreal y)
{
    const qreal h = Thick / 2;
    return QPolygonF({{x1, y}, {x1 + h, y - h}, {x2 - h, y - h}, {x2, y}, {x2 - h, y + h}, {x1 + h, y + h}});
}

QPolygonF verticalSegment(qreal x, qreal y1, qreal y2)
{
    const qreal h = Thick / 2;
    return QPolygonF({{x, y1}, {x + h, y1 + h}, {x + h, y2 - h}, {x, y2}, {x - h, y2 - h}, {x - h, y1 + h}});
}

// Segments a..g in a box one unit wide and two high.
std::array<QPolygonF, 7> segmentPolygons()
{
    const qreal l = Thick / 2, r = 1 - Thick / 2;
    const qreal t = Thick / 2, m = 1, b = 2 - Thick / 2;
    return {
        horizontalSegment(l + Gap, r - Gap, t), // a
        verticalSegment(r, t + Gap, m - Gap),   // b
        verticalSegment(r, m + Gap, b - Gap),   // c
        horizontalSegment(l + Gap, r - Gap, b), // d
        verticalSegment(l, m + Gap, b - Gap),   // e
        verticalSegment(l, t + Gap, m - Gap),   // f
        horizontalSegment(l + Gap, r - Gap, m), // g
    };
}

// Maps the unit digit box into `rect`, leaning right by Slant.
QTransform digitTransform(const QRectF &rect)
{
    const qreal sx = rect.width() / (1 + 2 * Slant);
    const qreal sy = rect.height() / 2;
    // x' = left + (x + Slant * (2 - y)) * sx, y' = top + y * sy
    return QTransform(sx, 0, -Slant * sx, sy, rect.left() + 2 * Slant * sx, rect.top());
}

QPainterPath digitPath(const QRectF &rect, QChar glyph)
{
    static const auto Segments = segmentPolygons();
    const std::uint8_t mask = sevenSegmentMask(glyph);
    const QTransform t = digitTransform(rect);
    QPainterPath path;
    for (int s = 0; s < 7; ++s) {
        if (mask & (1u << s))
            path.addPolygon(t.map(Segments[std::size_t(s)]));
    }
    path.closeSubpath();
    return path;
}

struct BakedElement
{
    std::uint8_t type; // a QPainterPath::ElementType
    float x, y;
};

struct BakedLettering
{
    const char16_t *text;
    const BakedElement *elements;
    std::size_t count;
};

#include "meter/lcdlettering_data.inc"

} // namespace

QPainterPath lcdBakedLettering(QStringView text, qreal *capHeight)
{
    if (capHeight)
        *capHeight = BakedCapHeight;
    for (const BakedLettering &b : BakedLetterings) {
        if (text != QStringView(b.text))
            continue;
        QPainterPath path;
        path.reserve(int(b.count));
        for (std::size_t i = 0; i < b.count; ++i) {
            const BakedElement &e = b.elements[i];
            switch (QPainterPath::ElementType(e.type)) {
            case QPainterPath::MoveToElement:
                path.moveTo(e.x, e.y);
                break;
            case QPainterPath::LineToElement:
                path.lineTo(e.x, e.y);
                break;
            case QPainterPath::CurveToElement:
                if (i + 2 < b.count) {
                    const BakedElement &c2 = b.elements[i + 1], &end = b.elements[i + 2];
                    path.cubicTo(e.x, e.y, c2.x, c2.y, end.x, end.y);
                    i += 2;
                }
                break;
            case QPainterPath::CurveToDataElement:
                break;
            }
        }
        return path;
    }
    return {};
}

namespace {

QPainterPath textPath(const QRectF &rect, const QString &text)
{
    // Shaping text and reading glyph outlines from the font is most of what
    // building the panel would cost, so the outlines are baked in; the font
    // is asked only for lettering that was never baked.
    qreal capHeight = 0;
    QPainterPath glyphs = lcdBakedLettering(text, &capHeight);
    if (glyphs.isEmpty())
        glyphs = lcdLetteringFromFont(text, &capHeight);

    // Capitals fill 85% of the height; descenders (of the µ) may reach below.
    const qreal scale = rect.height() * 0.85 / capHeight;
    const QRectF bounds = glyphs.boundingRect();
    qreal sx = scale;
    if (bounds.width() * sx > rect.width())
        sx = rect.width() / bounds.width(); // condense, as LCD lettering is narrow
    const qreal baseline = rect.bottom() - rect.height() * 0.075;
    QTransform t;
    t.translate(rect.center().x() - (bounds.center().x()) * sx, baseline);
    t.scale(sx, scale);
    return t.map(glyphs);
}

QPainterPath strokes(const QPainterPath &lines, qreal width)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::FlatCap);
    stroker.setJoinStyle(Qt::MiterJoin);
    return stroker.createStroke(lines);
}

QPainterPath trianglePath(const QRectF &r)
{
    const qreal w = std::max(1.8, r.height() * 0.16);
    QPainterPath outline;
    outline.moveTo(r.center().x(), r.top() + w / 2);
    outline.lineTo(r.right() - w / 2, r.bottom() - w / 2);
    outline.lineTo(r.left() + w / 2, r.bottom() - w / 2);
    outline.closeSubpath();
    return strokes(outline, w);
}

QPainterPath batteryPath(const QRectF &r)
{
    const qreal w = std::max(1.6, r.height() * 0.14);
    const QRectF body(r.left() + w / 2, r.top() + w / 2, r.width() * 0.86 - w, r.height() - w);
    QPainterPath outline;
    outline.addRect(body);
    QPainterPath path = strokes(outline, w);
    path.addRect(QRectF(body.right() + w / 2, r.center().y() - r.height() * 0.2, r.width() * 0.1, r.height() * 0.4));
    // One cell left: a low battery.
    path.addRect(QRectF(body.left() + w, body.top() + w, body.width() * 0.22, body.height() - 2 * w));
    return path;
}

QPainterPath diodePath(const QRectF &r)
{
    const qreal w = std::max(1.6, r.height() * 0.13);
    const qreal cy = r.center().y();
    const qreal tx1 = r.left() + r.width() * 0.3, tx2 = r.left() + r.width() * 0.66;
    QPainterPath path;
    path.addRect(QRectF(r.left(), cy - w / 2, tx1 - r.left(), w));
    path.addRect(QRectF(tx2, cy - w / 2, r.right() - tx2, w));
    QPainterPath triangle;
    triangle.moveTo(tx1, r.top() + 1);
    triangle.lineTo(tx2, cy);
    triangle.lineTo(tx1, r.bottom() - 1);
    triangle.closeSubpath();
    path.addPath(triangle);
    path.addRect(QRectF(tx2, r.top() + 1, w, r.height() - 2));
    return path.simplified();
}

QPainterPath beeperPath(const QRectF &r)
{
    // A dot and three sound waves.
    const qreal w = std::max(1.5, r.height() * 0.1);
    const qreal cy = r.center().y();
    const qreal dot = r.height() * 0.28;
    QPainterPath path;
    path.addEllipse(QPointF(r.left() + dot / 2 + 1, cy), dot / 2, dot / 2);
    QPainterPath arcs;
    for (int i = 1; i <= 3; ++i) {
        const qreal radius = r.height() * 0.16 * i + 1;
        const QRectF box(r.left() + dot / 2 + 1 - radius, cy - radius, 2 * radius, 2 * radius);
        arcs.arcMoveTo(box, 45);
        arcs.arcTo(box, 45, -90);
    }
    path.addPath(strokes(arcs, w));
    return path;
}

QPainterPath linkPath(const QRectF &r)
{
    // A monitor with an S on its screen: the meter's data link.
    const qreal w = std::max(1.5, r.height() * 0.09);
    const QRectF screen(r.left() + w / 2, r.top() + w / 2, r.width() - w, r.height() * 0.74 - w);
    QPainterPath frame;
    frame.addRoundedRect(screen, w, w);
    QPainterPath path = strokes(frame, w);
    const qreal standTop = screen.bottom() + w / 2;
    path.addRect(QRectF(r.center().x() - r.width() * 0.06, standTop, r.width() * 0.12, r.bottom() - standTop - w));
    path.addRect(QRectF(r.center().x() - r.width() * 0.25, r.bottom() - w, r.width() * 0.5, w));
    path.addPath(textPath(screen.adjusted(w * 1.5, w * 1.5, -w * 1.5, -w * 1.5), QString::fromLatin1(LinkLetter)));
    return path;
}

QPainterPath barPath(const QRectF &r)
{
    const qreal h = r.height() / 2;
    QPolygonF hexagon({{r.left(), r.center().y()},
                       {r.left() + h, r.top()},
                       {r.right() - h, r.top()},
                       {r.right(), r.center().y()},
                       {r.right() - h, r.bottom()},
                       {r.left() + h, r.bottom()}});
    QPainterPath path;
    path.addPolygon(hexagon);
    path.closeSubpath();
    return path;
}

} // namespace

QPainterPath lcdLetteringFromFont(const QString &text, qreal *capHeight)
{
    const QFont font = designFont("Arial", 21, true);
    if (capHeight)
        *capHeight = QFontMetricsF(font).capHeight();
    QPainterPath glyphs;
    glyphs.addText(0, 0, font, text);
    return glyphs;
}

QStringList lcdLetteringTexts()
{
    QStringList texts;
    for (const LcdElementInfo &info : lcdElements()) {
        if (info.art == LcdArt::Text)
            texts.append(QString::fromUtf8(info.symbol));
    }
    texts.append(QString::fromLatin1(LinkLetter));
    return texts;
}

QPainterPath lcdArtPath(const LcdElementInfo &info, const QRectF &rect, QChar glyph)
{
    switch (info.art) {
    case LcdArt::Digit:
        return digitPath(rect, glyph);
    case LcdArt::Point: {
        QPainterPath path;
        path.addRect(rect);
        return path;
    }
    case LcdArt::Bar:
        return barPath(rect);
    case LcdArt::Text: {
        // The element and the panel's face ask for the same lettering, each
        // at its own place; it is fitted to its box once.
        static QHash<QString, QPainterPath> laidOut;
        const QString key =
            QStringLiteral("%1 %2 %3").arg(QString::fromUtf8(info.symbol)).arg(rect.width()).arg(rect.height());
        auto it = laidOut.constFind(key);
        if (it == laidOut.constEnd())
            it = laidOut.insert(key, textPath(QRectF(QPointF(0, 0), rect.size()), QString::fromUtf8(info.symbol)));
        return it->translated(rect.topLeft());
    }
    case LcdArt::Triangle:
        return trianglePath(rect);
    case LcdArt::Battery:
        return batteryPath(rect);
    case LcdArt::DiodeMark:
        return diodePath(rect);
    case LcdArt::Beeper:
        return beeperPath(rect);
    case LcdArt::LinkMark:
        return linkPath(rect);
    }
    return {};
}
