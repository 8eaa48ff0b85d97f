#include "app/chartcontrols.h"

#include "app/usermessages.h"
#include "app/windowdialogs.h"
#include "chart/chartpager.h"
#include "chart/charttoolbar.h"
#include "log/logtable.h"
#include "session/metersession.h"
#include "shared/localenumber.h"

#include "ui_mainwindow.h"

#include <QFileInfo>
#include <QShortcut>

#include <utility>

ChartControls::ChartControls(Ui::MainWindow &ui, QWidget &window, MeterSession &session, UserMessages &messages,
                             WindowDialogs &dialogs)
    : m_ui(ui)
    , m_window(window)
    , m_session(session)
    , m_messages(messages)
    , m_dialogs(dialogs)
    // The pager leaves the chart with its placeholder point at position 0,
    // left of page 1, so the first logged value lands at position 1.
    , m_pager(std::make_unique<ChartPager>(*ui.chart, DefaultPageSize))
{
    setFill(true); // the Fill box starts ticked
    m_pageSizeTimer.setInterval(1000);
    m_ui.pageSizeEdit->setRange(SmallestPageSize, LargestPageSize);
    m_ui.pageSizeEdit->setValueInForce(m_pager->pageSize());

    connect(ui.fillCheck, &QCheckBox::toggled, this, &ChartControls::setFill);
    connect(ui.firstPageButton, &QToolButton::clicked, this, &ChartControls::showFirstPage);
    connect(ui.previousPageButton, &QToolButton::clicked, this, &ChartControls::showPreviousPage);
    connect(ui.nextPageButton, &QToolButton::clicked, this, &ChartControls::showNextPage);
    connect(ui.lastPageButton, &QToolButton::clicked, this, &ChartControls::showLastPage);
    // A new page size is applied a second after the last change to its edit.
    connect(ui.pageSizeEdit, &QLineEdit::textChanged, this, &ChartControls::applyPageSizeSoon);
    connect(&m_pageSizeTimer, &QTimer::timeout, this, &ChartControls::applyPageSize);
    connect(ui.saveChartButton, &QToolButton::clicked, this, &ChartControls::saveChartPicture);
    connect(ui.enlargeChartButton, &QToolButton::clicked, this, &ChartControls::enlargeChart);
    connect(ui.restoreChartButton, &QToolButton::clicked, this, &ChartControls::restoreChart);

    // The page keys turn the chart's pages once the chart has the focus (a
    // click or Tab), so they never steal them from the grid or an edit.
    ui.chart->setFocusPolicy(Qt::StrongFocus);
    const std::pair<QKeySequence, void (ChartControls::*)()> pageKeys[] = {
        {QKeySequence(Qt::Key_PageUp), &ChartControls::showPreviousPage},
        {QKeySequence(Qt::Key_PageDown), &ChartControls::showNextPage},
        {QKeySequence(Qt::Key_Home), &ChartControls::showFirstPage},
        {QKeySequence(Qt::Key_End), &ChartControls::showLastPage},
    };
    for (const auto &[key, turn] : pageKeys) {
        auto *shortcut = new QShortcut(key, ui.chart, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
        connect(shortcut, &QShortcut::activated, this, turn);
    }
    showPageNumber();
}

ChartControls::~ChartControls() = default;

void ChartControls::addPoint(double value)
{
    m_pager->addPoint(value);
    showPageNumber();
}

void ChartControls::redrawFromLog()
{
    // The chart draws the values of the rows, whichever locale wrote them;
    // a value that is not a number (an over-range display) draws at zero.
    const LogTable &log = m_session.log();
    const int valueField = int(LogField::Value);
    m_pager->reset();
    for (int row = 0; row < log.rowCount(); ++row)
        m_pager->addPoint(parseLoggedValue(log.text(row, valueField), m_session.decimalSeparator()).value_or(0));
    showPageNumber();
}

void ChartControls::reset()
{
    m_pager->reset();
    showPageNumber();
}

void ChartControls::setFill(bool fill)
{
    m_ui.chart->showSeries(fill ? ChartView::AreaSeries : ChartView::LineSeries);
}

bool ChartControls::fills() const
{
    return m_ui.chart->shownSeries() == ChartView::AreaSeries;
}

void ChartControls::showPageNumber()
{
    // "3 of 12"; a count too long for the button is shortened there and
    // read whole in its tooltip.
    QToolButton *button = m_ui.pageNumberButton;
    const QString text = QStringLiteral("%1 of %2").arg(m_pager->currentPage()).arg(m_pager->pageCount());
    const QFontMetrics metrics(button->font());
    const int room = button->width() - 6;
    const bool fits = metrics.horizontalAdvance(text) <= room;
    button->setText(fits ? text : metrics.elidedText(text, Qt::ElideMiddle, room));
    const QString tip = fits ? QStringLiteral("Page No.") : QStringLiteral("Page No. %1").arg(text);
    button->setToolTip(tip);
    button->setStatusTip(tip);
}

void ChartControls::turnPage(void (ChartPager::*turn)())
{
    ((*m_pager).*turn)();
    showPageNumber();
}

void ChartControls::showFirstPage()
{
    turnPage(&ChartPager::showFirstPage);
}
void ChartControls::showPreviousPage()
{
    turnPage(&ChartPager::showPreviousPage);
}
void ChartControls::showNextPage()
{
    turnPage(&ChartPager::showNextPage);
}
void ChartControls::showLastPage()
{
    turnPage(&ChartPager::showLastPage);
}

void ChartControls::applyPageSizeSoon()
{
    m_pageSizeTimer.start();
}

void ChartControls::applyPageSize()
{
    m_pageSizeTimer.stop();
    WholeNumberEdit *edit = m_ui.pageSizeEdit;
    const PageSizeChange change = pageSizeChangeFor(edit->text());
    if (change.action == PageSizeChange::Action::Apply)
        m_pager->setPageSize(change.size);
    edit->setValueInForce(m_pager->pageSize());
    // A size the pager cannot take (0) is not left looking applied; an empty
    // edit waits for the number being typed.
    if (change.action != PageSizeChange::Action::Apply && !edit->text().isEmpty()) {
        edit->showValueInForce();
        m_pageSizeTimer.stop();
    }
    showPageNumber();
}

void ChartControls::enlargeChart()
{
    m_ui.enlargeChartButton->hide();
    m_ui.restoreChartButton->show();
    m_restoredChart = m_ui.chart->geometry();
    m_restoredToolbar = m_ui.chartToolbar->pos();
    const ChartPlacement placement = enlargedChartPlacement(m_window.frameGeometry().size());
    m_ui.chart->setGeometry(placement.chart);
    m_ui.chartToolbar->move(placement.toolbar);
    m_enlarged = true;
    m_ui.chart->raise();
    m_ui.chartToolbar->raise();
    // Whatever the enlarged chart does not cover entirely goes too, or its
    // edge would show beside the chart.
    for (QWidget *covered : coveredByEnlargedChart())
        covered->hide();
}

void ChartControls::restoreChart()
{
    m_ui.restoreChartButton->hide();
    m_ui.enlargeChartButton->show();
    m_enlarged = false;
    const ChartPlacement placement = restoredChartPlacement(m_restoredChart, m_restoredToolbar);
    m_ui.chart->setGeometry(placement.chart);
    m_ui.chartToolbar->move(placement.toolbar);
    for (QWidget *covered : coveredByEnlargedChart())
        covered->show();
    emit chartRestored();
}

void ChartControls::setChartPlace(const QRect &place)
{
    m_restoredChart = place;
    m_ui.chart->setGeometry(m_enlarged ? enlargedChartPlacement(m_window.frameGeometry().size()).chart : place);
}

QList<QWidget *> ChartControls::coveredByEnlargedChart() const
{
    return {m_ui.logControls, m_ui.limitsPanel, m_ui.topBar,          m_ui.logGrid,
            m_ui.lcdPanel,    m_ui.barGraph,    m_ui.recordLimitLabel};
}

void ChartControls::saveChartPicture()
{
    const QString name = m_dialogs.savePictureFileName(&m_window, m_pictureFolder);
    if (name.isEmpty())
        return;
    m_pictureFolder = QFileInfo(name).absolutePath();
    saveChartPictureFile(name);
}

void ChartControls::saveChartPictureFile(const QString &fileName)
{
    if (m_ui.chart->saveBitmap(fileName))
        m_messages.information(&m_window, QStringLiteral("Graphic has saved on %1").arg(fileName));
    else
        m_messages.error(&m_window, m_ui.chart->errorString());
}
