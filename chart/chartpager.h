#pragma once

#include <QString>
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
class ChartPager
{
public:
    // A pager on `chart`, which it does not own and which must outlive it.
    // A page size below 1 leaves the axis as it was and errorString() says why.
    ChartPager(ChartSurface &chart, qint32 pageSize);

    ChartPager(const ChartPager &) = delete;
    ChartPager &operator=(const ChartPager &) = delete;

    void addPoint(double value);
    void showFirstPage();
    void showPreviousPage();
    void showNextPage();
    void showLastPage();
    // A size below 1 is ignored: it would put the axis maximum below its
    // minimum and make every page count divide by it. False, with
    // errorString() set, when the chart refuses the new axis ends; the new
    // size has been taken all the same.
    bool setPageSize(qint32 size);
    // Back to page 1 and no points; the page size stays.
    void reset();

    qint32 currentPage() const { return m_currentPage; }
    qint32 pageSize() const { return m_pageSize; }
    qint32 pageCount() const { return m_pageCount; }
    bool pagedBack() const { return m_pagedBack; }
    QString errorString() const { return m_errorString; }

private:
    bool setAxisEnds(double minimum, double maximum);
    qint32 computePageCount() const;
    void scrollForward();
    void scrollBack();

    ChartSurface &m_chart;
    qint32 m_currentPage = 0;
    qint32 m_pageSize = 0;
    qint32 m_pageCount = 0;
    bool m_pagedBack = false;
    QString m_errorString;
};
