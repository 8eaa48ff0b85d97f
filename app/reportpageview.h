#pragma once

#include <QAbstractScrollArea>
#include <QPageLayout>
#include <QRectF>

class ReportBuilder;

// One page of a Data Report on a grey desk, drawn by the report itself each
// time the view paints. Only the page in view is ever drawn, so a report of
// any length shows at once. The sheet is scaled to the view's width (the
// page scrolls) or to the whole page.
class ReportPageView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    enum class Zoom { FitWidth, FitPage };

    explicit ReportPageView(const ReportBuilder &report, QWidget *parent = nullptr);

    // The sheet and margins the report is laid out on, as a printer has them.
    QPageLayout pageLayout() const { return m_pageLayout; }
    void setPageLayout(const QPageLayout &layout);

    int pageCount() const { return m_pageCount; }
    // From 0; 0 also when the report has no pages.
    int currentPage() const { return m_currentPage; }
    // Clamped to the report's pages; the new page shows from its top.
    void setCurrentPage(int page);

    Zoom zoom() const { return m_zoom; }
    void setZoom(Zoom zoom);

    // Where the sheet stands in the viewport.
    QRectF sheetRect() const;

signals:
    void currentPageChanged(int page);
    void pageCountChanged(int pages);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    qreal pixelsPerMm() const;
    void updateScrollBar();
    void showNotice(QPainter &painter, const QRect &area, const QColor &colour, const QString &text);

    const ReportBuilder &m_report;
    QPageLayout m_pageLayout;
    int m_pageCount = 0;
    int m_currentPage = 0;
    Zoom m_zoom = Zoom::FitWidth;
    int m_wheelTurn = 0; // wheel movement beyond the page's edge, in eighths of a degree
};
