#include "app/shapecircle.h"

#include <QPainter>

ShapeCircle::ShapeCircle(QWidget *parent)
    : QWidget(parent)
{ }

void ShapeCircle::setBrushColor(const QColor &colour)
{
    if (colour == m_brush)
        return;
    m_brush = colour;
    update();
}

void ShapeCircle::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(m_brush);
    p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
}
