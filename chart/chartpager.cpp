#include "chart/chartpager.h"

#include "chart/chartsurface.h"

#include <algorithm>

namespace {

constexpr PointColour PureBlue{0, 0, 255};

} // namespace

ChartPager::ChartPager(ChartSurface &chart, qint32 pageSize)
    : m_chart(chart)
    , m_pageSize(std::max(pageSize, qint32(1)))
{
    m_chart.switchBottomAutomaticOff();
    reset();
}

qint32 ChartPager::pageCount() const
{
    // The log stops at ten million values, so the count fits.
    return qint32(std::max<qint64>(1, (m_valueCount + m_pageSize - 1) / m_pageSize));
}

void ChartPager::addPoint(double value)
{
    if (m_chart.seriesCount() <= 0)
        return;
    const bool following = !pagedBack();
    m_chart.addPoint(value, PureBlue);
    ++m_valueCount;
    if (following && m_currentPage != pageCount())
        showPage(pageCount());
}

void ChartPager::showFirstPage()
{
    if (m_currentPage != 1)
        showPage(1);
}

void ChartPager::showPreviousPage()
{
    if (m_currentPage > 1)
        showPage(m_currentPage - 1);
}

void ChartPager::showNextPage()
{
    if (m_currentPage < pageCount())
        showPage(m_currentPage + 1);
}

void ChartPager::showLastPage()
{
    if (m_currentPage != pageCount())
        showPage(pageCount());
}

void ChartPager::setPageSize(qint32 size)
{
    if (size < 1 || size == m_pageSize)
        return;
    m_pageSize = size;
    showPage(pageCount());
}

void ChartPager::reset()
{
    m_valueCount = 0;
    m_chart.resetSeries();
    showPage(1);
}

void ChartPager::showPage(qint32 page)
{
    m_currentPage = page;
    const double minimum = double((qint64(page) - 1) * m_pageSize + 1);
    const double maximum = double(qint64(page) * m_pageSize);
    // The chart refuses an end that passes the other one, so the end that
    // moves away from the other goes first: the maximum when the window
    // moves right of the present one, the minimum otherwise. Neither step
    // can then be refused.
    if (minimum > m_chart.bottomMaximum()) {
        m_chart.setBottomMaximum(maximum);
        m_chart.setBottomMinimum(minimum);
    } else {
        m_chart.setBottomMinimum(minimum);
        m_chart.setBottomMaximum(maximum);
    }
}
