#include "app/linkpicture.h"

#include <QPainter>
#include <QPainterPath>

LinkPicture::LinkPicture(QWidget *parent)
    : QWidget(parent)
{ }

void LinkPicture::setLit(bool lit)
{
    if (lit == m_lit)
        return;
    m_lit = lit;
    update();
}

void LinkPicture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 46 x 32 grid and scaled to the widget.
    p.scale(width() / 46.0, height() / 32.0);

    const QColor outline(40, 40, 40);
    const QColor casing(200, 200, 196);
    const QColor screen = m_lit ? QColor(80, 220, 120) : QColor(60, 66, 62);
    const QColor meterBody(236, 178, 40);

    // The cable first, so both ends sit on top of it.
    QPainterPath cable;
    cable.moveTo(22, 24);
    cable.cubicTo(28, 30, 31, 28, 33, 22);
    p.setPen(QPen(m_lit ? QColor(30, 120, 60) : QColor(90, 90, 90), 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawPath(cable);

    // Monitor and base.
    p.setPen(QPen(outline, 1));
    p.setBrush(casing);
    p.drawRoundedRect(QRectF(1.5, 2.5, 24, 18), 2, 2);
    p.setBrush(screen);
    p.drawRect(QRectF(4, 5, 19, 13));
    p.setBrush(casing);
    p.drawRect(QRectF(10.5, 20.5, 6, 3));
    p.drawRoundedRect(QRectF(5.5, 23.5, 16, 4), 1, 1);
    if (m_lit) {
        p.setPen(QPen(QColor(20, 90, 40), 1));
        p.drawLine(QPointF(6, 9), QPointF(14, 9));
        p.drawLine(QPointF(6, 12), QPointF(18, 12));
        p.drawLine(QPointF(6, 15), QPointF(12, 15));
    }

    // The handheld meter: display, dial and the two jacks.
    p.setPen(QPen(outline, 1));
    p.setBrush(meterBody);
    p.drawRoundedRect(QRectF(31.5, 4.5, 13, 25), 2.5, 2.5);
    p.setBrush(screen);
    p.drawRect(QRectF(33.5, 6.5, 9, 6));
    p.setBrush(QColor(70, 70, 70));
    p.drawEllipse(QPointF(38, 19), 3.2, 3.2);
    p.setBrush(QColor(200, 40, 40));
    p.drawEllipse(QPointF(35, 26.5), 1.1, 1.1);
    p.setBrush(Qt::black);
    p.drawEllipse(QPointF(41, 26.5), 1.1, 1.1);
}
