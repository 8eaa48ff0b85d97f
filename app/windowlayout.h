#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

// Where the parts of the client area go that follow its size. At the
// designed size every part is where the design puts it; room beyond that
// goes to the log grid (more rows) and the chart (wider and taller), while
// the LCD, the limits and the toolbars keep their size and place. The quit
// button stays at the top bar's right end.
struct WindowLayout
{
    static constexpr QSize DesignedClientSize{663, 509};

    QRect topBar;
    QPoint quitButton; // within the top bar
    QRect brokerLabel; // within the top bar, left of the quit button
    QRect gridPlace;   // the grid with the lines under it
    QRect chart;
};

// Smaller than the designed size counts as the designed size.
WindowLayout windowLayoutFor(QSize clientSize);
