#include "log/logfixtures.h"
#include "log/logstatistics.h"
#include "log/logtable.h"
#include "log/reportbuilder.h"
#include "log/reportlayout.h"
#include "shared/designfont.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPageLayout>
#include <QPageRanges>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The fields cycle through these, so a page shows every unit symbol.
const QStringList Functions{"DC", "AC", "OHM", "TMP", "TMP", "CAP"};
const QStringList Units{"mV", "uA", "k*", "#", "?", "uF"};
const QStringList UnitsShown{"mV", "µA", "kΩ", "°C", "°F", "µF"};

// Row n (from 1) of the tables these tests print.
LogRow rowNumber(int n)
{
    const int i = n - 1;
    return loggedRow(n, QTime(10, 0).addSecs(i).toString("hh:mm:ss"), Functions.at(i % 6),
                     QString::number(n * 0.001, 'f', 3), Units.at(i % 6), n % 3 ? "pass" : "Fail");
}

void fillRows(LogTable &table, int count)
{
    table.beginBulk();
    for (int n = 1; n <= count; ++n)
        appendRow(table, rowNumber(n), false);
    table.endBulk();
}

QString expectedLine(int n)
{
    const int i = n - 1;
    return QStringList{QString::number(n), QTime(10, 0).addSecs(i).toString("hh:mm:ss"), Functions.at(i % 6),
                       QString::number(n * 0.001, 'f', 3), UnitsShown.at(i % 6), n % 3 ? "pass" : "Fail"}
        .join(' ');
}

QString runTool(const QStringList &args)
{
    QProcess tool;
    tool.start(args.first(), args.mid(1));
    if (!tool.waitForFinished(60000) || tool.exitCode() != 0)
        return {};
    return QString::fromUtf8(tool.readAllStandardOutput());
}

// Each page's text lines as pdftotext lays them out, blanks between words
// collapsed and empty lines dropped.
QList<QStringList> pdfPageLines(const QString &pdf)
{
    QList<QStringList> pages;
    QStringList texts = runTool({"pdftotext", "-layout", pdf, "-"}).split(QLatin1Char('\f'));
    texts.removeLast(); // after the last page's form feed
    for (const QString &text : texts) {
        QStringList lines;
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            if (!line.trimmed().isEmpty())
                lines.append(line.simplified());
        }
        pages.append(lines);
    }
    return pages;
}

struct PdfWord
{
    QString text;
    qreal left;  // millimetres from the sheet's left edge
    qreal right;
    qreal top;   // millimetres from the sheet's top edge
};

QList<PdfWord> pdfWords(const QString &pdf)
{
    const QString html = runTool({"pdftotext", "-bbox", "-f", "1", "-l", "1", pdf, "-"});
    static const QRegularExpression wordTag(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="[\d.]+">([^<]*)</word>)re");
    constexpr qreal MmPerPoint = 25.4 / 72;
    QList<PdfWord> words;
    for (const QRegularExpressionMatch &m : wordTag.globalMatch(html)) {
        words.append({m.captured(4), m.captured(1).toDouble() * MmPerPoint, m.captured(3).toDouble() * MmPerPoint,
                      m.captured(2).toDouble() * MmPerPoint});
    }
    return words;
}

// The report's summary with a fixed time of printing and nothing else: the
// first page's title line says the limits are not known.
const QDateTime Printed(QDate(2024, 5, 1), QTime(10, 15));

void printedAtNoon(ReportBuilder &report)
{
    ReportSummary summary = report.summary();
    summary.printed = Printed;
    report.setSummary(summary);
}

QString titleLine(int page)
{
    return page == 1 ? QStringLiteral("Limits not known Data Report") : QStringLiteral("Data Report");
}

QString footLine(int page, int pages)
{
    return QStringLiteral("The Data Print Foot Printed 2024-05-01 10:15 Page %1 of %2").arg(page).arg(pages);
}

QList<int> firstRowOfEachPage(const QString &pdf)
{
    QList<int> firsts;
    for (const QStringList &lines : pdfPageLines(pdf))
        firsts.append(lines.size() > 2 ? lines.at(2).section(' ', 0, 0).toInt() : 0);
    return firsts;
}

} // namespace

class TestReportBuilder : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void paging_data();
    void paging();
    void designPage();

    void pages_data();
    void pages();
    void pagesOfALargeTable_data();
    void pagesOfALargeTable();
    void positions_data();
    void positions();
    void fontsComeFromTheDesignFiles_data();
    void fontsComeFromTheDesignFiles();
    void fieldsStayInTheirColumns();
    void summary_data();
    void summary();

    void emptyTable();
    void printRange_data();
    void printRange();
    void printCancelled();
    void writePdfRange_data();
    void writePdfRange();
    void writePdfFailures_data();
    void writePdfFailures();
    void tableChangedUnderTheReport_data();
    void tableChangedUnderTheReport();

private:
    QTemporaryDir m_dir;
    QString m_positionsPdf;
    LogTable m_large;   // 200 000 rows: four blocks of the table, 5406 pages
};

void TestReportBuilder::initTestCase()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the reports back");
    QVERIFY(m_dir.isValid());

    LogTable table;
    fillTable(table, {loggedRow(1, "10:15:03", "OHM", "1.234", "k*", "pass"),
                      loggedRow(2, "10:15:04", "AC", "-0.567", "#", "Fail")});
    ReportBuilder report(table);
    m_positionsPdf = m_dir.filePath("positions.pdf");
    QVERIFY2(report.writePdf(m_positionsPdf), qPrintable(report.errorString()));

    fillRows(m_large, 200000);
}

void TestReportBuilder::paging_data()
{
    QTest::addColumn<QSizeF>("printable");
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("pages");
    QTest::addColumn<int>("rowsOnLastPage");

    const QSizeF a4(190, 277);
    QTest::newRow("empty table, no page") << a4 << 0 << 0 << 0;
    QTest::newRow("one row") << a4 << 1 << 1 << 1;
    QTest::newRow("a full page holds 37") << a4 << 37 << 1 << 37;
    QTest::newRow("the 38th starts page 2") << a4 << 38 << 2 << 1;
    QTest::newRow("10000 rows") << a4 << 10000 << 271 << 10;
    QTest::newRow("landscape holds 23 a page") << QSizeF(277, 190) << 24 << 2 << 1;
    QTest::newRow("page too small for a line, one a page") << QSizeF(60, 30) << 3 << 3 << 1;
}

void TestReportBuilder::paging()
{
    QFETCH(QSizeF, printable);
    QFETCH(int, rows);
    QFETCH(int, pages);
    QFETCH(int, rowsOnLastPage);

    const ReportLayout layout(printable);
    QCOMPARE(layout.pageCount(rows), pages);
    // Every row on exactly one page, in table order.
    qsizetype next = 0;
    for (int page = 0; page < pages; ++page) {
        QCOMPARE(layout.firstRowOfPage(page), next);
        next += layout.rowsOnPage(page, rows);
    }
    QCOMPARE(next, qsizetype(rows));
    if (pages > 0)
        QCOMPARE(layout.rowsOnPage(pages - 1, rows), qsizetype(rowsOnLastPage));
    QCOMPARE(layout.rowsOnPage(pages, rows), qsizetype(0));
}

void TestReportBuilder::designPage()
{
    const ReportLayout layout = ReportLayout::forPage(ReportLayout::designPage());
    QCOMPARE(layout.printableSize(), QSizeF(190, 277));
    QVERIFY(qAbs(layout.bandWidth() - ReportLayout::DesignBandWidth) < 0.005);
    QVERIFY(qAbs(layout.footerTop() - 266.42) < 0.005);
    QCOMPARE(layout.rowsPerPage(), 37);
}

void TestReportBuilder::pages_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("rowsPerPage");

    QTest::newRow("one row") << 1 << QList<int>{1};
    QTest::newRow("one full page") << 37 << QList<int>{37};
    QTest::newRow("one line over") << 38 << QList<int>{37, 1};
    QTest::newRow("three pages") << 80 << QList<int>{37, 37, 6};
}

void TestReportBuilder::pages()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, rowsPerPage);

    LogTable table;
    fillRows(table, rows);
    ReportBuilder report(table);
    printedAtNoon(report);
    const QString pdf = m_dir.filePath(QStringLiteral("pages-%1.pdf").arg(rows));
    QVERIFY2(report.writePdf(pdf), qPrintable(report.errorString()));

    const QList<QStringList> pages = pdfPageLines(pdf);
    QCOMPARE(pages.size(), rowsPerPage.size());
    int n = 1;
    for (qsizetype page = 0; page < pages.size(); ++page) {
        const QStringList &lines = pages.at(page);
        QCOMPARE(lines.size(), rowsPerPage.at(page) + 3);
        QCOMPARE(lines.first(), titleLine(int(page + 1)));
        QCOMPARE(lines.at(1), QStringLiteral("No Time DC|AC Value Unit AUTO"));
        for (int line = 0; line < rowsPerPage.at(page); ++line)
            QCOMPARE(lines.at(2 + line), expectedLine(n++));
        QCOMPARE(lines.last(), footLine(int(page + 1), int(pages.size())));
    }
}

void TestReportBuilder::summary_data()
{
    QTest::addColumn<LogRows>("rows");
    QTest::addColumn<QString>("titleLine");

    const auto row = [](const char *function, const char *value, const char *judge) {
        return loggedRow(1, "10:00:00", function, value, "V", judge);
    };
    QTest::newRow("limits, counts and statistics")
        << LogRows{row("DC", "1.000", "pass"), row("DC", "2.000", "Fail"), row("DC", "3.000", "pass")}
        << "Low -1 High 2,5 Pass 2 Fail 1 Data Report DC V n 3 min 1 max 3 mean 2 sd 1";
    QTest::newRow("too long for beside the title: cut short")
        << LogRows{row("TWENTY CHARACTERS OF", "1.2345", "pass"), row("TWENTY CHARACTERS OF", "-1.1111", "pass")}
        << "Low -1 High 2,5 Pass 2 Fail 0 Data Report TWENTY CHARACTERS OF V n 2 min -1,1111 max 1,2345 me…";
}

void TestReportBuilder::summary()
{
    // Beside the title on the first page, in its line, and clear of it; the
    // page and the time of printing at the right of every foot.
    QFETCH(LogRows, rows);
    QFETCH(QString, titleLine);
    LogTable table;
    fillTable(table, rows);
    const LogStatistics statistics(table);
    ReportBuilder report(table);
    ReportSummary summary = report.summary();
    summary.lowLimit = QStringLiteral("-1");
    summary.highLimit = QStringLiteral("2,5");
    summary.decimalSeparator = QStringLiteral(",");
    summary.takeStatistics(statistics);
    summary.printed = Printed;
    report.setSummary(summary);
    const QString pdf = m_dir.filePath(QStringLiteral("summary-%1.pdf").arg(rows.size()));
    QVERIFY2(report.writePdf(pdf), qPrintable(report.errorString()));

    const QStringList lines = pdfPageLines(pdf).value(0);
    QCOMPARE(lines.value(0), titleLine);
    QCOMPARE(lines.value(2).section(' ', 0, 0), QStringLiteral("1"));
    QCOMPARE(lines.last(), footLine(1, 1));

    const qreal titleLeft = (189.97 - 35.45) / 2;
    const qreal titleRight = titleLeft + 35.45;
    qreal summaryRight = 0;
    qreal footRight = 0;
    for (const PdfWord &word : pdfWords(pdf)) {
        const qreal left = word.left - 10;
        const qreal right = word.right - 10;
        if (word.top - 10 < 10.58) {
            if (word.text == QLatin1String("Low"))
                QVERIFY2(qAbs(left - 8.47) < 0.05, qPrintable(QString::number(left)));
            if (word.text != QLatin1String("Data") && word.text != QLatin1String("Report"))
                QVERIFY2(right < titleLeft || left > titleRight, qPrintable(word.text));
            summaryRight = std::max(summaryRight, right);
        } else if (word.top - 10 > 277 - 10.58) {
            footRight = std::max(footRight, right);
        }
    }
    // Up to the band's right edge.
    QVERIFY2(summaryRight < 189.98 && summaryRight > 187, qPrintable(QString::number(summaryRight)));
    QVERIFY2(footRight < 189.98 && footRight > 187, qPrintable(QString::number(footRight)));
}

void TestReportBuilder::pagesOfALargeTable_data()
{
    QTest::addColumn<int>("page"); // from 1
    QTest::addColumn<int>("firstRow");
    QTest::addColumn<int>("rows");

    QTest::newRow("first page") << 1 << 1 << 37;
    QTest::newRow("middle page, third block") << 3600 << 3599 * 37 + 1 << 37;
    QTest::newRow("last page, fourth block") << 5406 << 5405 * 37 + 1 << 15;
}

void TestReportBuilder::pagesOfALargeTable()
{
    QFETCH(int, page);
    QFETCH(int, firstRow);
    QFETCH(int, rows);

    // Each page reads its own rows from the table.
    ReportBuilder report(m_large);
    printedAtNoon(report);
    QCOMPARE(report.pageCount(), 5406);
    QPageRanges range;
    range.addPage(page);
    const QString pdf = m_dir.filePath(QStringLiteral("large-%1.pdf").arg(page));
    QVERIFY2(report.writePdf(pdf, range), qPrintable(report.errorString()));

    QStringList expected{titleLine(page), "No Time DC|AC Value Unit AUTO"};
    for (int n = firstRow; n < firstRow + rows; ++n)
        expected.append(expectedLine(n));
    expected.append(footLine(page, 5406));
    QCOMPARE(pdfPageLines(pdf), QList<QStringList>{expected});
}

void TestReportBuilder::positions_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<qreal>("left"); // from the left margin
    QTest::addColumn<qreal>("top");  // from the top margin

    const qreal titles = 10.58 + 4.23;
    QTest::newRow("title No") << "No" << 8.47 << titles;
    QTest::newRow("title Time") << "Time" << 33.87 << titles;
    QTest::newRow("title DC|AC") << "DC|AC" << 64.29 << titles;
    QTest::newRow("title Value") << "Value" << 99.48 << titles;
    QTest::newRow("title Unit") << "Unit" << 132.29 << titles;
    QTest::newRow("title AUTO") << "AUTO" << 162.98 << titles;

    const qreal first = 2 * 10.58 + 2.12;
    QTest::newRow("No") << "1" << 8.47 << first;
    QTest::newRow("Time, Arial") << "10:15:03" << 33.87 << first;
    QTest::newRow("DC/AC") << "OHM" << 65.62 << first;
    QTest::newRow("Value, Calibri") << "1.234" << 99.48 << first;
    QTest::newRow("Unit") << "kΩ" << 131.23 << first;
    QTest::newRow("AUTO") << "pass" << 162.98 << first;

    const qreal second = first + 6.61;
    QTest::newRow("second line No") << "2" << 8.47 << second;
    QTest::newRow("second line Value") << "-0.567" << 99.48 << second;
    QTest::newRow("second line Unit") << "°C" << 131.23 << second;
    QTest::newRow("second line AUTO") << "Fail" << 162.98 << second;

    QTest::newRow("footer at the bottom") << "The" << 8.47 << 277 - 10.58 + 4.23;
}

void TestReportBuilder::positions()
{
    QFETCH(QString, word);
    QFETCH(qreal, left);
    QFETCH(qreal, top);

    const QList<PdfWord> words = pdfWords(m_positionsPdf);
    const auto found = std::find_if(words.cbegin(), words.cend(), [&](const PdfWord &w) { return w.text == word; });
    QVERIFY2(found != words.cend(), qPrintable(word));
    // The sheet's margins are 10 mm; the top is where the text's box starts.
    QVERIFY2(qAbs(found->left - 10 - left) < 0.05, qPrintable(QString::number(found->left - 10)));
    QVERIFY2(qAbs(found->top - 10 - top) < 0.2, qPrintable(QString::number(found->top - 10)));
}

void TestReportBuilder::fontsComeFromTheDesignFiles_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("file");
    QTest::newRow("the LCD font's stand-in") << ReportBuilder::reportFont() << int(DesignFontFile::Mono);
    QTest::newRow("Arial") << ReportBuilder::arialFont() << int(DesignFontFile::Sans);
    QTest::newRow("Calibri") << ReportBuilder::calibriFont() << int(DesignFontFile::Sans);
}

// Whatever fonts the machine has (a Carlito for Calibri, a newer Liberation
// Sans), the report's lines stay where they are.
void TestReportBuilder::fontsComeFromTheDesignFiles()
{
    QFETCH(QFont, font);
    QFETCH(int, file);
    const QString path = designFontFilePath(DesignFontFile(file));
    if (!QFile::exists(path))
        QSKIP("the design font files are not installed (fonts-liberation, fonts-dejavu-core)");
    const QByteArray drawn = QRawFont::fromFont(font).fontTable("glyf");
    QVERIFY(!drawn.isEmpty());
    QVERIFY(drawn == QRawFont(path, 12).fontTable("glyf"));
}

void TestReportBuilder::fieldsStayInTheirColumns()
{
    // Texts as long as a field holds, and line breaks from an XML file.
    const QString longValue = QStringLiteral("12345678901234567890");
    LogTable table;
    fillTable(table, {loggedRow(2147483647, "10:15:03 PM", "Line\nBreak", longValue, "Tab\tbed", "WWWWWWWWWWWWWWWWWWWW")});
    ReportBuilder report(table);
    const QString pdf = m_dir.filePath("long.pdf");
    QVERIFY2(report.writePdf(pdf), qPrintable(report.errorString()));

    const QList<PdfWord> words = pdfWords(pdf);
    const auto cols = ReportLayout::columns();
    const qreal rowTop = 10 + 2 * 10.58 + 2.12;
    for (const PdfWord &w : words) {
        if (qAbs(w.top - rowTop) > 1)
            continue; // title, column titles, footer
        // Which column the word starts in; it must end before the next one.
        int column = ReportLayout::ColumnCount - 1;
        while (column > 0 && w.left - 10 < cols[column].fieldLeft - 0.05)
            --column;
        const qreal end = column + 1 < ReportLayout::ColumnCount ? cols[column + 1].fieldLeft : 189.97;
        QVERIFY2(w.right - 10 <= end, qPrintable(w.text));
    }
    const QStringList lines = pdfPageLines(pdf).value(0);
    QCOMPARE(lines.size(), 4);
    QVERIFY2(lines.at(2).startsWith("2147483647 10:15:03 PM Line Break 1234"), qPrintable(lines.at(2)));
    QVERIFY2(lines.at(2).contains("Tab bed"), qPrintable(lines.at(2)));
    QVERIFY2(!lines.at(2).contains(longValue), "the value is cut short with an ellipsis");
}

void TestReportBuilder::emptyTable()
{
    LogTable table;
    ReportBuilder report(table);
    QCOMPARE(report.pageCount(), 0);

    QPrinter printer;
    ReportBuilder::setUpPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath("empty-printer.pdf"));
    QVERIFY(report.print(&printer));
    QVERIFY(!QFile::exists(printer.outputFileName()));

    const QString old = m_dir.filePath("empty-old.pdf");
    QFile file(old);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("earlier report");
    file.close();
    QVERIFY(!report.writePdf(old));
    QVERIFY(!report.errorString().isEmpty());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("earlier report"));
}

void TestReportBuilder::printRange_data()
{
    QTest::addColumn<int>("printRange"); // QPrinter::PrintRange
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("copies");
    QTest::addColumn<bool>("collate");
    QTest::addColumn<bool>("lastFirst");
    QTest::addColumn<QList<int>>("firstRows"); // of each printed page

    const int all = QPrinter::AllPages;
    const int range = QPrinter::PageRange;
    const int current = QPrinter::CurrentPage;
    // 120 rows: pages start with rows 1, 38, 75 and 112.
    QTest::newRow("all pages") << all << 0 << 0 << 1 << true << false << QList<int>{1, 38, 75, 112};
    QTest::newRow("pages 2 to 3") << range << 2 << 3 << 1 << true << false << QList<int>{38, 75};
    QTest::newRow("range past the end") << range << 4 << 9 << 1 << true << false << QList<int>{112};
    QTest::newRow("range left over, all pages chosen") << all << 2 << 3 << 1 << true << false
                                                       << QList<int>{1, 38, 75, 112};
    QTest::newRow("current page, put in the range") << current << 3 << 3 << 1 << true << false << QList<int>{75};
    QTest::newRow("last page first") << all << 0 << 0 << 1 << true << true << QList<int>{112, 75, 38, 1};
    // The PDF engine makes no copies itself, so the report paints them.
    QTest::newRow("two copies collated") << range << 1 << 2 << 2 << true << false << QList<int>{1, 38, 1, 38};
    QTest::newRow("two copies uncollated") << range << 1 << 2 << 2 << false << false << QList<int>{1, 1, 38, 38};
    QTest::newRow("range, last first, collated") << range << 3 << 4 << 2 << true << true
                                                 << QList<int>{112, 75, 112, 75};
    QTest::newRow("range, last first, uncollated") << range << 3 << 4 << 2 << false << true
                                                   << QList<int>{112, 112, 75, 75};
    QTest::newRow("range beyond the report") << range << 5 << 6 << 1 << true << false << QList<int>{};
}

void TestReportBuilder::printRange()
{
    QFETCH(int, printRange);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, copies);
    QFETCH(bool, collate);
    QFETCH(bool, lastFirst);
    QFETCH(QList<int>, firstRows);

    LogTable table;
    fillRows(table, 120);
    ReportBuilder report(table);
    QPrinter printer;
    ReportBuilder::setUpPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath(QStringLiteral("range-%1.pdf").arg(QTest::currentDataTag())));
    printer.setFromTo(from, to);
    printer.setPrintRange(QPrinter::PrintRange(printRange));
    printer.setCopyCount(copies);
    printer.setCollateCopies(collate);
    printer.setPageOrder(lastFirst ? QPrinter::LastPageFirst : QPrinter::FirstPageFirst);

    QVERIFY2(report.print(&printer), qPrintable(report.errorString()));
    if (firstRows.isEmpty())
        QVERIFY(!QFile::exists(printer.outputFileName()));
    else
        QCOMPARE(firstRowOfEachPage(printer.outputFileName()), firstRows);
}

void TestReportBuilder::printCancelled()
{
    LogTable table;
    fillRows(table, 120);
    ReportBuilder report(table);
    QPrinter printer;
    ReportBuilder::setUpPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath("cancelled-print.pdf"));

    QList<QPair<int, int>> calls;
    const auto progress = [&](int done, int total) {
        calls.append({done, total});
        return done < 2;
    };
    QVERIFY(!report.print(&printer, progress));
    QVERIFY2(report.errorString().contains("cancelled"), qPrintable(report.errorString()));
    QCOMPARE(calls, (QList<QPair<int, int>>{{1, 4}, {2, 4}}));
    // Half a report in a file would pass for the whole one.
    QVERIFY(!QFile::exists(printer.outputFileName()));
}

void TestReportBuilder::writePdfRange_data()
{
    QTest::addColumn<QString>("pages");        // as a print dialog writes them; empty for all
    QTest::addColumn<QList<int>>("firstRows");  // of each page; empty: nothing is written

    // 120 rows: pages start with rows 1, 38, 75 and 112.
    QTest::newRow("all pages") << "" << QList<int>{1, 38, 75, 112};
    QTest::newRow("pages 2 to 3") << "2-3" << QList<int>{38, 75};
    QTest::newRow("range past the end") << "4-9" << QList<int>{112};
    QTest::newRow("two ranges") << "1,3-4" << QList<int>{1, 75, 112};
    QTest::newRow("range beyond the report") << "5-6" << QList<int>{};
}

void TestReportBuilder::writePdfRange()
{
    QFETCH(QString, pages);
    QFETCH(QList<int>, firstRows);

    LogTable table;
    fillRows(table, 120);
    ReportBuilder report(table);
    const QString pdf = m_dir.filePath(QStringLiteral("pdfrange-%1.pdf").arg(QTest::currentDataTag()));
    QVERIFY(writeBytes(pdf, "earlier report"));

    const bool written = report.writePdf(pdf, QPageRanges::fromString(pages));
    if (firstRows.isEmpty()) {
        QVERIFY(!written);
        QVERIFY2(report.errorString().contains("4 pages"), qPrintable(report.errorString()));
        QCOMPARE(fileBytes(pdf), QByteArray("earlier report"));
    } else {
        QVERIFY2(written, qPrintable(report.errorString()));
        QCOMPARE(firstRowOfEachPage(pdf), firstRows);
    }
}

void TestReportBuilder::writePdfFailures_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("earlierFile");
    QTest::addColumn<bool>("cancel");

    QTest::newRow("folder missing") << "missing/report.pdf" << false << false;
    QTest::newRow("target is a folder") << "folder" << false << false;
    QTest::newRow("cancelled after the first page") << "cancelled.pdf" << true << true;
}

void TestReportBuilder::writePdfFailures()
{
    QFETCH(QString, target);
    QFETCH(bool, earlierFile);
    QFETCH(bool, cancel);

    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder"));
    const QString path = dir.filePath(target);
    if (earlierFile) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("earlier report");
    }

    LogTable table;
    fillRows(table, 80);
    ReportBuilder report(table);
    const auto progress = [&](int done, int total) {
        Q_UNUSED(total)
        return !cancel || done < 1;
    };
    QVERIFY(!report.writePdf(path, {}, progress));
    QVERIFY(!report.errorString().isEmpty());

    // Nothing but what was there before: no partial report, no temporary file.
    const QStringList expected = earlierFile ? QStringList{QFileInfo(path).fileName(), "folder"} : QStringList{"folder"};
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name), expected);
    if (earlierFile) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("earlier report"));
    }
}

void TestReportBuilder::tableChangedUnderTheReport_data()
{
    QTest::addColumn<bool>("emptied");
    QTest::addColumn<bool>("whilePrinting"); // after the first page
    QTest::addColumn<int>("loggedAfter");    // rows logged after the change

    QTest::newRow("rows logged after the report") << false << false << 50;
    QTest::newRow("rows logged while printing") << false << true << 50;
    QTest::newRow("table emptied") << true << false << 0;
    QTest::newRow("emptied, more rows logged than before") << true << false << 200;
    QTest::newRow("emptied while printing") << true << true << 0;
}

void TestReportBuilder::tableChangedUnderTheReport()
{
    QFETCH(bool, emptied);
    QFETCH(bool, whilePrinting);
    QFETCH(int, loggedAfter);

    // Once to a PDF file, once to a printer.
    for (const bool toPrinter : {false, true}) {
        LogTable table;
        fillRows(table, 80);
        ReportBuilder report(table);
        const auto change = [&] {
            if (emptied)
                table.clear();
            for (int i = 0; i < loggedAfter; ++i)
                appendRow(table, loggedRow(i + 1, "11:00:00", "DC", "9.999", "V", "pass"));
        };
        if (!whilePrinting)
            change();
        const auto progress = [&](int done, int) {
            if (whilePrinting && done == 1)
                change();
            return true;
        };

        const QString pdf = m_dir.filePath(QStringLiteral("changed-%1-%2.pdf").arg(QTest::currentDataTag()).arg(toPrinter));
        QVERIFY(writeBytes(pdf, "earlier report"));
        bool printed = false;
        if (toPrinter) {
            QPrinter printer;
            ReportBuilder::setUpPrinter(printer);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(pdf);
            printed = report.print(&printer, progress);
        } else {
            printed = report.writePdf(pdf, {}, progress);
        }

        QCOMPARE(report.rowsAvailable(), !emptied);
        QImage page(600, 800, QImage::Format_RGB32);
        QPainter painter(&page);
        QCOMPARE(report.paintPage(painter, 0), !emptied);
        if (emptied) {
            QVERIFY(!printed);
            QVERIFY2(report.errorString().contains("gone"), qPrintable(report.errorString()));
            // No part of a report: a job that never started leaves the file
            // as it was, a printer's job stopped halfway leaves none.
            if (toPrinter && whilePrinting)
                QVERIFY(!QFile::exists(pdf));
            else
                QCOMPARE(fileBytes(pdf), QByteArray("earlier report"));
        } else {
            // The rows of the report's moment, none logged after.
            QVERIFY2(printed, qPrintable(report.errorString()));
            QCOMPARE(report.pageCount(), 3);
            const QList<QStringList> pages = pdfPageLines(pdf);
            QCOMPARE(pages.size(), 3);
            QCOMPARE(pages.last().at(pages.last().size() - 2), expectedLine(80));
            QVERIFY(!pages.last().join(' ').contains("9.999"));
        }
    }
}

QTEST_MAIN(TestReportBuilder)
#include "tst_reportbuilder.moc"
