#include "log/reportbuilder.h"

#include "log/logtable.h"
#include "log/unitsymbols.h"
#include "shared/designfont.h"

#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageRanges>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include <algorithm>
#include <optional>

namespace {

const QString ReportTitle = QStringLiteral("Data Report");
const QString FooterText = QStringLiteral("The Data Print Foot");

// Millimetres of the layout to pixels of the device the painter is open on.
class DeviceMm
{
public:
    explicit DeviceMm(const QPaintDevice *device)
        : m_x(device->logicalDpiX() / 25.4)
        , m_y(device->logicalDpiY() / 25.4)
    { }

    qreal x(qreal mm) const { return mm * m_x; }
    qreal y(qreal mm) const { return mm * m_y; }
    QRectF rect(qreal left, qreal top, qreal width, qreal height) const
    {
        return QRectF(x(left), y(top), x(width), y(height));
    }

private:
    qreal m_x;
    qreal m_y;
};

// A stored text may hold line breaks or tabs (the XML file carries them); on
// paper a field stays on its one line.
QString singleLine(QStringView text)
{
    const auto isControl = [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; };
    QString line = text.toString();
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return line;
    for (QChar &c : line) {
        if (isControl(c))
            c = QLatin1Char(' ');
    }
    return line;
}

QString rowsGoneError()
{
    return QStringLiteral("The rows of this report are gone: the log was emptied or replaced after the report was "
                          "made. Print again for a report of the log as it is now.");
}

constexpr int TextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
constexpr int TitleFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;

// The pages to paint, in the order to paint them, from 0. Worked out page by
// page rather than listed: a full log has some 270 000 pages.
class PageSequence
{
public:
    PageSequence(int pages, const QPageRanges &ranges, int copies, bool collate, bool lastFirst)
        : m_copies(copies)
        , m_collate(collate)
        , m_lastFirst(lastFirst)
    {
        // The ranges come sorted and merged; pages beyond the report drop out.
        const QList<QPageRanges::Range> wanted =
            ranges.isEmpty() ? QList<QPageRanges::Range>{{1, pages}} : ranges.toRangeList();
        for (const QPageRanges::Range &r : wanted) {
            const int from = std::max(r.from, 1);
            const int to = std::min(r.to, pages);
            if (from <= to) {
                m_ranges.append({from, to});
                m_selected += to - from + 1;
            }
        }
    }

    qint64 size() const { return qint64(m_selected) * m_copies; }

    int pageAt(qint64 i) const
    {
        qint64 k = m_collate ? i % m_selected : i / m_copies;
        if (m_lastFirst)
            k = m_selected - 1 - k;
        for (const QPageRanges::Range &r : m_ranges) {
            const int n = r.to - r.from + 1;
            if (k < n)
                return r.from - 1 + int(k);
            k -= n;
        }
        return -1;
    }

private:
    QList<QPageRanges::Range> m_ranges;
    qint64 m_selected = 0;
    int m_copies;
    bool m_collate;
    bool m_lastFirst;
};

// Qt puts the painter's origin at the margins rounded to whole points (9.88 mm
// for 10 mm); the shift back to the exact margins keeps every text where the
// layout puts it on the sheet.
QPointF marginCorrection(const QPageLayout &page, const QPaintDevice *device)
{
    if (page.mode() == QPageLayout::FullPageMode)
        return {};
    const QMarginsF exact = page.margins(QPageLayout::Millimeter);
    const QMargins rounded = page.marginsPixels(device->logicalDpiX());
    const DeviceMm mm(device);
    return QPointF(mm.x(exact.left()) - rounded.left(), mm.y(exact.top()) - rounded.top());
}

} // namespace

QString ReportSummary::limitsText() const
{
    QString text = lowLimit.isEmpty() && highLimit.isEmpty()
                       ? QStringLiteral("Limits not known")
                       : QStringLiteral("Low %1  High %2").arg(lowLimit, highLimit);
    if (statistics)
        text += QStringLiteral("  Pass %1  Fail %2").arg(passCount).arg(failCount);
    return text;
}

void ReportSummary::takeStatistics(const LogStatistics &log)
{
    statistics.reset();
    if (const ModeStatistics *current = log.current())
        statistics = *current;
    passCount = log.passCount();
    failCount = log.failCount();
}

QString ReportSummary::statisticsText() const
{
    if (!statistics)
        return {};
    return statistics->modeText() + QStringLiteral("  ") + statistics->valuesText(decimalSeparator);
}

QString ReportSummary::footText(int page, int pages) const
{
    return QStringLiteral("Printed %1  Page %2 of %3")
        .arg(printed.toString(QStringLiteral("yyyy-MM-dd HH:mm")))
        .arg(page)
        .arg(pages);
}

ReportBuilder::ReportBuilder(const LogTable &table)
    : m_table(table)
    , m_rowCount(table.rowCount())
    , m_generation(table.generation())
{
    m_summary.printed = QDateTime::currentDateTime();
}

int ReportBuilder::pageCount(const ReportLayout &layout) const
{
    return layout.pageCount(m_rowCount);
}

bool ReportBuilder::rowsAvailable() const
{
    // While the generation stands the table only grows, so the report's rows
    // are still where they were.
    return m_table.generation() == m_generation && m_table.rowCount() >= m_rowCount;
}

bool ReportBuilder::failIfRowsGone()
{
    if (rowsAvailable())
        return false;
    m_error = rowsGoneError();
    return true;
}

QFont ReportBuilder::reportFont()
{
    // The LCD symbol font draws ordinary letters and digits plainly; a clear
    // fixed-pitch face comes closest and holds the unit symbols.
    QFont font(designFamily(DesignFace::Mono));
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(ReportLayout::FontPoints);
    return font;
}

QFont ReportBuilder::arialFont()
{
    QFont font(designFamily("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(ReportLayout::FontPoints);
    return font;
}

QFont ReportBuilder::calibriFont()
{
    // The program's sans serif as everywhere else: a Calibri or Carlito that
    // one machine has and another lacks would move the report's lines.
    QFont font(designFamily("Calibri"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(ReportLayout::FontPoints);
    return font;
}

bool ReportBuilder::paintPage(QPainter &painter, int page, const ReportLayout &layout) const
{
    if (!rowsAvailable())
        return false;
    const DeviceMm mm(painter.device());
    const QFont lcd = reportFont();
    const QFont arial = arialFont();
    const QFont calibri = calibriFont();
    const auto cols = ReportLayout::columns();

    painter.save();
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);

    painter.setFont(lcd);
    painter.drawText(mm.rect(0, ReportLayout::TitleTop, layout.bandWidth(), ReportLayout::TitleHeight), TitleFlags,
                     ReportTitle);
    const QFontMetricsF lcdMetrics(lcd, painter.device());
    if (page == 0) {
        // Beside the title and on its baseline, so that the line of the
        // title holds them and the table starts where it always does.
        QFont small = arial;
        small.setPointSizeF(ReportLayout::SummaryFontPoints);
        const QFontMetricsF smallMetrics(small, painter.device());
        const qreal top = mm.y(ReportLayout::TitleTop) + lcdMetrics.ascent() - smallMetrics.ascent();
        const qreal height = smallMetrics.height();
        painter.setFont(small);
        const qreal limitsRoom = mm.x(layout.limitsRoom());
        painter.drawText(QRectF(mm.x(ReportLayout::FooterTextLeft), top, limitsRoom, height), TextFlags,
                         smallMetrics.elidedText(m_summary.limitsText(), Qt::ElideRight, limitsRoom));
        const qreal left = mm.x(layout.statisticsLeft());
        const qreal statisticsRoom = mm.x(layout.bandWidth()) - left;
        painter.drawText(QRectF(left, top, statisticsRoom, height), Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine,
                         smallMetrics.elidedText(m_summary.statisticsText(), Qt::ElideRight, statisticsRoom));
        painter.setFont(lcd);
    }

    const qreal titleTop = ReportLayout::BandHeight + ReportLayout::ColumnTitleTop;
    for (const ReportColumn &col : cols) {
        painter.drawText(mm.rect(col.titleLeft, titleTop, 0, ReportLayout::TextHeight), TextFlags,
                         QString::fromLatin1(col.title));
    }

    // Each font's metrics once per page: the fields are elided with them.
    const QFontMetricsF arialMetrics(arial, painter.device());
    const QFontMetricsF calibriMetrics(calibri, painter.device());
    const auto field = [&](int column, qreal top, const QFont &font, const QFontMetricsF &metrics, QStringView text) {
        if (text.isEmpty())
            return;
        const ReportColumn &col = cols[column];
        const QString shown = metrics.elidedText(singleLine(text), Qt::ElideRight, mm.x(layout.fieldRoom(column)));
        if (painter.font() != font)
            painter.setFont(font);
        painter.drawText(mm.rect(col.fieldLeft, top, 0, ReportLayout::TextHeight), TextFlags, shown);
    };

    // The page's rows straight from the table; NVal is never printed.
    const qsizetype first = layout.firstRowOfPage(page);
    const qsizetype count = layout.rowsOnPage(page, m_rowCount);
    for (qsizetype line = 0; line < count; ++line) {
        const int row = int(first + line);
        const auto text = [&](LogField f) { return m_table.text(row, int(f)); };
        const std::optional<qint32> number = m_table.integer(row, int(LogField::No));
        const qreal top = layout.detailTop(int(line)) + ReportLayout::FieldTop;
        field(ReportLayout::ColNo, top, lcd, lcdMetrics, number ? QString::number(*number) : QString());
        field(ReportLayout::ColTime, top, arial, arialMetrics, text(LogField::Time));
        field(ReportLayout::ColDcAc, top, lcd, lcdMetrics, text(LogField::DcAc));
        field(ReportLayout::ColValue, top, calibri, calibriMetrics, text(LogField::Value));
        field(ReportLayout::ColUnit, top, lcd, lcdMetrics, lcdUnitText(text(LogField::Unit)));
        field(ReportLayout::ColAuto, top, lcd, lcdMetrics, text(LogField::Auto));
    }

    painter.setFont(lcd);
    painter.drawText(mm.rect(ReportLayout::FooterTextLeft, layout.footerTop() + ReportLayout::FooterTextTop, 0,
                             ReportLayout::TextHeight),
                     TextFlags, FooterText);
    painter.drawText(
        mm.rect(0, layout.footerTop() + ReportLayout::FooterTextTop, layout.bandWidth(), ReportLayout::TextHeight),
        Qt::AlignRight | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip,
        m_summary.footText(page + 1, pageCount(layout)));
    painter.restore();
    return true;
}

bool ReportBuilder::print(QPagedPaintDevice *device, const Progress &progress)
{
    m_error.clear();
    if (failIfRowsGone())
        return false;
    const ReportLayout layout = ReportLayout::forPage(device->pageLayout());

    QPageRanges ranges = device->pageRanges();
    int copies = 1;
    bool collate = true;
    bool lastFirst = false;
    auto *printer = dynamic_cast<QPrinter *>(device);
    if (printer) {
        // A printer keeps the last range even when the dialog then chose all
        // pages; for the current page the caller has put its number there.
        if (printer->printRange() != QPrinter::PageRange && printer->printRange() != QPrinter::CurrentPage)
            ranges = QPageRanges();
        // Where the print system makes the copies itself, one copy is painted.
        if (!printer->supportsMultipleCopies())
            copies = std::max(1, printer->copyCount());
        collate = printer->collateCopies();
        lastFirst = printer->pageOrder() == QPrinter::LastPageFirst;
    }

    const PageSequence sequence(pageCount(layout), ranges, copies, collate, lastFirst);
    if (sequence.size() == 0)
        return true;

    QPainter painter;
    if (!painter.begin(device)) {
        m_error = QStringLiteral("Could not start printing.");
        return false;
    }
    painter.translate(marginCorrection(device->pageLayout(), device));
    const auto stop = [&](const QString &error) {
        m_error = error;
        if (!printer) {
            painter.end();
            return false;
        }
        // Qt's PDF and CUPS engines cannot abort: ending the painter hands
        // the pages painted so far to the print queue, or leaves them in the
        // output file. Such a file is only part of the report, so it goes.
        const bool aborted = printer->abort();
        painter.end();
        if (!aborted && !printer->outputFileName().isEmpty())
            QFile::remove(printer->outputFileName());
        return false;
    };
    for (qint64 i = 0; i < sequence.size(); ++i) {
        const int page = sequence.pageAt(i);
        if (i > 0 && !device->newPage()) {
            m_error = QStringLiteral("Could not start page %1 of the report.").arg(page + 1);
            painter.end();
            return false;
        }
        // The progress callback lets the window run, and with it anything
        // that may empty the log.
        if (!paintPage(painter, page, layout))
            return stop(rowsGoneError());
        if (progress && !progress(int(i + 1), int(sequence.size())))
            return stop(QStringLiteral("Printing was cancelled."));
    }
    const bool ended = painter.end();
    if (!ended || (printer && printer->printerState() == QPrinter::Error)) {
        m_error = QStringLiteral("The printer reported an error.");
        return false;
    }
    return true;
}

bool ReportBuilder::writePdf(const QString &fileName, const QPageRanges &pages, const Progress &progress)
{
    m_error.clear();
    if (failIfRowsGone())
        return false;
    if (m_rowCount == 0) {
        m_error = QStringLiteral("The table is empty: the report has no pages.");
        return false;
    }
    const int total = pageCount(ReportLayout::forPage(ReportLayout::designPage()));
    if (!pages.isEmpty() && pages.firstPage() > total) {
        m_error = QStringLiteral("The range %1 holds no page of the report, which has %2 %3.")
                      .arg(pages.toString())
                      .arg(total)
                      .arg(total == 1 ? QStringLiteral("page") : QStringLiteral("pages"));
        return false;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("Could not write %1: %2").arg(fileName, file.errorString());
        return false;
    }
    bool printed = false;
    {
        QPdfWriter writer(&file);
        writer.setPageLayout(ReportLayout::designPage());
        writer.setTitle(ReportTitle);
        writer.setCreator(QStringLiteral("qm320"));
        writer.setPageRanges(pages);
        printed = print(&writer, progress);
    }
    if (!printed) {
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        m_error = QStringLiteral("Could not write %1: %2").arg(fileName, file.errorString());
        return false;
    }
    return true;
}

void ReportBuilder::setUpPrinter(QPrinter &printer)
{
    const QPageLayout design = ReportLayout::designPage();
    // One by one: a printer that cannot print as close to the edge as 10 mm
    // still gets A4 portrait, with margins it can print.
    printer.setPageSize(design.pageSize());
    printer.setPageOrientation(design.orientation());
    printer.setPageMargins(design.margins(), design.units());
    printer.setCopyCount(1);
    printer.setDuplex(QPrinter::DuplexNone);
    printer.setPrintRange(QPrinter::AllPages);
    printer.setPageRanges(QPageRanges());
    printer.setPaperSource(QPrinter::Upper);
    printer.setDocName(ReportTitle);
}
