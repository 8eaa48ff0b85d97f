#include "meter/lcdpanel.h"

#include "meter/lcdart.h"
#include "meter/lcdelementwidget.h"

#include <QLinearGradient>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>

LcdPanel::LcdPanel(QWidget *parent)
    : QFrame(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(1);
    setFixedSize(LcdPanelWidth, LcdPanelHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    for (const LcdElementInfo &info : lcdElements())
        m_elements[std::size_t(info.element)] = new LcdElementWidget(info.element, this);
    showState(lcdDesignState());
}

void LcdPanel::setLit(LcdElement e, bool lit)
{
    // Only a real change touches the widget, so a steady reading repaints nothing.
    LcdElementWidget *w = element(e);
    if (w->isVisibleTo(this) != lit)
        w->setVisible(lit);
}

void LcdPanel::showState(const LcdState &state)
{
    for (const LcdElementInfo &info : lcdElements()) {
        if (info.art == LcdArt::Digit) {
            const QChar glyph = state.digits[std::size_t(info.element) - std::size_t(LcdElement::DigitA)];
            element(info.element)->setGlyph(glyph);
            setLit(info.element, true);
        } else {
            setLit(info.element, state.isLit(info.element));
        }
    }
}

void LcdPanel::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    for (LcdElementWidget *element : m_elements)
        element->setStale(stale);
}

LcdState LcdPanel::shownState() const
{
    LcdState state;
    for (const LcdElementInfo &info : lcdElements()) {
        const LcdElementWidget *w = element(info.element);
        if (info.art == LcdArt::Digit)
            state.digits[std::size_t(info.element) - std::size_t(LcdElement::DigitA)] = w->glyph();
        else
            state.setLit(info.element, w->isVisibleTo(this));
    }
    return state;
}

QPixmap LcdPanel::renderFace(qreal devicePixelRatio) const
{
    QPixmap face(size() * devicePixelRatio);
    face.setDevicePixelRatio(devicePixelRatio);
    face.fill(palette().color(QPalette::Window));
    QPainter p(&face);
    p.setRenderHint(QPainter::Antialiasing);

    // The glass, a shade darker towards the bottom as on a real display.
    const QRectF glass = QRectF(rect()).adjusted(2, 2, -2, -2);
    QLinearGradient shade(glass.topLeft(), glass.bottomLeft());
    shade.setColorAt(0, LcdColours::Glass);
    shade.setColorAt(1, LcdColours::GlassShade);
    p.setPen(Qt::NoPen);
    p.setBrush(shade);
    p.drawRoundedRect(glass, 3, 3);

    // Every segment faintly, as an LCD shows its unlit segments.
    for (const LcdElementInfo &info : lcdElements())
        p.fillPath(lcdArtPath(info, info.rect), LcdColours::Ghost);
    p.end();
    return face;
}

void LcdPanel::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    // Rendering into an image of a higher resolution repaints the face for it.
    const qreal dpr = p.paintEngine() ? p.paintEngine()->paintDevice()->devicePixelRatioF() : devicePixelRatioF();
    if (m_face.isNull() || m_face.devicePixelRatio() != dpr)
        m_face = renderFace(dpr);
    p.drawPixmap(event->rect(), m_face,
                 QRectF(QRectF(event->rect()).topLeft() * dpr, QSizeF(event->rect().size()) * dpr));
    p.end();
    QFrame::paintEvent(event);
}
