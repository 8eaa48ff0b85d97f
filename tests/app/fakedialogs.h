#pragma once

#include "app/windowdialogs.h"
#include "log/reportbuilder.h"

#include <QStringList>

// Answers the window's file dialogs from a script and records the reports it
// was asked to preview.
class FakeDialogs : public WindowDialogs
{
public:
    QString saveTableFileName(QWidget *) override { return next(QStringLiteral("save table")); }
    QString openTableFileName(QWidget *) override { return next(QStringLiteral("open table")); }
    QString savePictureFileName(QWidget *) override { return next(QStringLiteral("save picture")); }
    void previewReport(QWidget *, ReportBuilder &report) override
    {
        previewedRows.append(report.rowCount());
        previewedPages.append(report.pageCount());
        if (duringPreview)
            duringPreview();
    }

    QStringList names;   // answers in order; empty: the dialog was cancelled
    QStringList shown;   // the dialogs shown, in order
    QList<int> previewedRows;
    QList<int> previewedPages;
    std::function<void()> duringPreview;

private:
    QString next(const QString &dialog)
    {
        shown << dialog;
        return names.isEmpty() ? QString() : names.takeFirst();
    }
};
