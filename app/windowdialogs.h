#pragma once

#include <QString>

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

    // A table file to save; empty when cancelled.
    virtual QString saveTableFileName(QWidget *parent) = 0;
    // A table file to open; empty when cancelled.
    virtual QString openTableFileName(QWidget *parent) = 0;
    // A bitmap file for the chart; empty when cancelled.
    virtual QString savePictureFileName(QWidget *parent) = 0;
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

// The dialogs of the desktop.
class SystemDialogs : public WindowDialogs
{
public:
    QString saveTableFileName(QWidget *parent) override;
    QString openTableFileName(QWidget *parent) override;
    QString savePictureFileName(QWidget *parent) override;
    void previewReport(QWidget *parent, ReportBuilder &report) override;

private:
    QString m_lastOpened;   // the open dialog keeps the name it was last given
};
