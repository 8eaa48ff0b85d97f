#pragma once

#include "meter/lcdlayout.h"

#include <QFrame>
#include <QPixmap>

#include <array>

class LcdElementWidget;

// The simulated LCD of the meter: four 7-segment digits with the minus sign
// and three decimal points, and the annunciators, each a child widget named
// for what it shows (digit1, point1, ohmSymbol, ...). It shows a whole
// LcdState at once (lcdStateFor(reading) for a decoded reading).
class LcdPanel : public QFrame
{
    Q_OBJECT
public:
    explicit LcdPanel(QWidget *parent = nullptr);

    // Only what changed is touched, so a steady reading repaints nothing. The
    // panel starts in lcdDesignState().
    void showState(const LcdState &state);
    // Fades what the panel shows, as for a reading that is no longer current.
    void setStale(bool stale);
    bool isStale() const { return m_stale; }
    // What the panel shows now, read back from its elements.
    LcdState shownState() const;

    LcdElementWidget *element(LcdElement e) const { return m_elements[std::size_t(e)]; }

    QSize sizeHint() const override { return {LcdPanelWidth, LcdPanelHeight}; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void setLit(LcdElement e, bool lit);
    QPixmap renderFace(qreal devicePixelRatio) const;

    std::array<LcdElementWidget *, LcdElementCount> m_elements{};
    QPixmap m_face; // the glass with every unlit segment, drawn once
    bool m_stale = false;
};
