#pragma once

#include "meter/lcdlayout.h"

#include <QFrame>
#include <QPixmap>

#include <array>

class LcdElementWidget;
struct Reading;

// The simulated LCD of the meter: four 7-segment digits with the minus sign
// and three decimal points, and the annunciators, each a child widget named
// as the window knows it (LcdDa, LcdP1, LCDohm, ...). The decoder drives it
// in three steps per frame: hide, paint the annunciators, paint the digits.
class LcdPanel : public QFrame
{
    Q_OBJECT
public:
    explicit LcdPanel(QWidget *parent = nullptr);

    // Hides every annunciator and the minus sign, and shows the link symbol.
    void hideAnnunciators();
    // Shows each annunciator, the minus sign and the points as the reading says.
    void paintAnnunciators(const Reading &reading);
    void paintDigits(const Reading &reading);

    // Shows a whole state at once; the panel starts in lcdDesignState().
    void showState(const LcdState &state);
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
    QPixmap m_face;   // the glass with every unlit segment, drawn once
};
