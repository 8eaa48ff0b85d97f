#include "chart/charttoolbar.h"

PageSizeChange pageSizeChangeFor(const QString &pageSizeText)
{
    PageSizeChange change;
    // Leading blanks and a sign are accepted, trailing characters are not.
    bool ok = !pageSizeText.isEmpty() && !pageSizeText.back().isSpace();
    const qint32 size = ok ? pageSizeText.toInt(&ok, 10) : 0;
    if (!ok) {
        change.action = PageSizeChange::Action::Reject;
        change.message = QStringLiteral("'%1' is not a valid integer value").arg(pageSizeText);
        return change;
    }
    if (size <= 0)
        return change;
    change.action = PageSizeChange::Action::Apply;
    change.size = size;
    return change;
}

ChartPlacement enlargedChartPlacement(QSize windowFrameSize)
{
    return {QRect(2, 28, windowFrameSize.width() - 12, windowFrameSize.height() - 55), QPoint(2, 0)};
}

ChartPlacement restoredChartPlacement(const QRect &rememberedChart)
{
    return {rememberedChart, QPoint(312, 141)};
}
