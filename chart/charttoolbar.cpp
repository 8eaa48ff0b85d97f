#include "chart/charttoolbar.h"

PageSizeChange pageSizeChangeFor(const QString &pageSizeText)
{
    // An edit being typed in holds many a text that is no number yet (empty,
    // pasted text); it is simply not applied until it is one.
    PageSizeChange change;
    bool ok = !pageSizeText.isEmpty() && !pageSizeText.back().isSpace();
    const qint32 size = ok ? pageSizeText.toInt(&ok, 10) : 0;
    if (!ok || size < SmallestPageSize || size > LargestPageSize)
        return change;
    change.action = PageSizeChange::Action::Apply;
    change.size = size;
    return change;
}

ChartPlacement enlargedChartPlacement(QSize windowFrameSize)
{
    return {QRect(2, 28, windowFrameSize.width() - 12, windowFrameSize.height() - 55), QPoint(2, 0)};
}

ChartPlacement restoredChartPlacement(const QRect &rememberedChart, QPoint rememberedToolbar)
{
    return {rememberedChart, rememberedToolbar};
}
