#pragma once

#include "log/reportlayout.h"
#include "log/reportrow.h"

#include <QFont>
#include <QString>

#include <functional>

class QPagedPaintDevice;
class QPainter;
class QPrinter;

// The printed "Data Report" of the log table: page header, column header, one
// detail line per row and the page footer on every page. Units print with the
// symbols the LCD symbol font draws for them ("k*" as "kΩ").
//
// It holds a snapshot of the rows taken when the print command started, so
// rows logged while the preview is open change nothing. One paint path serves
// the print preview, a printer and PDF files: print() paints on any paged
// device and honours the page range, and for a printer copies, collation and
// page order.
class ReportBuilder
{
public:
    // Called after every page; returning false cancels the job.
    using Progress = std::function<bool(int pagesDone, int pagesTotal)>;

    explicit ReportBuilder(ReportRows rows);

    const ReportRows &rows() const { return m_rows; }
    int pageCount(const ReportLayout &layout = ReportLayout()) const;

    // Paints page `page` (from 0). The painter is open on its device with the
    // origin at the top left corner of the printable area and one unit per
    // device pixel, as on a printer that does not print the full page.
    void paintPage(QPainter &painter, int page, const ReportLayout &layout = ReportLayout()) const;

    // Paints the report on `device`, laid out for the device's page. An empty
    // table, or a page range that holds none of the report's pages, paints
    // nothing and opens no job. Returns false when the device refused a page
    // or the job was cancelled; errorString() then says why.
    bool print(QPagedPaintDevice *device, const Progress &progress = {});

    // The same pages as a PDF file on the design page. The file is replaced
    // only when the whole report was written; an empty table writes nothing
    // and fails.
    bool writePdf(const QString &fileName, const Progress &progress = {});

    QString errorString() const { return m_error; }

    // The report's own printer settings: A4 portrait with 10 mm margins, one
    // copy, no duplex, all pages, the first tray. A print command applies them
    // to its printer before showing the preview.
    static void setUpPrinter(QPrinter &printer);

    // The fonts that stand in for the report's: the LCD symbol font, which no
    // system has, "Arial" and "Calibri".
    static QFont reportFont();
    static QFont arialFont();
    static QFont calibriFont();

private:
    ReportRows m_rows;
    QString m_error;
};
