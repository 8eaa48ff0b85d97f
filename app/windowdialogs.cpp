#include "app/windowdialogs.h"

#include "log/reportbuilder.h"

#include <QFileDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace {

QString runDialog(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

QString SystemDialogs::saveTableFileName(QWidget *parent)
{
    // A fresh dialog every time: its file name starts empty. The first
    // filter is selected; a name without extension gets ".xls".
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML(*.xml)"),
                           QStringLiteral("Txt File(*.txt)")});
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    return runDialog(dialog);
}

QString SystemDialogs::openTableFileName(QWidget *parent)
{
    // A name of a file that does not exist may be typed; the open reports it.
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML (*.xml)"),
                           QStringLiteral("Txt File(*.txt)")});
    if (!m_lastOpened.isEmpty())
        dialog.selectFile(m_lastOpened);
    const QString name = runDialog(dialog);
    if (!name.isEmpty())
        m_lastOpened = name;
    return name;
}

QString SystemDialogs::savePictureFileName(QWidget *parent)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Bitmaps (*.bmp)"));
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    return runDialog(dialog);
}

void SystemDialogs::previewReport(QWidget *parent, ReportBuilder &report)
{
    // A fresh printer each time, so a page range or copy count chosen for an
    // earlier print does not carry over.
    QPrinter printer(QPrinter::HighResolution);
    ReportBuilder::setUpPrinter(printer);
    QPrintPreviewDialog preview(&printer, parent);
    preview.setWindowTitle(QStringLiteral("Data Report"));
    QObject::connect(&preview, &QPrintPreviewDialog::paintRequested, &preview,
                     [&report](QPrinter *p) { report.print(p); });
    preview.exec();
}
