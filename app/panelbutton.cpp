#include "app/panelbutton.h"

#include <QMouseEvent>

PanelButton::PanelButton(QWidget *parent)
    : QLabel(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(192, 192, 192));
    // A disabled panel keeps its caption readable: the style's grey would
    // vanish on the silver face.
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(96, 96, 96));
    setPalette(pal);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void PanelButton::click()
{
    if (isEnabled())
        emit clicked();
}

void PanelButton::mousePressEvent(QMouseEvent *event)
{
    m_pressed = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void PanelButton::mouseReleaseEvent(QMouseEvent *event)
{
    const bool wasPressed = m_pressed;
    m_pressed = false;
    QLabel::mouseReleaseEvent(event);
    if (wasPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}
