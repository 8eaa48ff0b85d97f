#pragma once

#include <QtGlobal>

class ChartSurface;

// Pages the chart's bottom axis: appends each new value to every series,
// counts the pages the values fill and shows one page at a time, following
// the newest page until the user pages back.
//
// Plain arithmetic over the number of values added: the n-th value since the
// last reset sits at position n (the chart's placeholder point holds 0), page
// p shows positions (p - 1) * size + 1 to p * size, and every value is on a
// page. The window is computed from the page whenever the page or its size
// changes, so a move crosses any number of pages in one step.
class ChartPager
{
public:
    // A pager on `chart`, which it does not own and which must outlive it.
    // The chart is left with only its placeholder point, page 1 shown. A
    // page size below 1 is taken as 1.
    ChartPager(ChartSurface &chart, qint32 pageSize);

    ChartPager(const ChartPager &) = delete;
    ChartPager &operator=(const ChartPager &) = delete;

    // A chart without series takes no value, so none is counted.
    void addPoint(double value);
    void showFirstPage();
    void showPreviousPage();
    void showNextPage();
    void showLastPage();
    // Shows the newest page at the new size and follows it. A size below 1
    // is ignored: no page could hold a value; the same size changes nothing.
    void setPageSize(qint32 size);
    // No values, the chart back to its placeholder point, page 1 followed;
    // the page size stays.
    void reset();

    qint32 currentPage() const { return m_currentPage; }
    qint32 pageSize() const { return m_pageSize; }
    // At least 1: an empty chart still shows page 1.
    qint32 pageCount() const;
    qint64 valueCount() const { return m_valueCount; }
    // The user has paged back from the newest page, which then stays put
    // while values arrive.
    bool pagedBack() const { return m_currentPage < pageCount(); }

private:
    void showPage(qint32 page);

    ChartSurface &m_chart;
    qint64 m_valueCount = 0;
    qint32 m_pageSize = 1;
    qint32 m_currentPage = 1;
};
