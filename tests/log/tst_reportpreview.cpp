#include "log/logfixtures.h"
#include "log/logtable.h"
#include "log/reportbuilder.h"

#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

// The report driven through Qt's print preview as the window shows it.
class TestReportPreview : public QObject
{
    Q_OBJECT

private slots:
    void previewAndPrint();
};

namespace {

LogRows loggedRows(int count, const QString &value)
{
    LogRows rows;
    for (int i = 1; i <= count; ++i)
        rows.append(loggedRow(i, "10:00:00", "DC", value, "V", "pass"));
    return rows;
}

QString runTool(const QString &tool, const QStringList &args)
{
    QProcess process;
    process.start(tool, args);
    process.waitForFinished(60000);
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace

void TestReportPreview::previewAndPrint()
{
    LogTable table;
    fillTable(table, loggedRows(80, "1.000"));
    ReportBuilder report(table); // what the print command makes when it starts

    QPrinter printer(QPrinter::HighResolution);
    ReportBuilder::setUpPrinter(printer);
    QPrintPreviewDialog dialog(&printer);
    int paints = 0;
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter *target) {
        ++paints;
        QVERIFY2(report.print(target), qPrintable(report.errorString()));
    });
    dialog.show();
    auto *preview = dialog.findChild<QPrintPreviewWidget *>();
    QVERIFY(preview);
    QCOMPARE(paints, 1);
    QCOMPARE(preview->pageCount(), 3);

    // Logging goes on while the preview is open: the report keeps the rows
    // it started with.
    fillTable(table, loggedRows(80, "2.000"));
    preview->updatePreview();
    QCOMPARE(preview->pageCount(), 3);

    // Turned to landscape in the preview, a page holds 23 lines.
    preview->setLandscapeOrientation();
    preview->updatePreview();
    QCOMPARE(preview->pageCount(), 4);

    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is needed to read the printed file");
    // Print goes through the same handler to the printer, here a PDF file.
    QTemporaryDir dir;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath("printed.pdf"));
    preview->print();
    const QString info = runTool("pdfinfo", {printer.outputFileName()});
    QVERIFY2(info.contains(QRegularExpression("Pages:\\s+4\\n")), qPrintable(info));
    QVERIFY2(info.contains(QRegularExpression("Page size:\\s+842 x 595 pts")), qPrintable(info));
    const QString text = runTool("pdftotext", {"-layout", printer.outputFileName(), "-"});
    QCOMPARE(text.count("1.000"), 80);
    QVERIFY(!text.contains("2.000"));
}

QTEST_MAIN(TestReportPreview)
#include "tst_reportpreview.moc"
