#include "chart/tchartcontrol.h"

#include "chart/chartsurface.h"

namespace {

constexpr PointColour PureBlue{0, 0, 255};

} // namespace

TChartControl::TChartControl(ChartSurface &chart, qint32 pageSize)
    : FChart(chart)
{
    SetPageSize(pageSize);
    FChart.switchBottomAutomaticOff();
    FChart.setBottomMinimum(1);
    FChart.setBottomMaximum(FPageSize);
    FPageCount = 1;
    FCurrentPage = 1;
    FPagedBack = false;
}

void TChartControl::AddPoint(double value)
{
    if (FChart.seriesCount() > 0)
        FChart.addPoint(value, PureBlue);
    FPageCount = computePageCount();
    if (!FPagedBack) {
        scrollForward();
        FCurrentPage = FPageCount;
    }
}

void TChartControl::FirstPage()
{
    if (FPageCount <= 1 || FCurrentPage == 1)
        return;
    for (qint32 i = 1; i < FCurrentPage; ++i)
        scrollBack();
    FCurrentPage = 1;
    FPagedBack = true;
}

void TChartControl::PreviousPage()
{
    if (FCurrentPage <= 1)
        return;
    scrollBack();
    --FCurrentPage;
    FPagedBack = true;
}

void TChartControl::NextPage()
{
    if (FPageCount <= 1 || FCurrentPage == FPageCount)
        return;
    scrollForward();
    ++FCurrentPage;
    FPagedBack = FCurrentPage != FPageCount;
}

void TChartControl::LastPage()
{
    if (FPageCount <= 1 || FCurrentPage == FPageCount)
        return;
    for (qint32 i = FCurrentPage; i < FPageCount; ++i)
        scrollForward();
    FCurrentPage = FPageCount;
    FPagedBack = false;
}

void TChartControl::SetPageSize(qint32 size)
{
    if (size == FPageSize || size < 1)
        return;
    FPageSize = size;
    FChart.setBottomMinimum(1);
    FChart.setBottomMaximum(size);
    FPageCount = computePageCount();
    for (qint32 i = 1; i < FPageCount; ++i)
        scrollForward();
    FCurrentPage = FPageCount;
    FPagedBack = false;
}

void TChartControl::Reset()
{
    FirstPage();
    FChart.clearPoints();
    FPagedBack = false;
}

qint32 TChartControl::computePageCount() const
{
    // Every series holds the same points; with no series there are none.
    const qint64 points = FChart.seriesCount() > 0 ? FChart.pointCount() : 0;
    if (FPageSize < 1)
        return 0;
    return qint32(points / FPageSize + (points % FPageSize > 0 ? 1 : 0));
}

void TChartControl::scrollForward()
{
    FChart.scrollBottom(FPageSize, true);
}

void TChartControl::scrollBack()
{
    FChart.scrollBottom(-FPageSize, true);
}
