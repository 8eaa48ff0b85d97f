#include "app/windowlayout.h"

#include <algorithm>

WindowLayout windowLayoutFor(QSize clientSize)
{
    const int wider = std::max(0, clientSize.width() - WindowLayout::DesignedClientSize.width());
    const int taller = std::max(0, clientSize.height() - WindowLayout::DesignedClientSize.height());
    WindowLayout layout;
    layout.topBar = QRect(0, 0, 663 + wider, 32);
    layout.quitButton = QPoint(563 + wider, 3);
    layout.brokerLabel = QRect(366, 3, 192 + wider, 25);
    layout.gridPlace = QRect(4, 264, 303, 241 + taller);
    layout.chart = QRect(309, 189, 350 + wider, 316 + taller);
    return layout;
}
