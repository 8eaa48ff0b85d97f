#pragma once

#include <QtGlobal>

class ChartSurface;

// Pages the chart's bottom axis: appends each new value to every series,
// counts the pages the points fill and moves the axis window by whole pages,
// following the newest page until the user pages back.
//
// The pager never computes the window from the page number: it sets it to
// 1..page size on creation and on a new page size, and otherwise shifts it one
// page at a time. The chart refuses a shift that would show no new point; the
// page counters move all the same, so the page number counts the pager's
// moves, not the accepted shifts.
//
// Errors the chart raises (EChartAxisError) pass to the caller.
class TChartControl
{
public:
    // Create: a pager on chart, which it does not own and must outlive it.
    TChartControl(ChartSurface &chart, qint32 pageSize);

    TChartControl(const TChartControl &) = delete;
    TChartControl &operator=(const TChartControl &) = delete;

    void AddPoint(double value);
    void FirstPage();
    void PreviousPage();
    void NextPage();
    void LastPage();
    // A size below 1 is ignored: it would put the axis maximum below its
    // minimum and make every page count divide by it.
    void SetPageSize(qint32 size);
    void Reset();
    qint32 CurrentPage() const { return FCurrentPage; }

    qint32 PageSize() const { return FPageSize; }
    qint32 PageCount() const { return FPageCount; }
    bool PagedBack() const { return FPagedBack; }

private:
    qint32 computePageCount() const;
    void scrollForward();
    void scrollBack();

    ChartSurface &FChart;
    qint32 FCurrentPage = 0;
    qint32 FPageSize = 0;
    qint32 FPageCount = 0;
    bool FPagedBack = false;
};
