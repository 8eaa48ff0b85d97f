#include "app/reportpreviewdialog.h"

#include "app/reportpageview.h"
#include "app/toolicons.h"
#include "app/usermessages.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPageRanges>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QScreen>
#include <QSpinBox>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

ReportPreviewDialog::ReportPreviewDialog(ReportBuilder &report, UserMessages &messages, QWidget *parent)
    : QDialog(parent)
    , m_report(report)
    , m_messages(messages)
    , m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setWindowTitle(QStringLiteral("Data Report"));
    // A fresh printer each time, so a page range or copy count chosen for an
    // earlier print does not carry over.
    ReportBuilder::setUpPrinter(*m_printer);

    m_view = new ReportPageView(report, this);
    m_view->setObjectName(QStringLiteral("pageView"));
    m_view->setPageLayout(m_printer->pageLayout());

    auto *bar = new QToolBar(this);
    bar->setObjectName(QStringLiteral("previewToolBar"));
    const auto addAction = [&](const char *name, const QString &text, const QIcon &icon = {}) {
        QAction *action = bar->addAction(icon, text);
        action->setObjectName(QLatin1String(name));
        return action;
    };
    m_firstPage = addAction("firstPageAction", QStringLiteral("First Page"), toolIcon(ToolIcon::FirstPage));
    m_previousPage = addAction("previousPageAction", QStringLiteral("Previous Page"), toolIcon(ToolIcon::PreviousPage));
    m_pageNumber = new QSpinBox(bar);
    m_pageNumber->setObjectName(QStringLiteral("pageNumberBox"));
    // A page number takes effect when it is complete, not digit by digit.
    m_pageNumber->setKeyboardTracking(false);
    m_pageNumber->setAlignment(Qt::AlignRight);
    m_pageNumber->setButtonSymbols(QAbstractSpinBox::NoButtons);
    bar->addWidget(m_pageNumber);
    m_pageCountLabel = new QLabel(bar);
    m_pageCountLabel->setObjectName(QStringLiteral("pageCountLabel"));
    m_pageCountLabel->setContentsMargins(4, 0, 4, 0);
    bar->addWidget(m_pageCountLabel);
    m_nextPage = addAction("nextPageAction", QStringLiteral("Next Page"), toolIcon(ToolIcon::NextPage));
    m_lastPage = addAction("lastPageAction", QStringLiteral("Last Page"), toolIcon(ToolIcon::LastPage));
    bar->addSeparator();
    QAction *fitWidth = addAction("fitWidthAction", QStringLiteral("Fit Width"));
    QAction *fitPage = addAction("fitPageAction", QStringLiteral("Fit Page"));
    auto *zoom = new QActionGroup(this);
    for (QAction *action : {fitWidth, fitPage}) {
        action->setCheckable(true);
        zoom->addAction(action);
    }
    fitWidth->setChecked(true);
    bar->addSeparator();
    m_print = addAction("printAction", QStringLiteral("Print…"), toolIcon(ToolIcon::Print));
    m_savePdf = addAction("savePdfAction", QStringLiteral("Save as PDF…"));
    bar->setIconSize(QSize(20, 20));
    // The page buttons show their pictures, Print its picture and its name.
    if (auto *button = qobject_cast<QToolButton *>(bar->widgetForAction(m_print)))
        button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(m_view, 1);

    connect(m_firstPage, &QAction::triggered, m_view, [this] { m_view->setCurrentPage(0); });
    connect(m_previousPage, &QAction::triggered, m_view, [this] { m_view->setCurrentPage(m_view->currentPage() - 1); });
    connect(m_nextPage, &QAction::triggered, m_view, [this] { m_view->setCurrentPage(m_view->currentPage() + 1); });
    connect(m_lastPage, &QAction::triggered, m_view, [this] { m_view->setCurrentPage(m_view->pageCount() - 1); });
    connect(m_pageNumber, &QSpinBox::valueChanged, m_view, [this](int number) { m_view->setCurrentPage(number - 1); });
    connect(fitWidth, &QAction::triggered, m_view, [this] { m_view->setZoom(ReportPageView::Zoom::FitWidth); });
    connect(fitPage, &QAction::triggered, m_view, [this] { m_view->setZoom(ReportPageView::Zoom::FitPage); });
    connect(m_view, &ReportPageView::currentPageChanged, this, &ReportPreviewDialog::showPageControls);
    connect(m_view, &ReportPageView::pageCountChanged, this, &ReportPreviewDialog::showPageControls);
    connect(m_print, &QAction::triggered, this, &ReportPreviewDialog::print);
    connect(m_savePdf, &QAction::triggered, this, &ReportPreviewDialog::saveAsPdf);
    showPageControls();

    // About an A4 sheet at its width, within the screen.
    QSize size(820, 1000);
    if (const QScreen *s = parent ? parent->screen() : screen())
        size = size.boundedTo(s->availableSize() * 9 / 10);
    resize(size);
    m_view->setFocus();
}

ReportPreviewDialog::~ReportPreviewDialog() = default;

void ReportPreviewDialog::showPageControls()
{
    const int pages = m_view->pageCount();
    const int page = m_view->currentPage();
    const QSignalBlocker quiet(m_pageNumber);
    m_pageNumber->setRange(pages > 0 ? 1 : 0, pages);
    m_pageNumber->setValue(pages > 0 ? page + 1 : 0);
    // Wide enough for the last page's number.
    m_pageNumber->setMinimumWidth(
        m_pageNumber->fontMetrics().horizontalAdvance(QString::number(pages) + QStringLiteral("00")));
    m_pageNumber->setEnabled(pages > 1);
    m_pageCountLabel->setText(QStringLiteral("of %1").arg(pages));
    m_firstPage->setEnabled(page > 0);
    m_previousPage->setEnabled(page > 0);
    m_nextPage->setEnabled(page + 1 < pages);
    m_lastPage->setEnabled(page + 1 < pages);
    m_print->setEnabled(pages > 0);
    m_savePdf->setEnabled(pages > 0);
}

void ReportPreviewDialog::print()
{
    QPrintDialog dialog(m_printer.get(), this);
    dialog.setWindowTitle(QStringLiteral("Print Data Report"));
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage);
    dialog.setMinMax(1, std::max(1, m_view->pageCount()));
    if (dialog.exec() == QDialog::Accepted)
        printTo(*m_printer);
}

void ReportPreviewDialog::saveAsPdf()
{
    QFileDialog dialog(this, QStringLiteral("Save as PDF"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(QStringLiteral("PDF (*.pdf)"));
    dialog.setDefaultSuffix(QStringLiteral("pdf"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    savePdf(dialog.selectedFiles().first());
}

bool ReportPreviewDialog::printTo(QPrinter &printer)
{
    // The print dialog may have chosen another paper or orientation: the
    // preview shows the pages as they are printed, and the current page is
    // one of those.
    m_view->setPageLayout(printer.pageLayout());
    if (printer.printRange() == QPrinter::CurrentPage) {
        QPageRanges current;
        current.addPage(m_view->currentPage() + 1);
        printer.setPageRanges(current);
    }
    QProgressDialog progress(this);
    const bool done = m_report.print(&printer, progressFor(progress, QStringLiteral("Printing page %1 of %2")));
    return finishJob(done, progress.wasCanceled());
}

bool ReportPreviewDialog::savePdf(const QString &fileName)
{
    QProgressDialog progress(this);
    const bool done = m_report.writePdf(fileName, {}, progressFor(progress, QStringLiteral("Writing page %1 of %2")));
    return finishJob(done, progress.wasCanceled());
}

ReportBuilder::Progress ReportPreviewDialog::progressFor(QProgressDialog &progress, const QString &label)
{
    // A short job ends before the dialog shows; a long one keeps the window
    // painting and the meter logging, and the modal dialog keeps the user
    // from emptying the log meanwhile.
    progress.setWindowTitle(windowTitle());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    // Kept at its end rather than reset, so that a Cancel at the last page
    // still counts.
    progress.setAutoReset(false);
    return [&progress, label](int done, int total) {
        progress.setMaximum(total);
        progress.setLabelText(label.arg(done).arg(total));
        progress.setValue(done);
        QCoreApplication::processEvents();
        return !progress.wasCanceled();
    };
}

bool ReportPreviewDialog::finishJob(bool done, bool cancelled)
{
    if (!done && !cancelled)
        m_messages.error(this, m_report.errorString());
    return done;
}
