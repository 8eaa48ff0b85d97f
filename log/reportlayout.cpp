#include "log/reportlayout.h"

#include <QPageLayout>
#include <QPageSize>
#include <QRectF>

#include <algorithm>
#include <cmath>

namespace {

// The report was laid out in screen pixels (1/96 inch): a band is as many
// whole pixels wide as fit the printable width, 718 on A4 with 10 mm margins,
// which is where the 189.97 mm come from.
constexpr qreal MmPerDesignPixel = 25.4 / 96.0;

// Paging works on hundredths of a millimetre, the precision of the layout,
// so that a band that just fits is not lost to rounding.
qint64 hundredths(qreal mm)
{
    return qRound64(mm * 100.0);
}

// Keeps a text from running into the next column's text.
constexpr qreal ColumnGap = 1.0;

} // namespace

ReportLayout::ReportLayout()
    : ReportLayout(QSizeF(190.0, 277.0))
{ }

ReportLayout::ReportLayout(QSizeF printableMm)
    : m_printable(printableMm)
{
    m_bandWidth = std::floor(printableMm.width() / MmPerDesignPixel + 1e-6) * MmPerDesignPixel;
    const qint64 room = hundredths(footerTop()) - 2 * hundredths(BandHeight);
    // A page too small for one detail line still takes one: the line then runs
    // under the footer, but every row is printed and the page count stays finite.
    m_rowsPerPage = int(std::max<qint64>(1, room / hundredths(DetailHeight)));
}

ReportLayout ReportLayout::forPage(const QPageLayout &page)
{
    return ReportLayout(page.paintRect(QPageLayout::Millimeter).size());
}

QPageLayout ReportLayout::designPage()
{
    return QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait, QMarginsF(10, 10, 10, 10),
                       QPageLayout::Millimeter);
}

qreal ReportLayout::footerTop() const
{
    return m_printable.height() - BandHeight;
}

qreal ReportLayout::detailTop(int line) const
{
    return 2 * BandHeight + line * DetailHeight;
}

int ReportLayout::pageCount(qsizetype rows) const
{
    if (rows <= 0)
        return 0;
    return int((rows + m_rowsPerPage - 1) / m_rowsPerPage);
}

qsizetype ReportLayout::firstRowOfPage(int page) const
{
    return qsizetype(page) * m_rowsPerPage;
}

qsizetype ReportLayout::rowsOnPage(int page, qsizetype rows) const
{
    if (page < 0)
        return 0;
    const qsizetype first = firstRowOfPage(page);
    return std::clamp<qsizetype>(rows - first, 0, m_rowsPerPage);
}

qreal ReportLayout::fieldRoom(int column) const
{
    const auto cols = columns();
    const qreal left = cols[column].fieldLeft;
    // The last column may use the band up to its right edge, and never less
    // than on the design page.
    const qreal right =
        column + 1 < ColumnCount ? cols[column + 1].fieldLeft - ColumnGap : std::max(m_bandWidth, DesignBandWidth);
    return right - left;
}

qreal ReportLayout::limitsRoom() const
{
    return std::max<qreal>(0, (m_bandWidth - TitleBoxWidth) / 2 - ColumnGap - FooterTextLeft);
}

qreal ReportLayout::statisticsLeft() const
{
    return (m_bandWidth + TitleBoxWidth) / 2 + ColumnGap;
}
