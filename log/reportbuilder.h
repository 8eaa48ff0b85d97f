#pragma once

#include "log/logstatistics.h"
#include "log/reportlayout.h"

#include <QDateTime>
#include <QFont>
#include <QPageRanges>
#include <QString>

#include <cstdint>
#include <functional>
#include <optional>

class LogTable;
class QPagedPaintDevice;

// What the report tells beside its rows: the first page heads the table with
// the limits in force and the statistics of the current mode, and every
// page's foot names the page ("Page 2 of 7") and when it was printed.
struct ReportSummary
{
    QString lowLimit; // as typed; both empty when not known
    QString highLimit;
    std::optional<ModeStatistics> statistics;
    qint64 passCount = 0; // over every row, as the window's statistics line counts
    qint64 failCount = 0;
    QString decimalSeparator = QStringLiteral(".");
    QDateTime printed; // when the report was made

    // The current mode's statistics and the Pass and Fail counts of the log.
    void takeStatistics(const LogStatistics &log);

    // "Low -4000  High 4000  Pass 1200  Fail 34", left of the title.
    QString limitsText() const;
    // "DC V  n 1234  min …  sd 0.0123", right of the title.
    QString statisticsText() const;
    // "Printed 2024-05-01 10:15  Page 2 of 7".
    QString footText(int page, int pages) const;
};
class QPainter;
class QPrinter;

// The printed "Data Report" of the log table: page header, column header, one
// detail line per row and the page footer on every page. Units print with the
// symbols the LCD symbol font draws for them ("k*" as "kΩ"). The summary
// (ReportSummary) shares the title's line and the footer's, so every page
// holds as many rows as it always did.
//
// The report is the rows the table held when it was made: the print command
// makes it when it starts, so rows logged while the preview is open go into
// the next report. It copies nothing: each page reads its rows from the table
// as it is painted, so a report of ten million rows costs no more memory than
// one of ten. The table must outlive the report. Once the table loses its
// rows (emptied, or replaced by an opened file) the report paints no more
// rows and printing stops with an error.
//
// One paint path serves the print preview, a printer and PDF files: print()
// paints on any paged device and honours the page range, and for a printer
// copies, collation and page order.
class ReportBuilder
{
public:
    // Called after every page; returning false cancels the job.
    using Progress = std::function<bool(int pagesDone, int pagesTotal)>;

    // The summary is the table's own: its current mode's statistics, the
    // limits not known, printed now. The window and the tools set theirs.
    explicit ReportBuilder(const LogTable &table);

    const ReportSummary &summary() const { return m_summary; }
    void setSummary(const ReportSummary &summary) { m_summary = summary; }

    int rowCount() const { return m_rowCount; }
    int pageCount(const ReportLayout &layout = ReportLayout()) const;
    // False once the table has lost the rows of the report.
    bool rowsAvailable() const;

    // Paints page `page` (from 0). The painter is open on its device with the
    // origin at the top left corner of the printable area and one unit per
    // device pixel, as on a printer that does not print the full page.
    // Returns false, having painted nothing, when the rows are gone.
    bool paintPage(QPainter &painter, int page, const ReportLayout &layout = ReportLayout()) const;

    // Paints the report on `device`, laid out for the device's page. An empty
    // table, or a page range that holds none of the report's pages, paints
    // nothing and opens no job. A printer's range counts when it is set to a
    // page range or to the current page (whose number the caller puts in its
    // page ranges). Returns false when the device refused a page, the job was
    // cancelled or the rows are gone; errorString() then says why.
    bool print(QPagedPaintDevice *device, const Progress &progress = {});

    // The same pages as a PDF file on the design page, all of them or those
    // in `pages` (from 1). The file is replaced only when the whole report
    // was written; an empty table, or a range that holds none of the pages,
    // writes nothing and fails.
    bool writePdf(const QString &fileName, const QPageRanges &pages = {}, const Progress &progress = {});

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
    bool failIfRowsGone();

    const LogTable &m_table;
    ReportSummary m_summary;
    int m_rowCount = 0;
    std::uint64_t m_generation = 0;
    QString m_error;
};
