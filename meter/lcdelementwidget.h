#pragma once

#include "meter/lcdlayout.h"

#include <QHash>
#include <QPainterPath>
#include <QPixmap>
#include <QString>
#include <QWidget>

// One lit element of the LCD panel: a digit, a point, a word or a symbol. It
// is shown while lit and hidden otherwise; the panel beneath draws the faint
// unlit segments, so the widget paints only its dark shape.
class LcdElementWidget : public QWidget
{
    Q_OBJECT
public:
    LcdElementWidget(LcdElement element, QWidget *parent);

    LcdElement element() const { return m_element; }
    // What a digit draws: '0'..'9', 'L' or ' '.
    QChar glyph() const { return m_glyph; }
    void setGlyph(QChar glyph);
    // A stale element is drawn faded: the reading is no longer current.
    bool isStale() const { return m_stale; }
    void setStale(bool stale);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    LcdElement m_element;
    QChar m_glyph;
    bool m_stale = false;
    QPainterPath m_path;              // in widget coordinates
    QHash<quint32, QPixmap> m_images; // m_path drawn, per glyph and staleness shown so far
};
