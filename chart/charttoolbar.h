#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// The arithmetic behind the chart toolbar, kept apart from the widgets so the
// window stays thin.

// What the page-size edit's text, applied a second after the last change,
// does to the pager.
struct PageSizeChange
{
    enum class Action {
        Apply,  // hand size to the pager
        Ignore, // 0 or less: the pager keeps its page size
        Reject, // not a 32-bit integer: show message
    };
    Action action = Action::Ignore;
    qint32 size = 0;
    QString message;
};

PageSizeChange pageSizeChangeFor(const QString &pageSizeText);

// Where the chart and its toolbar go.
struct ChartPlacement
{
    QRect chart;
    QPoint toolbar;
};

// The enlarged chart covers the whole window. windowFrameSize is the main
// window's outer size: frame, title bar and menu bar included.
ChartPlacement enlargedChartPlacement(QSize windowFrameSize);

// The restored chart goes back to the bounds remembered on enlarging. The
// toolbar goes to a fixed place, 6 pixels right of and 8 above its design
// place.
ChartPlacement restoredChartPlacement(const QRect &rememberedChart);
