#include "app/cachedpanelstyle.h"

#include <QPainter>
#include <QStyleOption>

void CachedPanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                                     const QWidget *widget) const
{
    // Only a panel drawn straight onto the device (a move at most) looks
    // the same copied from a picture.
    if (element != PE_PanelLineEdit || painter->worldTransform().type() > QTransform::TxTranslate
        || option->rect.isEmpty()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const qreal ratio = painter->device()->devicePixelRatioF();
    const Key key{option->rect.size(), int(option->state), option->palette.cacheKey(), ratio, int(option->direction)};
    if (key != m_key) {
        QPixmap panel(option->rect.size() * ratio);
        panel.setDevicePixelRatio(ratio);
        panel.fill(Qt::transparent);
        QPainter onPanel(&panel);
        // The option is copied as its own type: QStyleOption has no virtual
        // destructor, so a frame option must not live behind a base pointer.
        const auto drawMovedToOrigin = [&](auto moved) {
            moved.rect.moveTopLeft(QPoint(0, 0));
            QProxyStyle::drawPrimitive(element, &moved, &onPanel, widget);
        };
        if (const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(option))
            drawMovedToOrigin(*frame);
        else
            drawMovedToOrigin(*option);
        onPanel.end();
        m_panel = panel;
        m_key = key;
    }
    painter->drawPixmap(option->rect.topLeft(), m_panel);
}
