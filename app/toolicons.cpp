#include "app/toolicons.h"

#include <QApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>

#include <algorithm>
#include <functional>
#include <vector>

namespace {

const QColor Ink(45, 45, 50);

void sheet(QPainter &p)
{
    QPainterPath page;
    page.moveTo(3.5, 1.5);
    page.lineTo(10, 1.5);
    page.lineTo(13.5, 5);
    page.lineTo(13.5, 14.5);
    page.lineTo(3.5, 14.5);
    page.closeSubpath();
    p.setPen(QPen(Ink, 1));
    p.setBrush(Qt::white);
    p.drawPath(page);
    p.drawLine(QPointF(10, 1.5), QPointF(10, 5));
    p.drawLine(QPointF(10, 5), QPointF(13.5, 5));
}

void floppy(QPainter &p, const QColor &body)
{
    p.setPen(QPen(Ink, 1));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.2, 1.2);
    p.setBrush(QColor(235, 235, 235));
    p.drawRect(QRectF(4.5, 1.5, 7, 5));
    p.setBrush(Ink);
    p.drawRect(QRectF(9, 2.5, 1.5, 3));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(3.5, 9.5, 9, 5));
}

void triangle(QPainter &p, qreal tipX, qreal baseX)
{
    QPainterPath t;
    t.moveTo(tipX, 8);
    t.lineTo(baseX, 3);
    t.lineTo(baseX, 13);
    t.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(30, 70, 150));
    p.drawPath(t);
}

void magnifier(QPainter &p, bool plus)
{
    p.setPen(QPen(Ink, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.5, 10.5), QPointF(14.5, 14.5));
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(QColor(225, 240, 255));
    p.drawEllipse(QPointF(6.5, 6.5), 5, 5);
    p.setPen(QPen(QColor(30, 70, 150), 1.6));
    p.drawLine(QPointF(4, 6.5), QPointF(9, 6.5));
    if (plus)
        p.drawLine(QPointF(6.5, 4), QPointF(6.5, 9));
}

void paintIcon(QPainter &p, ToolIcon which)
{
    switch (which) {
    case ToolIcon::CloseData:
        sheet(p);
        p.setPen(QPen(QColor(200, 30, 30), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(5.5, 7), QPointF(11.5, 13));
        p.drawLine(QPointF(11.5, 7), QPointF(5.5, 13));
        break;
    case ToolIcon::OpenData: {
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(230, 180, 60));
        QPainterPath back;
        back.moveTo(1.5, 13.5);
        back.lineTo(1.5, 3.5);
        back.lineTo(5.5, 3.5);
        back.lineTo(7, 5);
        back.lineTo(12.5, 5);
        back.lineTo(12.5, 13.5);
        back.closeSubpath();
        p.drawPath(back);
        p.setBrush(QColor(250, 212, 100));
        QPainterPath front;
        front.moveTo(1.5, 13.5);
        front.lineTo(4, 7.5);
        front.lineTo(15, 7.5);
        front.lineTo(12.5, 13.5);
        front.closeSubpath();
        p.drawPath(front);
        break;
    }
    case ToolIcon::SaveData:
        floppy(p, QColor(60, 100, 190));
        break;
    case ToolIcon::SavePicture:
        floppy(p, QColor(60, 140, 90));
        p.setPen(QPen(QColor(200, 30, 30), 1));
        p.drawPolyline(QPolygonF({{4, 13.5}, {6, 11}, {8, 12.5}, {10, 10.5}, {12, 11.5}}));
        break;
    case ToolIcon::Print:
        p.setPen(QPen(Ink, 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));
        p.setBrush(QColor(170, 170, 175));
        p.drawRoundedRect(QRectF(1.5, 6.5, 13, 6), 1, 1);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10.5, 7, 4));
        p.setPen(QPen(QColor(40, 160, 60), 1));
        p.drawPoint(QPointF(12.5, 8.5));
        break;
    case ToolIcon::FirstPage:
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 70, 150));
        p.drawRect(QRectF(2.5, 3, 2, 10));
        triangle(p, 4.5, 9.5);
        triangle(p, 9, 14);
        break;
    case ToolIcon::PreviousPage:
        triangle(p, 4.5, 11);
        break;
    case ToolIcon::NextPage:
        triangle(p, 11.5, 5);
        break;
    case ToolIcon::LastPage:
        triangle(p, 7, 2);
        triangle(p, 11.5, 6.5);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(30, 70, 150));
        p.drawRect(QRectF(11.5, 3, 2, 10));
        break;
    case ToolIcon::Enlarge:
        magnifier(p, true);
        break;
    case ToolIcon::Restore:
        magnifier(p, false);
        break;
    case ToolIcon::Quit:
        p.setPen(QPen(Ink, 1));
        p.setBrush(QColor(150, 95, 50));
        p.drawRect(QRectF(2.5, 1.5, 7, 13));
        p.setBrush(QColor(240, 210, 90));
        p.drawEllipse(QPointF(7.8, 8.5), 0.9, 0.9);
        p.setPen(QPen(QColor(200, 30, 30), 1.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(9.5, 8), QPointF(15, 8));
        p.drawPolyline(QPolygonF({{12.5, 5.5}, {15, 8}, {12.5, 10.5}}));
        break;
    case ToolIcon::MoreBelow:
        // The same chevrons, turned to point down.
        p.translate(16, 0);
        p.rotate(90);
        [[fallthrough]];
    case ToolIcon::MoreRight:
        p.setPen(QPen(Ink, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({{4, 4.5}, {7.5, 8}, {4, 11.5}}));
        p.drawPolyline(QPolygonF({{8.5, 4.5}, {12, 8}, {8.5, 11.5}}));
        break;
    }
}

// An icon drawn when it is first shown, at the size and resolution it is
// shown at, rather than at every size beforehand. What it draws is a
// picture of `design` × `design` units; it is never drawn larger than that
// (as pixmaps of that size are not), unless `design` is 0, when any size is
// drawn.
class PaintedIconEngine : public QIconEngine
{
public:
    using Painter = std::function<void(QPainter &, qreal size)>;

    PaintedIconEngine(Painter paint, int design, QList<QSize> sizes)
        : m_paint(std::move(paint))
        , m_design(design)
        , m_sizes(std::move(sizes))
    { }

    QIconEngine *clone() const override { return new PaintedIconEngine(*this); }
    QString key() const override { return QStringLiteral("qm320-painted"); }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return m_sizes; }

    QSize actualSize(const QSize &size, QIcon::Mode, QIcon::State) override
    {
        int side = std::min(size.width(), size.height());
        if (m_design > 0)
            side = std::min(side, m_design);
        return {side, side};
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1.0);
    }

    // `size` is in device pixels: the logical size times `scale`.
    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        const QSize logical = actualSize((QSizeF(size) / scale).toSize(), mode, state);
        if (logical.isEmpty())
            return {};
        for (const Drawn &d : m_drawn) {
            if (d.size == logical && d.scale == scale && d.mode == mode)
                return d.pixmap;
        }
        QPixmap drawn(logical * scale);
        drawn.setDevicePixelRatio(scale);
        drawn.fill(Qt::transparent);
        {
            QPainter p(&drawn);
            p.setRenderHint(QPainter::Antialiasing);
            m_paint(p, logical.width());
        }
        // Greyed for a disabled button, as the style greys any icon.
        if (mode == QIcon::Disabled || mode == QIcon::Selected) {
            QStyleOption option;
            option.palette = QGuiApplication::palette();
            drawn = QApplication::style()->generatedIconPixmap(mode, drawn, &option);
        }
        m_drawn.push_back({logical, scale, mode, drawn});
        return drawn;
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        const qreal scale = painter->device() ? painter->device()->devicePixelRatioF() : qApp->devicePixelRatio();
        const QPixmap drawn = scaledPixmap(rect.size() * scale, mode, state, scale);
        const QSize shown = (QSizeF(drawn.size()) / drawn.devicePixelRatio()).toSize();
        painter->drawPixmap(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, shown, rect), drawn);
    }

private:
    Painter m_paint;
    int m_design;
    QList<QSize> m_sizes;
    // What was drawn so far: a size or two, at one or two densities.
    struct Drawn
    {
        QSize size;
        qreal scale;
        QIcon::Mode mode;
        QPixmap pixmap;
    };
    std::vector<Drawn> m_drawn;
};

} // namespace

QIcon toolIcon(ToolIcon which)
{
    // Drawn in 16 × 16 units.
    return QIcon(new PaintedIconEngine(
        [which](QPainter &p, qreal size) {
            p.scale(size / 16.0, size / 16.0);
            paintIcon(p, which);
        },
        16, {QSize(16, 16)}));
}

void paintProgramIcon(QPainter &p, qreal size)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(QColor(236, 178, 40));
    p.drawRoundedRect(QRectF(6, 1.5, 20, 29), 4, 4);
    p.setBrush(QColor(201, 211, 190));
    p.drawRect(QRectF(9, 4.5, 14, 8));
    p.setPen(QPen(QColor(24, 30, 26), 1.6));
    p.drawLine(QPointF(11, 8.5), QPointF(21, 8.5));
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(QColor(70, 70, 70));
    p.drawEllipse(QPointF(16, 19), 4.5, 4.5);
    p.setBrush(QColor(200, 40, 40));
    p.drawEllipse(QPointF(11, 27), 1.4, 1.4);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(21, 27), 1.4, 1.4);
    p.restore();
}

QIcon programIcon()
{
    return QIcon(
        new PaintedIconEngine(paintProgramIcon, 0, {QSize(16, 16), QSize(32, 32), QSize(48, 48), QSize(64, 64)}));
}
