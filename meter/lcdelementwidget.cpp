#include "meter/lcdelementwidget.h"

#include "meter/lcdart.h"

#include <QPaintEngine>
#include <QPainter>

LcdElementWidget::LcdElementWidget(LcdElement element, QWidget *parent)
    : QWidget(parent)
    , m_element(element)
{
    const LcdElementInfo &info = lcdElement(element);
    setObjectName(QString::fromLatin1(info.objectName));
    setGeometry(info.rect);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    if (info.art == LcdArt::Digit)
        setGlyph(u' ');
    else
        m_path = lcdArtPath(info, QRectF(QPointF(0, 0), info.rect.size()));
}

void LcdElementWidget::setGlyph(QChar glyph)
{
    if (glyph == m_glyph)
        return;
    m_glyph = glyph;
    m_path = lcdArtPath(lcdElement(m_element), QRectF(QPointF(0, 0), size()), glyph);
    update();
}

void LcdElementWidget::setStale(bool stale)
{
    if (stale == m_stale)
        return;
    m_stale = stale;
    update();
}

void LcdElementWidget::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    // Filling the antialiased paths is what painting costs; an element is
    // drawn once per glyph and resolution and copied after that.
    const qreal dpr = p.paintEngine() ? p.paintEngine()->paintDevice()->devicePixelRatioF() : devicePixelRatioF();
    QPixmap &image = m_images[quint32(m_glyph.unicode()) | (m_stale ? 0x10000u : 0u)];
    if (image.isNull() || image.devicePixelRatio() != dpr) {
        image = QPixmap(size() * dpr);
        image.setDevicePixelRatio(dpr);
        image.fill(Qt::transparent);
        QPainter art(&image);
        art.setRenderHint(QPainter::Antialiasing);
        art.fillPath(m_path, m_stale ? LcdColours::StaleSegment : LcdColours::Segment);
    }
    p.drawPixmap(0, 0, image);
}
