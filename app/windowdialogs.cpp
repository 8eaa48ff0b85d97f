#include "app/windowdialogs.h"

#include "app/messageboxes.h"
#include "app/reportpreviewdialog.h"
#include "log/reportbuilder.h"

#include <QFileDialog>

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
    MessageBoxes messages;
    ReportPreviewDialog preview(report, messages, parent);
    preview.exec();
}
