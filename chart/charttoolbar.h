#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

// The arithmetic behind the chart toolbar, kept apart from the widgets so the
// window stays thin.

// The page sizes the edit takes. No page needs room for more values than
// the ten million a log keeps at most.
inline constexpr qint32 SmallestPageSize = 1;
inline constexpr qint32 LargestPageSize = 10000000;

// What the page-size edit's text, applied a second after the last change,
// does to the pager.
struct PageSizeChange
{
    enum class Action {
        Apply,  // hand size to the pager
        Ignore, // not (yet) a whole number from 1 to LargestPageSize: the pager keeps its page size
    };
    Action action = Action::Ignore;
    qint32 size = 0;
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

// The restored chart and its toolbar go back to where they were on enlarging.
ChartPlacement restoredChartPlacement(const QRect &rememberedChart, QPoint rememberedToolbar);
