#pragma once

#include "log/reportbuilder.h"

#include <QDialog>

#include <memory>

class QAction;
class QLabel;
class QPrinter;
class QProgressDialog;
class QSpinBox;
class ReportPageView;
class UserMessages;

// The print preview of the Data Report: one page at a time, drawn when it is
// shown, so it opens at once for a log of any size (Qt's own preview draws
// every page before it shows the first). Turns pages, fits the page to the
// width or to the window, prints through the print dialog and saves a PDF
// file; both stream the pages one by one under a progress dialog that can
// cancel.
class ReportPreviewDialog : public QDialog
{
    Q_OBJECT

public:
    ReportPreviewDialog(ReportBuilder &report, UserMessages &messages, QWidget *parent = nullptr);
    ~ReportPreviewDialog() override;

    ReportPageView &pageView() { return *m_view; }
    // The printer the Print button sets up and prints to: the report's own
    // settings to begin with, then whatever the print dialog chose.
    QPrinter &printer() { return *m_printer; }

    // What Print… and Save as PDF… do once their dialogs have answered. True
    // when the whole job was done; a failure has been shown to the user, a
    // cancelled job is simply not done.
    bool printTo(QPrinter &printer);
    bool savePdf(const QString &fileName);

private:
    void print();
    void saveAsPdf();
    void showPageControls();
    ReportBuilder::Progress progressFor(QProgressDialog &progress, const QString &label);
    bool finishJob(bool done, bool cancelled);

    ReportBuilder &m_report;
    UserMessages &m_messages;
    std::unique_ptr<QPrinter> m_printer;
    ReportPageView *m_view = nullptr;
    QAction *m_firstPage = nullptr;
    QAction *m_previousPage = nullptr;
    QAction *m_nextPage = nullptr;
    QAction *m_lastPage = nullptr;
    QSpinBox *m_pageNumber = nullptr;
    QLabel *m_pageCountLabel = nullptr;
    QAction *m_print = nullptr;
    QAction *m_savePdf = nullptr;
};
