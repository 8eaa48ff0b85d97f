#include "log/reportbuilder.h"

#include "log/unitsymbols.h"

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
    {
    }

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
QString singleLine(const QString &text)
{
    const auto isControl = [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; };
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return text;
    QString line = text;
    for (QChar &c : line) {
        if (isControl(c))
            c = QLatin1Char(' ');
    }
    return line;
}

constexpr int TextFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
constexpr int TitleFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;

// The pages to paint, in the order to paint them, from 0.
QList<int> pageSequence(int pages, const QPageRanges &ranges, int copies, bool collate, bool lastFirst)
{
    QList<int> selected;
    for (int page = 1; page <= pages; ++page) {
        if (ranges.isEmpty() || ranges.contains(page))
            selected.append(page - 1);
    }
    if (lastFirst)
        std::reverse(selected.begin(), selected.end());

    QList<int> sequence;
    sequence.reserve(selected.size() * copies);
    if (collate) {
        for (int copy = 0; copy < copies; ++copy)
            sequence.append(selected);
    } else {
        for (int page : selected)
            sequence.insert(sequence.size(), copies, page);
    }
    return sequence;
}

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

ReportBuilder::ReportBuilder(ReportRows rows)
    : m_rows(std::move(rows))
{
}

int ReportBuilder::pageCount(const ReportLayout &layout) const
{
    return layout.pageCount(m_rows.size());
}

QFont ReportBuilder::reportFont()
{
    // The LCD symbol font draws ordinary letters and digits plainly; a clear
    // fixed-pitch face comes closest and holds the unit symbols.
    QFont font(QStringList{QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono")});
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(ReportLayout::FontPoints);
    return font;
}

QFont ReportBuilder::arialFont()
{
    QFont font(QStringList{QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(ReportLayout::FontPoints);
    return font;
}

QFont ReportBuilder::calibriFont()
{
    // Carlito has Calibri's metrics; without either, a plain sans serif.
    QFont font(QStringList{QStringLiteral("Calibri"), QStringLiteral("Carlito"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(ReportLayout::FontPoints);
    return font;
}

void ReportBuilder::paintPage(QPainter &painter, int page, const ReportLayout &layout) const
{
    const DeviceMm mm(painter.device());
    const QFont lcd = reportFont();
    const QFont arial = arialFont();
    const QFont calibri = calibriFont();
    const auto cols = ReportLayout::columns();

    painter.save();
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);

    painter.setFont(lcd);
    painter.drawText(mm.rect(0, ReportLayout::TitleTop, layout.bandWidth(), ReportLayout::TitleHeight),
                     TitleFlags, ReportTitle);

    const qreal titleTop = ReportLayout::BandHeight + ReportLayout::ColumnTitleTop;
    for (const ReportColumn &col : cols) {
        painter.drawText(mm.rect(col.titleLeft, titleTop, 0, ReportLayout::TextHeight), TextFlags,
                         QString::fromLatin1(col.title));
    }

    // Each font's metrics once per page: the fields are elided with them.
    const QFontMetricsF lcdMetrics(lcd, painter.device());
    const QFontMetricsF arialMetrics(arial, painter.device());
    const QFontMetricsF calibriMetrics(calibri, painter.device());
    const auto field = [&](int column, qreal top, const QFont &font, const QFontMetricsF &metrics,
                           const QString &text) {
        if (text.isEmpty())
            return;
        const ReportColumn &col = cols[column];
        const QString shown = metrics.elidedText(singleLine(text), Qt::ElideRight, mm.x(layout.fieldRoom(column)));
        if (painter.font() != font)
            painter.setFont(font);
        painter.drawText(mm.rect(col.fieldLeft, top, 0, ReportLayout::TextHeight), TextFlags, shown);
    };

    const qsizetype first = layout.firstRowOfPage(page);
    const qsizetype count = layout.rowsOnPage(page, m_rows.size());
    for (qsizetype line = 0; line < count; ++line) {
        const ReportRow &row = m_rows.at(first + line);
        const qreal top = layout.detailTop(int(line)) + ReportLayout::FieldTop;
        field(ReportLayout::ColNo, top, lcd, lcdMetrics, row.number);
        field(ReportLayout::ColTime, top, arial, arialMetrics, row.time);
        field(ReportLayout::ColDcAc, top, lcd, lcdMetrics, row.function);
        field(ReportLayout::ColValue, top, calibri, calibriMetrics, row.value);
        field(ReportLayout::ColUnit, top, lcd, lcdMetrics, lcdUnitText(row.unit));
        field(ReportLayout::ColAuto, top, lcd, lcdMetrics, row.judgement);
    }

    painter.setFont(lcd);
    painter.drawText(mm.rect(ReportLayout::FooterTextLeft, layout.footerTop() + ReportLayout::FooterTextTop, 0,
                             ReportLayout::TextHeight),
                     TextFlags, FooterText);
    painter.restore();
}

bool ReportBuilder::print(QPagedPaintDevice *device, const Progress &progress)
{
    m_error.clear();
    const ReportLayout layout = ReportLayout::forPage(device->pageLayout());

    QPageRanges ranges = device->pageRanges();
    int copies = 1;
    bool collate = true;
    bool lastFirst = false;
    auto *printer = dynamic_cast<QPrinter *>(device);
    if (printer) {
        // A printer keeps the last range even when the dialog then chose all pages.
        if (printer->printRange() != QPrinter::PageRange)
            ranges = QPageRanges();
        // Where the print system makes the copies itself, one copy is painted.
        if (!printer->supportsMultipleCopies())
            copies = std::max(1, printer->copyCount());
        collate = printer->collateCopies();
        lastFirst = printer->pageOrder() == QPrinter::LastPageFirst;
    }

    const QList<int> sequence = pageSequence(pageCount(layout), ranges, copies, collate, lastFirst);
    if (sequence.isEmpty())
        return true;

    QPainter painter;
    if (!painter.begin(device)) {
        m_error = QStringLiteral("Could not start printing.");
        return false;
    }
    painter.translate(marginCorrection(device->pageLayout(), device));
    for (qsizetype i = 0; i < sequence.size(); ++i) {
        if (i > 0 && !device->newPage()) {
            m_error = QStringLiteral("Could not start page %1 of the report.").arg(sequence.at(i) + 1);
            painter.end();
            return false;
        }
        paintPage(painter, sequence.at(i), layout);
        if (progress && !progress(int(i + 1), int(sequence.size()))) {
            m_error = QStringLiteral("Printing was cancelled.");
            if (printer)
                printer->abort();
            painter.end();
            return false;
        }
    }
    const bool ended = painter.end();
    if (!ended || (printer && printer->printerState() == QPrinter::Error)) {
        m_error = QStringLiteral("The printer reported an error.");
        return false;
    }
    return true;
}

bool ReportBuilder::writePdf(const QString &fileName, const Progress &progress)
{
    m_error.clear();
    if (m_rows.isEmpty()) {
        m_error = QStringLiteral("The table is empty: the report has no pages.");
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
