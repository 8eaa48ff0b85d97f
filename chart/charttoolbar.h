#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// The arithmetic behind the chart toolbar's handlers, kept apart from the
// widgets so the window stays thin.

// What Timer2Timer does with the text of the page size edit Maxrecord.
struct PageSizeChange
{
    enum class Action {
        Apply,  // hand size to ChartPager.SetPageSize
        Ignore, // 0 or less: the pager keeps its page size
        Reject, // not a 32-bit integer: show message
    };
    Action action = Action::Ignore;
    qint32 size = 0;
    QString message;
};

PageSizeChange pageSizeChangeFor(const QString &maxrecordText);

// Where the chart Chtshow and its toolbar TntPanel1 go.
struct ChartPlacement
{
    QRect chart;
    QPoint toolbar;
};

// TbFdClick: the chart over the whole window. windowFrameSize is the main
// window's outer size: frame, title bar and menu bar included.
ChartPlacement enlargedChartPlacement(QSize windowFrameSize);

// TbSxClick: the chart back at the bounds remembered on enlarging. The toolbar
// goes to a fixed place, 6 pixels right of and 8 above its design place.
ChartPlacement restoredChartPlacement(const QRect &rememberedChart);
