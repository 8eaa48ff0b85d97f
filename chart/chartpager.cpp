#include "chart/chartpager.h"

#include "chart/chartsurface.h"

namespace {

constexpr PointColour PureBlue{0, 0, 255};

} // namespace

ChartPager::ChartPager(ChartSurface &chart, qint32 pageSize)
    : m_chart(chart)
{
    setPageSize(pageSize);
    m_chart.switchBottomAutomaticOff();
    setAxisEnds(1, m_pageSize);
    m_pageCount = 1;
    m_currentPage = 1;
    m_pagedBack = false;
}

bool ChartPager::setAxisEnds(double minimum, double maximum)
{
    // The minimum goes first, as the chart takes one end at a time.
    if (!m_chart.setBottomMinimum(minimum)) {
        m_errorString = QString::fromLatin1(ChartAxis::MinimumAboveMaximum);
        return false;
    }
    if (!m_chart.setBottomMaximum(maximum)) {
        m_errorString = QString::fromLatin1(ChartAxis::MaximumBelowMinimum);
        return false;
    }
    m_errorString.clear();
    return true;
}

void ChartPager::addPoint(double value)
{
    if (m_chart.seriesCount() > 0)
        m_chart.addPoint(value, PureBlue);
    m_pageCount = computePageCount();
    if (!m_pagedBack) {
        scrollForward();
        m_currentPage = m_pageCount;
    }
}

void ChartPager::showFirstPage()
{
    if (m_pageCount <= 1 || m_currentPage == 1)
        return;
    for (qint32 i = 1; i < m_currentPage; ++i)
        scrollBack();
    m_currentPage = 1;
    m_pagedBack = true;
}

void ChartPager::showPreviousPage()
{
    if (m_currentPage <= 1)
        return;
    scrollBack();
    --m_currentPage;
    m_pagedBack = true;
}

void ChartPager::showNextPage()
{
    if (m_pageCount <= 1 || m_currentPage == m_pageCount)
        return;
    scrollForward();
    ++m_currentPage;
    m_pagedBack = m_currentPage != m_pageCount;
}

void ChartPager::showLastPage()
{
    if (m_pageCount <= 1 || m_currentPage == m_pageCount)
        return;
    for (qint32 i = m_currentPage; i < m_pageCount; ++i)
        scrollForward();
    m_currentPage = m_pageCount;
    m_pagedBack = false;
}

bool ChartPager::setPageSize(qint32 size)
{
    if (size == m_pageSize || size < 1)
        return true;
    m_pageSize = size;
    if (!setAxisEnds(1, size))
        return false;
    m_pageCount = computePageCount();
    for (qint32 i = 1; i < m_pageCount; ++i)
        scrollForward();
    m_currentPage = m_pageCount;
    m_pagedBack = false;
    return true;
}

void ChartPager::reset()
{
    showFirstPage();
    m_chart.clearPoints();
    m_pagedBack = false;
}

qint32 ChartPager::computePageCount() const
{
    // Every series holds the same points; with no series there are none.
    const qint64 points = m_chart.seriesCount() > 0 ? m_chart.pointCount() : 0;
    if (m_pageSize < 1)
        return 0;
    return qint32(points / m_pageSize + (points % m_pageSize > 0 ? 1 : 0));
}

void ChartPager::scrollForward()
{
    m_chart.scrollBottom(m_pageSize, true);
}

void ChartPager::scrollBack()
{
    m_chart.scrollBottom(-m_pageSize, true);
}
