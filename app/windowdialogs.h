#pragma once

#include "log/tablefiles.h"

#include <QString>
#include <QStringList>

#include <optional>

class QFileDialog;
class QWidget;
class ReportBuilder;

// The window's file dialogs and its print preview. The window asks through
// this interface so that tests choose files and look at the report without a
// modal loop.
class WindowDialogs
{
public:
    virtual ~WindowDialogs() = default;

    // Each file dialog starts in `folder` (the last one used; empty: the
    // desktop's choice) and returns the file chosen, empty when cancelled.
    // A table file to save.
    virtual QString saveTableFileName(QWidget *parent, const QString &folder) = 0;
    // A table file to open.
    virtual QString openTableFileName(QWidget *parent, const QString &folder) = 0;
    // A bitmap file for the chart.
    virtual QString savePictureFileName(QWidget *parent, const QString &folder) = 0;
    // A CSV file to export the log to.
    virtual QString saveCsvFileName(QWidget *parent, const QString &folder) = 0;
    // The broker to publish readings to, as the user writes it
    // ("mqtt://host:port/topic"), starting from `current`; empty turns
    // publishing off; nothing when cancelled.
    virtual std::optional<QString> brokerAddress(QWidget *parent, const QString &current) = 0;
    // Several meter cables are plugged in: the one to read, as an index
    // into `cables` (each "path  name"), or -1 when cancelled.
    virtual int chooseCable(QWidget *parent, const QStringList &cables) = 0;
    // Shows the report in a print preview, from which it prints or goes to a
    // PDF file, and returns once the preview is closed.
    virtual void previewReport(QWidget *parent, ReportBuilder &report) = 0;
};

// `name` with the extension of the file type `nameFilter` ("XML(*.xml)")
// added when it has none: the type chosen in the save dialog decides the
// format of a name typed without extension.
QString tableFileNameFor(const QString &name, const QString &nameFilter);

// The save dialog of the log: its file types, and the extension of the type
// chosen for a name typed without one.
void setUpTableSaveDialog(QFileDialog &dialog);

// A long save or open shows how far it has come and keeps the window
// painting and the meter logging; the dialog is modal, so Clear or a second
// file command cannot start meanwhile.
TableFileProgress progressDialogFor(QWidget *parent, const QString &label);

// The dialogs of the desktop.
class SystemDialogs : public WindowDialogs
{
public:
    QString saveTableFileName(QWidget *parent, const QString &folder) override;
    QString openTableFileName(QWidget *parent, const QString &folder) override;
    QString savePictureFileName(QWidget *parent, const QString &folder) override;
    QString saveCsvFileName(QWidget *parent, const QString &folder) override;
    std::optional<QString> brokerAddress(QWidget *parent, const QString &current) override;
    int chooseCable(QWidget *parent, const QStringList &cables) override;
    void previewReport(QWidget *parent, ReportBuilder &report) override;

private:
    QString m_lastOpened; // the open dialog keeps the name it was last given
};
