#include "app/reportpageview.h"

#include "log/reportbuilder.h"
#include "log/reportlayout.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

// Desk around the sheet, in pixels.
constexpr int Gap = 12;
// One notch of a mouse wheel.
constexpr int WheelNotch = 120;

} // namespace

ReportPageView::ReportPageView(const ReportBuilder &report, QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_report(report)
    , m_pageLayout(ReportLayout::designPage())
    , m_pageCount(report.pageCount(ReportLayout::forPage(m_pageLayout)))
{
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setZoom(Zoom::FitWidth);
}

void ReportPageView::setPageLayout(const QPageLayout &layout)
{
    m_pageLayout = layout;
    const int pages = m_report.pageCount(ReportLayout::forPage(layout));
    const bool countChanged = pages != m_pageCount;
    m_pageCount = pages;
    updateScrollBar();
    viewport()->update();
    if (countChanged)
        emit pageCountChanged(pages);
    setCurrentPage(m_currentPage);
}

void ReportPageView::setCurrentPage(int page)
{
    page = std::clamp(page, 0, std::max(0, m_pageCount - 1));
    verticalScrollBar()->setValue(0);
    m_wheelTurn = 0;
    if (page == m_currentPage)
        return;
    m_currentPage = page;
    viewport()->update();
    emit currentPageChanged(page);
}

void ReportPageView::setZoom(Zoom zoom)
{
    m_zoom = zoom;
    // Fitting the width keeps its scroll bar even when the sheet fits: one
    // that came and went would change the width it fits.
    setVerticalScrollBarPolicy(zoom == Zoom::FitWidth ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    updateScrollBar();
    viewport()->update();
}

qreal ReportPageView::pixelsPerMm() const
{
    const QSizeF sheet = m_pageLayout.fullRect(QPageLayout::Millimeter).size();
    const qreal byWidth = std::max(1, viewport()->width() - 2 * Gap) / sheet.width();
    if (m_zoom == Zoom::FitWidth)
        return byWidth;
    return std::min(byWidth, std::max(1, viewport()->height() - 2 * Gap) / sheet.height());
}

QRectF ReportPageView::sheetRect() const
{
    const QSizeF size = m_pageLayout.fullRect(QPageLayout::Millimeter).size() * pixelsPerMm();
    const qreal left = (viewport()->width() - size.width()) / 2;
    const qreal top =
        m_zoom == Zoom::FitWidth ? Gap - verticalScrollBar()->value() : (viewport()->height() - size.height()) / 2;
    return QRectF(QPointF(left, top), size);
}

void ReportPageView::updateScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    const qreal sheetHeight = m_pageLayout.fullRect(QPageLayout::Millimeter).height() * pixelsPerMm();
    const int room = m_zoom == Zoom::FitWidth ? int(std::ceil(sheetHeight)) + 2 * Gap - viewport()->height() : 0;
    bar->setRange(0, std::max(0, room));
    bar->setPageStep(viewport()->height());
    bar->setSingleStep(std::max(1, viewport()->height() / 20));
}

void ReportPageView::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBar();
}

void ReportPageView::paintEvent(QPaintEvent *)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().color(QPalette::Dark));
    if (m_pageCount == 0) {
        showNotice(painter, viewport()->rect(), palette().color(QPalette::BrightText),
                   QStringLiteral("The log is empty: the report has no pages."));
        return;
    }
    const QRectF sheet = sheetRect();
    painter.fillRect(sheet.translated(3, 3), QColor(0, 0, 0, 80));
    painter.fillRect(sheet, Qt::white);
    painter.setClipRect(sheet);

    // The report paints in the viewport's pixels as on a printer's; scaled
    // from those to the sheet's size on screen.
    const qreal scale = pixelsPerMm();
    const QRectF printable = m_pageLayout.paintRect(QPageLayout::Millimeter);
    painter.save();
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.translate(sheet.topLeft() + printable.topLeft() * scale);
    painter.scale(scale * 25.4 / viewport()->logicalDpiX(), scale * 25.4 / viewport()->logicalDpiY());
    const bool painted = m_report.paintPage(painter, m_currentPage, ReportLayout::forPage(m_pageLayout));
    painter.restore();
    if (!painted) {
        showNotice(painter, sheet.toRect().intersected(viewport()->rect()), Qt::black,
                   QStringLiteral("The rows of this report are gone: the log was emptied or replaced. "
                                  "Close the preview and print again."));
    }
}

void ReportPageView::showNotice(QPainter &painter, const QRect &area, const QColor &colour, const QString &text)
{
    painter.setPen(colour);
    painter.drawText(area.adjusted(4 * Gap, 4 * Gap, -4 * Gap, -4 * Gap), Qt::AlignCenter | Qt::TextWordWrap, text);
}

void ReportPageView::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_PageUp:
        setCurrentPage(m_currentPage - 1);
        break;
    case Qt::Key_PageDown:
        setCurrentPage(m_currentPage + 1);
        break;
    case Qt::Key_Home:
        setCurrentPage(0);
        break;
    case Qt::Key_End:
        setCurrentPage(m_pageCount - 1);
        break;
    default:
        QAbstractScrollArea::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ReportPageView::wheelEvent(QWheelEvent *event)
{
    // Rolling on past the top or bottom of the page turns it, one page a
    // notch; touchpads send many small steps, which add up to a notch.
    QScrollBar *bar = verticalScrollBar();
    const int delta = event->angleDelta().y();
    const bool pastEnd = (delta < 0 && bar->value() == bar->maximum()) || (delta > 0 && bar->value() == bar->minimum());
    if (delta == 0 || !pastEnd) {
        m_wheelTurn = 0;
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    event->accept();
    m_wheelTurn += delta;
    if (std::abs(m_wheelTurn) < WheelNotch)
        return;
    const bool forward = m_wheelTurn < 0;
    const int page = m_currentPage;
    setCurrentPage(page + (forward ? 1 : -1));
    // Back a page, its bottom shows: the reader goes on where it ends.
    if (!forward && m_currentPage != page)
        bar->setValue(bar->maximum());
}
