#include "app/reportpageview.h"
#include "app/reportpreviewdialog.h"
#include "fakemessages.h"
#include "log/logfixtures.h"
#include "log/logtable.h"
#include "log/reportbuilder.h"

#include <QAction>
#include <QLabel>
#include <QPageRanges>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QScrollBar>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

// The print preview the window shows: turning pages, fitting the page, and
// printing or saving the report from it.
class TestReportPreviewDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void navigation_data();
    void navigation();
    void zoom();
    void wheel();
    void emptyTable();
    void print_data();
    void print();
    void printCancelled();
    void printLandscape();
    void savePdf_data();
    void savePdf();
    void rowsLoggedWhileOpen();
    void tableEmptiedWhileOpen();

private:
    QTemporaryDir m_dir;
};

namespace {

void fillRows(LogTable &table, int count, const QString &value = QStringLiteral("1.000"))
{
    table.beginBulk();
    const int first = table.rowCount() + 1;
    for (int n = first; n < first + count; ++n)
        appendRow(table, loggedRow(n, "10:00:00", "DC", value, "V", "pass"), false);
    table.endBulk();
}

QString runTool(const QString &tool, const QStringList &args)
{
    QProcess process;
    process.start(tool, args);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The number of the first row on each page of a PDF file.
QList<int> firstRowOfEachPage(const QString &pdf)
{
    QList<int> firsts;
    QStringList pages = runTool("pdftotext", {"-layout", pdf, "-"}).split(QLatin1Char('\f'));
    pages.removeLast();
    for (const QString &page : pages) {
        QStringList lines;
        for (const QString &line : page.split(QLatin1Char('\n'))) {
            if (!line.trimmed().isEmpty())
                lines.append(line.simplified());
        }
        firsts.append(lines.size() > 2 ? lines.at(2).section(' ', 0, 0).toInt() : 0);
    }
    return firsts;
}

// A printer that writes a PDF file, as "Print to File" does.
void setUpFilePrinter(QPrinter &printer, const QString &fileName)
{
    ReportBuilder::setUpPrinter(printer);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(fileName);
}

struct PreviewState
{
    int page;            // shown, from 1
    int boxValue;
    QString countText;
    QList<bool> enabled; // first, previous, next, last
};

PreviewState stateOf(ReportPreviewDialog &dialog)
{
    const auto enabled = [&](const char *name) { return dialog.findChild<QAction *>(name)->isEnabled(); };
    return {dialog.pageView().currentPage() + 1, dialog.findChild<QSpinBox *>("pageNumberBox")->value(),
            dialog.findChild<QLabel *>("pageCountLabel")->text(),
            {enabled("firstPageAction"), enabled("previousPageAction"), enabled("nextPageAction"),
             enabled("lastPageAction")}};
}

// Turns the mouse wheel over the page: negative eighths of a degree roll
// down, 120 is one notch.
void roll(ReportPageView &view, int eighths)
{
    const QPointF centre = QRectF(view.viewport()->rect()).center();
    QWheelEvent event(centre, view.viewport()->mapToGlobal(centre), QPoint(), QPoint(0, eighths), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(view.viewport(), &event);
}

// Cancels the job's progress dialog as soon as the job lets events through.
void cancelOnFirstPage(QWidget *owner)
{
    QTimer::singleShot(0, owner, [owner] {
        if (auto *progress = owner->findChild<QProgressDialog *>())
            progress->cancel();
    });
}

} // namespace

void TestReportPreviewDialog::initTestCase()
{
    QVERIFY(m_dir.isValid());
}

void TestReportPreviewDialog::navigation_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QStringList>("steps"); // an action's name, "type N" in the page box, or "key K" on the page
    QTest::addColumn<int>("page");           // then shown, from 1

    // 120 rows: four pages.
    QTest::newRow("opens on the first page") << 120 << QStringList{} << 1;
    QTest::newRow("next, next") << 120 << QStringList{"nextPageAction", "nextPageAction"} << 3;
    QTest::newRow("next stops at the last page") << 120 << QStringList(5, "nextPageAction") << 4;
    QTest::newRow("previous stops at the first page") << 120 << QStringList{"previousPageAction"} << 1;
    QTest::newRow("last, previous") << 120 << QStringList{"lastPageAction", "previousPageAction"} << 3;
    QTest::newRow("last, first") << 120 << QStringList{"lastPageAction", "firstPageAction"} << 1;
    QTest::newRow("page number typed") << 120 << QStringList{"type 3"} << 3;
    QTest::newRow("Page Down on the page") << 120 << QStringList{"key PgDown", "key PgDown"} << 3;
    QTest::newRow("End, Page Up on the page") << 120 << QStringList{"key End", "key PgUp"} << 3;
    QTest::newRow("End, Home on the page") << 120 << QStringList{"key End", "key Home"} << 1;
    QTest::newRow("one page: nowhere to go") << 37 << QStringList{"nextPageAction", "lastPageAction"} << 1;
    // 200 000 rows: 5406 pages.
    QTest::newRow("large report, last page") << 200000 << QStringList{"lastPageAction"} << 5406;
    QTest::newRow("large report, page typed") << 200000 << QStringList{"type 4321"} << 4321;
}

void TestReportPreviewDialog::navigation()
{
    QFETCH(int, rows);
    QFETCH(QStringList, steps);
    QFETCH(int, page);

    LogTable table;
    fillRows(table, rows);
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    const int pages = report.pageCount();
    for (const QString &step : steps) {
        if (step.startsWith("type ")) {
            auto *box = dialog.findChild<QSpinBox *>("pageNumberBox");
            box->setFocus();
            box->selectAll();
            QTest::keyClicks(box, step.mid(5));
            QCOMPARE(dialog.pageView().currentPage(), 0); // not digit by digit
            QTest::keyClick(box, Qt::Key_Return);
        } else if (step.startsWith("key ")) {
            const QHash<QString, Qt::Key> keys{
                {"PgDown", Qt::Key_PageDown}, {"PgUp", Qt::Key_PageUp}, {"Home", Qt::Key_Home}, {"End", Qt::Key_End}};
            QTest::keyClick(&dialog.pageView(), keys.value(step.mid(4)));
        } else {
            dialog.findChild<QAction *>(step)->trigger();
        }
    }

    const PreviewState state = stateOf(dialog);
    QCOMPARE(state.page, page);
    QCOMPARE(state.boxValue, page);
    QCOMPARE(state.countText, QStringLiteral("of %1").arg(pages));
    QCOMPARE(state.enabled, (QList<bool>{page > 1, page > 1, page < pages, page < pages}));
}

void TestReportPreviewDialog::zoom()
{
    LogTable table;
    fillRows(table, 120);
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    dialog.resize(700, 600);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    ReportPageView &view = dialog.pageView();
    const QRect viewport = view.viewport()->rect();
    const qreal sheetRatio = 297.0 / 210.0;

    // Fitting the width: the sheet spans the view and scrolls.
    QCOMPARE(view.zoom(), ReportPageView::Zoom::FitWidth);
    QRectF sheet = view.sheetRect();
    QVERIFY2(qAbs(sheet.width() - (viewport.width() - 24)) < 1, qPrintable(QString::number(sheet.width())));
    QVERIFY(qAbs(sheet.height() / sheet.width() - sheetRatio) < 0.01);
    QVERIFY(sheet.height() > viewport.height());
    QScrollBar *bar = view.verticalScrollBar();
    QVERIFY(bar->maximum() > 0);
    bar->setValue(bar->maximum());
    QVERIFY(view.sheetRect().bottom() <= viewport.bottom() + 1);
    QVERIFY(view.sheetRect().bottom() > viewport.bottom() - 24);
    // A new page shows from its top.
    dialog.findChild<QAction *>("nextPageAction")->trigger();
    QCOMPARE(bar->value(), 0);

    // Fitting the page: all of the sheet in view, centred.
    dialog.findChild<QAction *>("fitPageAction")->trigger();
    QCOMPARE(view.zoom(), ReportPageView::Zoom::FitPage);
    sheet = view.sheetRect();
    const QRect fitViewport = view.viewport()->rect();
    QVERIFY(QRectF(fitViewport).contains(sheet));
    QVERIFY(qAbs(sheet.height() - (fitViewport.height() - 24)) < 1);
    QVERIFY(qAbs(sheet.center().x() - QRectF(fitViewport).center().x()) < 0.5);
    QCOMPARE(view.currentPage(), 1);

    dialog.findChild<QAction *>("fitWidthAction")->trigger();
    QCOMPARE(view.zoom(), ReportPageView::Zoom::FitWidth);
    QVERIFY(view.sheetRect().height() > view.viewport()->height());
}

void TestReportPreviewDialog::wheel()
{
    LogTable table;
    fillRows(table, 120);
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    dialog.resize(700, 600);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    ReportPageView &view = dialog.pageView();
    QScrollBar *bar = view.verticalScrollBar();

    // Fitting the width, the wheel scrolls the page; rolled on past its
    // bottom, the next page shows from its top, and past the top of that the
    // previous one from its bottom.
    roll(view, -120);
    QCOMPARE(view.currentPage(), 0);
    QVERIFY(bar->value() > 0);
    bar->setValue(bar->maximum());
    roll(view, -120);
    QCOMPARE(view.currentPage(), 1);
    QCOMPARE(bar->value(), 0);
    roll(view, 120);
    QCOMPARE(view.currentPage(), 0);
    QCOMPARE(bar->value(), bar->maximum());

    // Fitting the page there is nothing to scroll: a notch turns a page, and
    // a touchpad's small steps turn one once they add up to a notch.
    dialog.findChild<QAction *>("fitPageAction")->trigger();
    roll(view, -120);
    QCOMPARE(view.currentPage(), 1);
    roll(view, -60);
    QCOMPARE(view.currentPage(), 1);
    roll(view, -60);
    QCOMPARE(view.currentPage(), 2);
    roll(view, -120);
    roll(view, -120);
    QCOMPARE(view.currentPage(), 3);
    roll(view, 120);
    QCOMPARE(view.currentPage(), 2);
    QCOMPARE(dialog.findChild<QSpinBox *>("pageNumberBox")->value(), 3);
}

void TestReportPreviewDialog::emptyTable()
{
    LogTable table;
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.pageView().viewport()->grab();

    const PreviewState state = stateOf(dialog);
    QCOMPARE(state.countText, QStringLiteral("of 0"));
    QCOMPARE(state.enabled, (QList<bool>{false, false, false, false}));
    QVERIFY(!dialog.findChild<QAction *>("printAction")->isEnabled());
    QVERIFY(!dialog.findChild<QAction *>("savePdfAction")->isEnabled());
}

void TestReportPreviewDialog::print_data()
{
    QTest::addColumn<int>("printRange"); // QPrinter::PrintRange, as the print dialog leaves it
    QTest::addColumn<QString>("pages");   // the dialog's range
    QTest::addColumn<int>("shownPage");   // in the preview, from 1
    QTest::addColumn<QList<int>>("firstRows");

    // 120 rows: pages start with rows 1, 38, 75 and 112.
    QTest::newRow("all pages") << int(QPrinter::AllPages) << "" << 2 << QList<int>{1, 38, 75, 112};
    QTest::newRow("pages 2 to 3") << int(QPrinter::PageRange) << "2-3" << 1 << QList<int>{38, 75};
    QTest::newRow("pages 3 to 9") << int(QPrinter::PageRange) << "3-9" << 1 << QList<int>{75, 112};
    QTest::newRow("current page") << int(QPrinter::CurrentPage) << "" << 3 << QList<int>{75};
    QTest::newRow("current page, an old range left") << int(QPrinter::CurrentPage) << "1-2" << 4 << QList<int>{112};
}

void TestReportPreviewDialog::print()
{
    QFETCH(int, printRange);
    QFETCH(QString, pages);
    QFETCH(int, shownPage);
    QFETCH(QList<int>, firstRows);
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the printed file");

    LogTable table;
    fillRows(table, 120);
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    dialog.pageView().setCurrentPage(shownPage - 1);

    QPrinter printer;
    setUpFilePrinter(printer, m_dir.filePath(QStringLiteral("print-%1.pdf").arg(QTest::currentDataTag())));
    printer.setPageRanges(QPageRanges::fromString(pages));
    printer.setPrintRange(QPrinter::PrintRange(printRange));
    QVERIFY(dialog.printTo(printer));
    QCOMPARE(messages.shown, QStringList());
    QCOMPARE(firstRowOfEachPage(printer.outputFileName()), firstRows);
}

void TestReportPreviewDialog::printCancelled()
{
    LogTable table;
    fillRows(table, 120);
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    QPrinter printer;
    setUpFilePrinter(printer, m_dir.filePath("print-cancelled.pdf"));

    cancelOnFirstPage(&dialog);
    QVERIFY(!dialog.printTo(printer));
    // Cancel is the user's choice, not a failure to report; no half report is left.
    QCOMPARE(messages.shown, QStringList());
    QVERIFY(!QFile::exists(printer.outputFileName()));
    QVERIFY(report.errorString().contains("cancelled"));
}

void TestReportPreviewDialog::printLandscape()
{
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty())
        QSKIP("pdfinfo (poppler-utils) is needed to read the printed file");
    LogTable table;
    fillRows(table, 80);
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    QCOMPARE(dialog.pageView().pageCount(), 3);

    // Turned to landscape in the print dialog, a page holds 23 lines, and the
    // preview shows the pages as they were printed.
    QPrinter &printer = dialog.printer();
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath("landscape.pdf"));
    printer.setPageOrientation(QPageLayout::Landscape);
    QVERIFY(dialog.printTo(printer));
    const QString info = runTool("pdfinfo", {printer.outputFileName()});
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+4\\n")), qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression("Page size:\\s+842 x 595 pts")), qPrintable(info));
    QCOMPARE(dialog.pageView().pageCount(), 4);
    QCOMPARE(dialog.findChild<QLabel *>("pageCountLabel")->text(), QStringLiteral("of 4"));
}

void TestReportPreviewDialog::savePdf_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("saved");
    QTest::addColumn<QString>("message");

    QTest::newRow("saved") << "saved.pdf" << false << true << "";
    QTest::newRow("cancelled, earlier file kept") << "kept.pdf" << true << false << "";
    QTest::newRow("folder missing") << "missing/report.pdf" << false << false << "error: Could not write";
}

void TestReportPreviewDialog::savePdf()
{
    QFETCH(QString, target);
    QFETCH(bool, cancel);
    QFETCH(bool, saved);
    QFETCH(QString, message);

    LogTable table;
    fillRows(table, 120);
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    const QString path = m_dir.filePath(target);
    writeBytes(path, "earlier report");

    if (cancel)
        cancelOnFirstPage(&dialog);
    QCOMPARE(dialog.savePdf(path), saved);
    if (message.isEmpty()) {
        QCOMPARE(messages.shown, QStringList());
    } else {
        QCOMPARE(messages.shown.size(), 1);
        QVERIFY2(messages.shown.first().startsWith(message), qPrintable(messages.shown.first()));
    }
    if (saved)
        QVERIFY(fileBytes(path).startsWith("%PDF"));
    else if (QFile::exists(QFileInfo(path).path()))
        QCOMPARE(fileBytes(path), QByteArray("earlier report"));
}

void TestReportPreviewDialog::rowsLoggedWhileOpen()
{
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the printed file");
    LogTable table;
    fillRows(table, 80, "1.000");
    ReportBuilder report(table); // as the print command makes it when it starts
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // Logging goes on while the preview is open: the report keeps the rows
    // it started with.
    fillRows(table, 80, "2.000");
    dialog.findChild<QAction *>("lastPageAction")->trigger();
    dialog.pageView().viewport()->grab();
    QCOMPARE(dialog.pageView().pageCount(), 3);
    QPrinter printer;
    setUpFilePrinter(printer, m_dir.filePath("logged-while-open.pdf"));
    QVERIFY(dialog.printTo(printer));
    const QString text = runTool("pdftotext", {"-layout", printer.outputFileName(), "-"});
    QCOMPARE(text.count("1.000"), 80);
    QVERIFY(!text.contains("2.000"));
}

void TestReportPreviewDialog::tableEmptiedWhileOpen()
{
    LogTable table;
    fillRows(table, 80);
    ReportBuilder report(table);
    FakeMessages messages;
    ReportPreviewDialog dialog(report, messages);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));

    // The rows are gone: the page says so instead of reading freed rows, and
    // printing or saving reports why it cannot.
    table.clear();
    fillRows(table, 5);
    dialog.findChild<QAction *>("nextPageAction")->trigger();
    dialog.pageView().viewport()->grab();
    QPrinter printer;
    const QString pdf = m_dir.filePath("emptied.pdf");
    setUpFilePrinter(printer, pdf);
    QVERIFY(!dialog.printTo(printer));
    QVERIFY(!dialog.savePdf(pdf));
    QCOMPARE(messages.shown.size(), 2);
    for (const QString &shown : messages.shown)
        QVERIFY2(shown.startsWith("error: The rows of this report are gone"), qPrintable(shown));
    QVERIFY(!QFile::exists(pdf));
}

QTEST_MAIN(TestReportPreviewDialog)
#include "tst_reportpreviewdialog.moc"
