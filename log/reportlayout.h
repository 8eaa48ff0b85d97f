#pragma once

#include <QSizeF>
#include <QtGlobal>

#include <array>

class QPageLayout;

// One of the six columns: its title in the column header band and its field
// in the detail band, left edges in millimetres from the left margin.
struct ReportColumn
{
    const char *title;
    qreal titleLeft;
    qreal fieldLeft;
};

// Where everything of the Data Report stands, in millimetres from the top left
// corner of the printable area. Page header, column header and the detail lines
// follow each other from the top; the page footer sits at the bottom of the page.
// Pure arithmetic, so the paging is tested without a paint device.
class ReportLayout
{
public:
    // A4 portrait with 10 mm margins, the page the report was designed for.
    ReportLayout();
    explicit ReportLayout(QSizeF printableMm);
    // The layout for the page a printer or PDF writer is set to.
    static ReportLayout forPage(const QPageLayout &page);
    static QPageLayout designPage();

    QSizeF printableSize() const { return m_printable; }
    qreal bandWidth() const { return m_bandWidth; }
    qreal footerTop() const;
    qreal detailTop(int line) const;

    int rowsPerPage() const { return m_rowsPerPage; }
    int pageCount(qsizetype rows) const;
    qsizetype firstRowOfPage(int page) const;
    qsizetype rowsOnPage(int page, qsizetype rows) const;

    // How wide the field of column `column` may print before it reaches the
    // next column (or the band's right edge).
    qreal fieldRoom(int column) const;

    // The room left and right of the centred title, where the first page
    // says the limits and the statistics: from the band's left edge to
    // limitsRoom(), and from statisticsLeft() to the band's right edge.
    qreal limitsRoom() const;
    qreal statisticsLeft() const;

    static constexpr qreal BandHeight = 10.58; // page header, column header, page footer
    static constexpr qreal DetailHeight = 6.61;
    static constexpr qreal TitleTop = 2.12; // "Data Report" in the page header
    static constexpr qreal TitleHeight = 5.03;
    static constexpr qreal ColumnTitleTop = 4.23;
    static constexpr qreal TextHeight = 4.23;
    static constexpr qreal FieldTop = 2.12;
    static constexpr qreal FooterTextTop = 4.23;
    static constexpr qreal FooterTextLeft = 8.47;
    static constexpr qreal DesignBandWidth = 189.97;
    static constexpr qreal FontPoints = 10;
    static constexpr qreal TitleBoxWidth = 35.45;
    static constexpr qreal SummaryFontPoints = 7; // limits and statistics beside the title

    // Index of each column in columns().
    enum Column { ColNo, ColTime, ColDcAc, ColValue, ColUnit, ColAuto, ColumnCount };
    static constexpr std::array<ReportColumn, ColumnCount> columns()
    {
        return {{{"No", 8.47, 8.47},
                 {"Time", 33.87, 33.87},
                 {"DC|AC", 64.29, 65.62},
                 {"Value", 99.48, 99.48},
                 {"Unit", 132.29, 131.23},
                 {"AUTO", 162.98, 162.98}}};
    }

private:
    QSizeF m_printable;
    qreal m_bandWidth = DesignBandWidth;
    int m_rowsPerPage = 1;
};
