#pragma once

#include "app/windowdialogs.h"
#include "log/reportbuilder.h"

#include <QStringList>

// Answers the window's file dialogs from a script and records the reports it
// was asked to preview.
class FakeDialogs : public WindowDialogs
{
public:
    QString saveTableFileName(QWidget *, const QString &folder) override { return next(QStringLiteral("save table"), folder); }
    QString openTableFileName(QWidget *, const QString &folder) override { return next(QStringLiteral("open table"), folder); }
    QString savePictureFileName(QWidget *, const QString &folder) override { return next(QStringLiteral("save picture"), folder); }
    QString saveCsvFileName(QWidget *, const QString &folder) override { return next(QStringLiteral("save csv"), folder); }
    std::optional<QString> brokerAddress(QWidget *, const QString &current) override
    {
        shown << QStringLiteral("broker");
        offeredBroker = current;
        return broker;
    }
    int chooseCable(QWidget *, const QStringList &cables) override
    {
        shown << QStringLiteral("choose cable");
        offeredCables = cables;
        return chosenCable;
    }
    void previewReport(QWidget *, ReportBuilder &report) override
    {
        previewedRows.append(report.rowCount());
        previewedPages.append(report.pageCount());
        previewedSummaries.append(report.summary());
        if (duringPreview)
            duringPreview();
    }

    QStringList names;   // answers in order; empty: the dialog was cancelled
    QStringList shown;   // the dialogs shown, in order
    QStringList folders; // the folder each started in
    QStringList offeredCables;
    std::optional<QString> broker;   // cancelled unless a test answers
    QString offeredBroker;
    int chosenCable = -1;   // cancelled unless a test chooses
    QList<int> previewedRows;
    QList<int> previewedPages;
    QList<ReportSummary> previewedSummaries;
    std::function<void()> duringPreview;

private:
    QString next(const QString &dialog, const QString &folder)
    {
        shown << dialog;
        folders << folder;
        return names.isEmpty() ? QString() : names.takeFirst();
    }
};
