#pragma once

#include <QPixmap>
#include <QProxyStyle>

// The application's style, except that the panel of a line edit is drawn
// once per size, state and colours and then copied. The value display
// repaints at every reading, and the style's rounded, shaded panel costs
// several times the text drawn on it.
class CachedPanelStyle : public QProxyStyle
{
public:
    CachedPanelStyle() = default; // follows the application's style, without owning it

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;

private:
    // What the panel's picture depends on.
    struct Key
    {
        QSize size;
        int state = 0;
        qint64 palette = 0;
        qreal ratio = 0;
        int direction = 0;
        bool operator==(const Key &) const = default;
    };
    mutable QPixmap m_panel;
    mutable Key m_key;
};
