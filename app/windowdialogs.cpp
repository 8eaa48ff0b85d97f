#include "app/windowdialogs.h"

#include "app/messageboxes.h"
#include "app/reportpreviewdialog.h"
#include "log/reportbuilder.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QProgressDialog>

#include <algorithm>
#include <memory>

namespace {

QString runDialog(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return dialog.selectedFiles().first();
}

} // namespace

TableFileProgress progressDialogFor(QWidget *parent, const QString &label)
{
    auto dialog = std::make_shared<QProgressDialog>(label, QString(), 0, 1000, parent);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(400);
    dialog->setAutoClose(true);
    return [dialog](double fraction) {
        dialog->setValue(int(std::clamp(fraction, 0.0, 1.0) * 1000));
        QCoreApplication::processEvents();
    };
}

namespace {

// "xml" for "XML(*.xml)": the extension between "*." and the closing
// parenthesis; empty when the filter names none.
QString filterExtension(const QString &nameFilter)
{
    const qsizetype star = nameFilter.indexOf(QLatin1String("*."));
    const qsizetype close = nameFilter.indexOf(u')', star);
    if (star < 0 || close < 0)
        return {};
    return nameFilter.mid(star + 2, close - star - 2);
}

} // namespace

QString tableFileNameFor(const QString &name, const QString &nameFilter)
{
    const QString extension = filterExtension(nameFilter);
    if (name.isEmpty() || !QFileInfo(name).suffix().isEmpty() || extension.isEmpty())
        return name;
    return name + u'.' + extension;
}

void setUpTableSaveDialog(QFileDialog &dialog)
{
    // A fresh dialog every time: its file name starts empty. The first
    // filter is selected; a name typed without extension gets the extension
    // of the type chosen, and with it that type's format (the dialog's own
    // overwrite question then asks about the right file).
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(
        {QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML(*.xml)"), QStringLiteral("Txt File(*.txt)")});
    dialog.setDefaultSuffix(QStringLiteral("xls"));
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog](const QString &filter) { dialog.setDefaultSuffix(filterExtension(filter)); });
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
}

QString SystemDialogs::saveTableFileName(QWidget *parent, const QString &folder)
{
    QFileDialog dialog(parent, QString(), folder);
    setUpTableSaveDialog(dialog);
    // A desktop's own dialog may leave the extension to us.
    return tableFileNameFor(runDialog(dialog), dialog.selectedNameFilter());
}

QString SystemDialogs::openTableFileName(QWidget *parent, const QString &folder)
{
    // A name of a file that does not exist may be typed; the open reports it.
    QFileDialog dialog(parent, QString(), folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(
        {QStringLiteral("Excel File(*.xls)"), QStringLiteral("XML (*.xml)"), QStringLiteral("Txt File(*.txt)")});
    if (!m_lastOpened.isEmpty())
        dialog.selectFile(m_lastOpened);
    const QString name = runDialog(dialog);
    if (!name.isEmpty())
        m_lastOpened = name;
    return name;
}

QString SystemDialogs::savePictureFileName(QWidget *parent, const QString &folder)
{
    QFileDialog dialog(parent, QString(), folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Bitmaps (*.bmp)"));
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    dialog.setSizeGripEnabled(true);
    return runDialog(dialog);
}

QString SystemDialogs::saveCsvFileName(QWidget *parent, const QString &folder)
{
    QFileDialog dialog(parent, QStringLiteral("Export as CSV"), folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("CSV (*.csv)"));
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    return tableFileNameFor(runDialog(dialog), dialog.selectedNameFilter());
}

std::optional<QString> SystemDialogs::brokerAddress(QWidget *parent, const QString &current)
{
    bool accepted = false;
    const QString address =
        QInputDialog::getText(parent, QStringLiteral("Publish to a Broker"),
                              QStringLiteral("Publish every reading to the MQTT broker at\n"
                                             "mqtt://host:port/topic (port and topic may be left out;\n"
                                             "without a topic each meter has its own). Empty: do not publish."),
                              QLineEdit::Normal, current, &accepted);
    if (!accepted)
        return std::nullopt;
    return address.trimmed();
}

int SystemDialogs::chooseCable(QWidget *parent, const QStringList &cables)
{
    bool chosen = false;
    const QString cable = QInputDialog::getItem(parent, QStringLiteral("USB Connection"),
                                                QStringLiteral("Several USB interface cables are plugged in.\n"
                                                               "Read the meter on which one?"),
                                                cables, 0, false, &chosen);
    return chosen ? int(cables.indexOf(cable)) : -1;
}

void SystemDialogs::previewReport(QWidget *parent, ReportBuilder &report)
{
    MessageBoxes messages;
    ReportPreviewDialog preview(report, messages, parent);
    preview.exec();
}
