#include "app/mainwindow.h"

#include "app/cachedpanelstyle.h"
#include "app/designlook.h"
#include "app/limitedit.h"
#include "app/logcolumntexts.h"
#include "app/linkmessages.h"
#include "app/messageboxes.h"
#include "app/wholenumberedit.h"
#include "app/windowcaption.h"
#include "chart/chartpager.h"
#include "chart/charttoolbar.h"
#include "log/abandonedjournal.h"
#include "log/logjournal.h"
#include "log/logmodel.h"
#include "log/reportbuilder.h"
#include "meter/lcdlayout.h"
#include "meter/localenumber.h"
#include "session/metersession.h"
#include "transport/comportnames.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"
#include "transport/usblink.h"

#include "ui_mainwindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QCoreApplication>
#include <QHeaderView>
#include <QProgressDialog>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QString PassText = QStringLiteral("pass");
const QString FailText = QStringLiteral("Fail");

} // namespace

WindowServices systemWindowServices()
{
    WindowServices services;
    services.locale = createSystemLocaleInfo();
    services.messages = std::make_unique<MessageBoxes>();
    services.dialogs = std::make_unique<SystemDialogs>();
    services.serialBackend = createSerialBackend();
    services.hidBackend = createHidBackend();
    services.machine = nativeMachine();
    services.dataFolder = LogJournal::defaultFolder();
    services.settingsFile = WindowSettings::defaultFile();
    return services;
}

MainWindow::MainWindow(WindowServices services, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::MainWindow>())
    , m_locale(std::move(services.locale))
    , m_messages(std::move(services.messages))
    , m_dialogs(services.dialogs ? std::move(services.dialogs) : std::make_unique<SystemDialogs>())
    , m_session(std::make_unique<MeterSession>(*m_locale, std::move(services.serialBackend),
                                               services.hidBackend ? std::move(services.hidBackend) : createHidBackend()))
{
    DesignLook::prepare(*this);
    m_ui->setupUi(this);
    // The value display repaints at every reading; its panel is copied.
    auto *valueStyle = new CachedPanelStyle;
    valueStyle->setParent(m_ui->valueDisplay);
    m_ui->valueDisplay->setStyle(valueStyle);
    DesignLook::apply(*this, *m_ui);
    m_gridPlace = m_ui->logGrid->geometry();
    setupLogGrid();

    // The pager leaves the chart with its placeholder point at position 0,
    // left of page 1, so the first logged value lands at position 1.
    m_chartPager = std::make_unique<ChartPager>(*m_ui->chart, ChartPageSize);
    setFill(true);   // the Fill box starts ticked
    m_ui->chart->setVerticalAxis(m_session->lastResult().axisMaximum, m_session->lastResult().axisMinimum);

    showDecimalSeparator();
    m_ui->highLimitEdit->setLastValidText(QString::fromLatin1(MeterSession::DefaultHighLimit));
    m_ui->lowLimitEdit->setLastValidText(QString::fromLatin1(MeterSession::DefaultLowLimit));
    setWindowTitle(QString::fromLatin1(ProgramCaption) + captionSuffix(services.machine));
    m_dataFolder = services.dataFolder;

    // A pulled cable or adapter that comes back is taken up again, as the
    // Connection menu's item starts ticked.
    m_session->setReconnect(true);
    m_pageSizeTimer.setInterval(1000);
    m_ui->samplingIntervalEdit->setRange(1, ReadingLogger::LongestSamplingSeconds);
    m_ui->samplingIntervalEdit->setValueInForce(m_session->samplingInterval() / 1000);
    m_ui->pageSizeEdit->setRange(SmallestPageSize, LargestPageSize);
    m_ui->pageSizeEdit->setValueInForce(m_chartPager->pageSize());
    setupConnections();
    // The settings of the last run, through the same handlers as the clicks.
    m_settingsFile = services.settingsFile;
    if (!m_settingsFile.isEmpty()) {
        QString problem;
        const WindowSettings settings = WindowSettings::load(m_settingsFile, &problem);
        if (!problem.isEmpty())
            std::fprintf(stderr, "qm320: %s\n", qPrintable(problem));
        applySettings(settings);
    }
    // Every logged row goes to the journal as well; a failure to write it
    // is said once, and logging goes on in memory.
    if (!services.dataFolder.isEmpty())
        m_session->startJournal(services.dataFolder);
    // The first USB pass lists the devices and selects the cable before the
    // window shows.
    m_session->start();
    m_pageSizeTimer.start();
}

MainWindow::~MainWindow()
{
    if (!m_settingsFile.isEmpty() && !currentSettings().save(m_settingsFile))
        std::fprintf(stderr, "qm320: cannot write the settings to %s\n", qPrintable(m_settingsFile));
    // The session goes first, while everything it reports to is whole; the
    // grid and the chart let go of the log before it. The edits hear of it
    // no more: closing the window takes their focus, and an edit that loses
    // it puts back the value in force.
    m_session->disconnect(this);
    for (QLineEdit *edit : std::initializer_list<QLineEdit *>{m_ui->samplingIntervalEdit, m_ui->pageSizeEdit,
                                                              m_ui->highLimitEdit, m_ui->lowLimitEdit})
        edit->disconnect(this);
    m_ui->logGrid->setModel(nullptr);
    m_logModel.reset();
    m_chartPager.reset();
    m_session.reset();
}

void MainWindow::centreOnScreen()
{
    // The frame is not known before the window is first shown, so the
    // window itself (menu bar and client area) is what gets centred.
    if (const QScreen *s = screen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), s->availableGeometry()));
}

void MainWindow::setupLogGrid()
{
    LogGridView *grid = m_ui->logGrid;
    m_logModel = std::make_unique<LogModel>(m_session->log());
    grid->setModel(m_logModel.get());
    grid->setFont(LogModel::cellFont());
    grid->horizontalHeader()->setFont(LogModel::titleFont());
    // The grid shows the table's current row: a logged row, the end of an
    // open or a save.
    connect(m_logModel.get(), &LogModel::currentRowChanged, grid, &LogGridView::followRow);
    fitLogColumns();
    connect(m_logModel.get(), &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { fitNumberColumn(first, last); });
}

void MainWindow::fitLogColumns()
{
    // Each column is as wide as its title and the widest text that logging
    // can put in it in the user's locale (a 12-hour time of sampling, say),
    // worked out once from the locale and the font, not from the rows; so
    // all six fit beside each other in the grid even with a 12-hour time.
    // Row numbers start with room for five digits, as in the design.
    LogGridView *grid = m_ui->logGrid;
    const auto fit = [grid](LogField field, const LogGridView::CellTexts &textsFor) {
        grid->fitColumn(int(field) - int(LogField::No), textsFor);
    };
    fit(LogField::No, [](const QFontMetrics &m) { return QStringList{LogColumnTexts::number(NumberDigitsShown, false, m)}; });
    fit(LogField::Time, [this](const QFontMetrics &m) { return LogColumnTexts::times(*m_locale, m); });
    fit(LogField::DcAc, [](const QFontMetrics &) { return LogColumnTexts::functions(); });
    fit(LogField::Value, [this](const QFontMetrics &m) {
        return QStringList{LogColumnTexts::value(m_session->decimalSeparator(), m)};
    });
    fit(LogField::Unit, [](const QFontMetrics &) { return LogColumnTexts::units(); });
    fit(LogField::Auto, [](const QFontMetrics &) { return LogColumnTexts::judgements(); });
}

void MainWindow::fitNumberColumn(int first, int last)
{
    // Row numbers grow without a bound known in advance (with Repeat off
    // they count frames, and a file brings its own): the column widens when
    // a row's number has more digits than it was fitted to. One integer a
    // row, never a measured text.
    const LogTable &log = m_session->log();
    const int noField = int(LogField::No);
    int digits = m_numberDigits;
    bool negative = m_negativeNumbers;
    for (int row = first; row <= last; ++row) {
        const std::optional<qint32> number = log.integer(row, noField);
        if (!number)
            continue;
        digits = std::max(digits, LogColumnTexts::digitCount(*number));
        negative = negative || *number < 0;
    }
    if (digits == m_numberDigits && negative == m_negativeNumbers)
        return;
    m_numberDigits = digits;
    m_negativeNumbers = negative;
    m_ui->logGrid->widenColumn(0, [digits, negative](const QFontMetrics &metrics) {
        return QStringList{LogColumnTexts::number(digits, negative, metrics)};
    });
}

void MainWindow::setupConnections()
{
    Ui::MainWindow *ui = m_ui.get();
    MeterSession *session = m_session.get();

    connect(session, &MeterSession::readingDecoded, this, &MainWindow::showReading);
    connect(session, &MeterSession::rowLogged, this, &MainWindow::showRowLogged);
    connect(session, &MeterSession::logCleared, this, &MainWindow::showLogCleared);
    connect(session, &MeterSession::linkStateChanged, this, &MainWindow::showLinkState);
    connect(session, &MeterSession::linkFailed, this, &MainWindow::showLinkFailure);
    connect(session, &MeterSession::dataArrivingChanged, this, &MainWindow::showDataArriving);
    connect(session, &MeterSession::limitTextsRewritten, this, &MainWindow::showLimitTexts);
    connect(session, &MeterSession::logFullChanged, this, &MainWindow::showLogFull);
    connect(session, &MeterSession::journalFailed, this, &MainWindow::showJournalFailure);

    connect(ui->portButton, &PanelButton::clicked, this, &MainWindow::selectNextPort);
    connect(ui->comButton, &QPushButton::clicked, this, &MainWindow::setComLink);
    connect(ui->usbButton, &QPushButton::clicked, this, &MainWindow::setUsbLink);
    connect(ui->quitButton, &QPushButton::clicked, this, &MainWindow::quit);
    connect(ui->reconnectAction, &QAction::toggled, session, &MeterSession::setReconnect);

    const auto limitsChanged = [this] {
        m_session->setLimitTexts(m_ui->highLimitEdit->text(), m_ui->lowLimitEdit->text());
    };
    connect(ui->highLimitEdit, &QLineEdit::textChanged, this, limitsChanged);
    connect(ui->lowLimitEdit, &QLineEdit::textChanged, this, limitsChanged);

    connect(ui->repeatCheck, &QCheckBox::toggled, session, &MeterSession::setRepeat);
    connect(ui->samplingCheck, &QCheckBox::toggled, session, &MeterSession::setSampling);
    connect(ui->samplingIntervalEdit, &QLineEdit::textChanged, this, &MainWindow::setSamplingIntervalText);
    connect(ui->clearLogButton, &QToolButton::clicked, this, &MainWindow::clearLog);
    connect(ui->openLogButton, &QToolButton::clicked, this, &MainWindow::openLog);
    connect(ui->saveLogButton, &QToolButton::clicked, this, &MainWindow::saveLog);
    connect(ui->printLogButton, &QToolButton::clicked, this, &MainWindow::printLog);

    connect(ui->fillCheck, &QCheckBox::toggled, this, &MainWindow::setFill);
    connect(ui->firstPageButton, &QToolButton::clicked, this, &MainWindow::showFirstPage);
    connect(ui->previousPageButton, &QToolButton::clicked, this, &MainWindow::showPreviousPage);
    connect(ui->nextPageButton, &QToolButton::clicked, this, &MainWindow::showNextPage);
    connect(ui->lastPageButton, &QToolButton::clicked, this, &MainWindow::showLastPage);
    // A new page size is applied a second after the last change to its edit.
    connect(ui->pageSizeEdit, &QLineEdit::textChanged, &m_pageSizeTimer, qOverload<>(&QTimer::start));
    connect(&m_pageSizeTimer, &QTimer::timeout, this, &MainWindow::applyPageSize);
    connect(ui->saveChartButton, &QToolButton::clicked, this, &MainWindow::saveChartPicture);
    connect(ui->enlargeChartButton, &QToolButton::clicked, this, &MainWindow::enlargeChart);
    connect(ui->restoreChartButton, &QToolButton::clicked, this, &MainWindow::restoreChart);

    // The Record menu: one limit per item, the check mark on the chosen one.
    auto *limits = new QActionGroup(this);
    const QList<QAction *> items = ui->recordMenu->actions();
    for (int i = 0; i < items.size() && i < int(RecordLimitChoices.size()); ++i) {
        const qint32 limit = RecordLimitChoices[std::size_t(i)].limit;
        limits->addAction(items[i]);
        connect(items[i], &QAction::triggered, this, [this, limit] { setRecordLimit(limit); });
    }
}

// --- what the session announces ---

void MainWindow::showReading(const DecodeResult &result)
{
    const Reading &reading = result.reading;
    m_ui->lcdPanel->setStale(false);
    m_ui->lcdPanel->showState(lcdStateFor(reading));

    // The key filters follow the user's decimal separator as the frames read it.
    if (m_decimalSeparator != m_session->decimalSeparator())
        showDecimalSeparator();

    // The chart's vertical range and the bar graph follow the meter's range.
    if (result.axisMaximumChanged) {
        m_ui->chart->setVerticalAxis(result.axisMaximum, result.axisMinimum);
        // Halves go to the even neighbour, as the default rounding mode does.
        m_ui->barGraph->setMaximum(int(std::lrint(result.axisMaximum)));
        setBarGraphPosition(m_barPosition);
    }

    m_ui->valueDisplay->setText(reading.valueText);
    // Until a reading has been judged the disc keeps its start colours.
    const bool pass = reading.judgeText == PassText;
    if (!pass && reading.judgeText != FailText)
        return;
    const QColor colour = pass ? DesignLook::PassColour : DesignLook::FailColour;
    // White lettering reads better than black on both colours.
    DesignLook::setColour(m_ui->valueDisplay, QPalette::Base, colour);
    DesignLook::setColour(m_ui->valueDisplay, QPalette::Text, Qt::white);
    m_ui->judgementDisc->setBrushColor(colour);
    m_ui->judgementLabel->setAutoFillBackground(true);
    DesignLook::setColour(m_ui->judgementLabel, QPalette::Window, colour);
    DesignLook::setColour(m_ui->judgementLabel, QPalette::WindowText, Qt::white);
    m_ui->judgementLabel->setText(pass ? QStringLiteral("Pass") : QStringLiteral("Fail"));
}

void MainWindow::showDecimalSeparator()
{
    m_decimalSeparator = m_session->decimalSeparator();
    for (LimitEdit *edit : {m_ui->highLimitEdit, m_ui->lowLimitEdit})
        edit->setDecimalSeparators(m_decimalSeparator, m_locale->systemDecimalSeparator());
}

void MainWindow::showRowLogged(int, double numericValue)
{
    setBarGraphPosition(ReadingLogger::barGraphPosition(numericValue));
    m_chartPager->addPoint(numericValue);
    showPageNumber();
}

void MainWindow::setBarGraphPosition(qint32 position)
{
    // A progress bar would reset itself for a value out of range; the bar
    // graph shows it at its nearest end instead. It would also repaint at
    // once for every new value; with updates off it repaints with the rest
    // of the window, and only when its value moves (turning updates back on
    // asks for a repaint).
    m_barPosition = position;
    QProgressBar *bar = m_ui->barGraph;
    const int value = std::clamp(position, bar->minimum(), bar->maximum());
    if (value == bar->value())
        return;
    bar->setUpdatesEnabled(false);
    bar->setValue(value);
    bar->setUpdatesEnabled(true);
}

void MainWindow::showLogCleared()
{
    m_chartPager->reset();
    showPageNumber();
}

void MainWindow::showLogFull(bool full)
{
    QLabel *label = m_ui->recordLimitLabel;
    showRecordLimitLine(full);
    if (!full)
        return;
    // A log that silently stopped growing while the panel goes on would
    // pass for one that logs.
    const qint32 limit = m_session->logger().recordLimit();
    label->setText(QStringLiteral("Record limit of %1 rows reached: not logging").arg(limit));
    label->setAutoFillBackground(true);
    DesignLook::setColour(label, QPalette::Window, QColor(255, 255, 160));
    m_messages->information(this, QStringLiteral("The record limit of %1 rows is reached, and logging has stopped. "
                                                 "Choose a larger limit in the Record menu to go on.")
                                      .arg(limit));
}

void MainWindow::showRecordLimitLine(bool shown)
{
    // The line takes the bottom of the grid's place and the grid gives up
    // that room, so that no row hides behind the line, the last included.
    QLabel *label = m_ui->recordLimitLabel;
    const int height = shown ? label->height() : 0;
    m_ui->logGrid->setGeometry(m_gridPlace.adjusted(0, 0, 0, -height));
    label->setGeometry(m_gridPlace.left(), m_gridPlace.bottom() + 1 - height, m_gridPlace.width(), label->height());
    label->setVisible(shown);
}

void MainWindow::showJournalFailure(const QString &reason)
{
    m_messages->error(this, QStringLiteral("The log cannot be kept on disk as well: %1.\n\n"
                                           "Logging goes on in memory; save the log before you quit.")
                                .arg(reason));
}

void MainWindow::showLinkState(LinkState state)
{
    const bool serial = state == LinkState::Serial || state == LinkState::WaitingForSerial;
    const bool usb = state == LinkState::Usb || state == LinkState::WaitingForUsb;
    QString comText = serial ? QStringLiteral("COM Disconnect") : QStringLiteral("COM Connection");
    QString usbText = usb ? QStringLiteral("USB Disconnect") : QStringLiteral("USB Connection");
    // A lost link that waits for its device says so on its button; pressing
    // it stops the wait.
    if (state == LinkState::WaitingForSerial || state == LinkState::WaitingForUsb) {
        const QString waiting = QStringLiteral("Waiting for %1 \u2026").arg(m_session->awaitedDevice());
        (serial ? comText : usbText) = waiting;
    }
    m_ui->comButton->setChecked(serial);
    m_ui->comButton->setText(comText);
    m_ui->comButton->setVisible(!usb);
    m_ui->usbButton->setChecked(usb);
    m_ui->usbButton->setText(usbText);
    m_ui->usbButton->setVisible(!serial);
    // The port cannot change while it is open.
    m_ui->portButton->setVisible(!usb);
    m_ui->portButton->setEnabled(!serial);
}

void MainWindow::showLinkFailure(const LinkFailure &failure)
{
    // The last reading stays on the panel, dimmed: it is not current.
    if (failure.kind == LinkFailure::Kind::PortLost || failure.kind == LinkFailure::Kind::CableLost)
        m_ui->lcdPanel->setStale(true);
    if (const std::optional<LinkMessage> message = linkFailureMessage(failure)) {
        if (message->error)
            m_messages->error(this, message->text);
        else
            m_messages->information(this, message->text);
    }
}

void MainWindow::showDataArriving(bool arriving)
{
    m_ui->dataArrivingPicture->setVisible(arriving);
    m_ui->noDataPicture->setVisible(!arriving);
}

void MainWindow::showLimitTexts(const QString &high, const QString &low)
{
    // A rewritten text goes through the edit's validation like a typed one.
    if (m_ui->highLimitEdit->text() != high)
        m_ui->highLimitEdit->setText(high);
    if (m_ui->lowLimitEdit->text() != low)
        m_ui->lowLimitEdit->setText(low);
}

// --- settings ---

void MainWindow::applySettings(const WindowSettings &settings)
{
    selectPort(settings.port);
    m_ui->reconnectAction->setChecked(settings.reconnect);
    const auto limitText = [this](double value) {
        return QString::number(value, 'g', QLocale::FloatingPointShortest)
            .replace(u'.', m_session->decimalSeparator());
    };
    for (const auto &[edit, value] : {std::pair{m_ui->highLimitEdit, settings.highLimit},
                                      std::pair{m_ui->lowLimitEdit, settings.lowLimit}}) {
        edit->setLastValidText(limitText(value));
        edit->setText(limitText(value));
    }
    for (std::size_t i = 0; i < RecordLimitChoices.size(); ++i) {
        if (RecordLimitChoices[i].limit == settings.recordLimit)
            m_ui->recordMenu->actions().at(int(i))->trigger();
    }
    m_ui->repeatCheck->setChecked(settings.repeat);
    m_ui->samplingIntervalEdit->setText(QString::number(settings.samplingSeconds));
    m_ui->samplingCheck->setChecked(settings.sampling);
    m_ui->fillCheck->setChecked(settings.fill);
    m_ui->pageSizeEdit->setText(QString::number(settings.pageSize));
    applyPageSize();
    m_logFolder = settings.logFolder;
    m_chartFolder = settings.chartFolder;
}

WindowSettings MainWindow::currentSettings() const
{
    WindowSettings settings;
    settings.port = m_session->serialPort();
    settings.reconnect = m_session->reconnects();
    // A limit being typed that is no number yet keeps the last number.
    const auto limit = [this](const QString &typed, const LimitEdit *edit, double fallback) {
        for (const QString &text : {typed, edit->lastValidText()}) {
            if (const std::optional<double> value = parseLocaleNumber(text, m_session->decimalSeparator()))
                return *value;
        }
        return fallback;
    };
    settings.highLimit = limit(m_session->highLimitText(), m_ui->highLimitEdit, settings.highLimit);
    settings.lowLimit = limit(m_session->lowLimitText(), m_ui->lowLimitEdit, settings.lowLimit);
    const ReadingLogger &logger = m_session->logger();
    settings.recordLimit = logger.recordLimit();
    settings.repeat = logger.repeat();
    settings.sampling = logger.sampling();
    settings.samplingSeconds = m_session->samplingInterval() / 1000;
    settings.fill = m_ui->chart->shownSeries() == ChartView::AreaSeries;
    settings.pageSize = m_chartPager->pageSize();
    settings.logFolder = m_logFolder;
    settings.chartFolder = m_chartFolder;
    return settings;
}

// --- the links ---

void MainWindow::selectNextPort()
{
    // From a device path the next port is COM1.
    selectPort(QStringLiteral("COM%1").arg(m_portNumber % 4 + 1));
}

void MainWindow::selectPort(const QString &port)
{
    m_session->setSerialPort(port);
    if (m_session->serialPort() != port)
        return;   // not while the port is open
    m_portNumber = comPortNumber(port);
    m_ui->portButton->setText(m_portNumber ? QStringLiteral("COM %1").arg(m_portNumber) : QFileInfo(port).fileName());
    m_ui->portButton->setToolTip(m_portNumber ? QString() : port);
}

void MainWindow::setComLink(bool connected)
{
    // A port that cannot be opened is reported and the link stays idle,
    // rather than showing a connection over which nothing can arrive.
    if (connected)
        m_session->connectSerial();
    else
        m_session->disconnectSerial();
    showLinkState(m_session->linkState());
}

void MainWindow::setUsbLink(bool connected)
{
    if (!connected) {
        m_session->disconnectUsb();
    } else if (const std::optional<QString> cable = chooseCable()) {
        m_session->connectUsb(*cable);
    }
    showLinkState(m_session->linkState());
}

std::optional<QString> MainWindow::chooseCable()
{
    // With one cable (or none, which the session reports) there is nothing
    // to choose; with several, the user says which meter this window reads.
    UsbLink &usb = m_session->usbLink();
    const QList<int> rows = usb.cableRows();
    if (rows.size() < 2)
        return QString();
    QStringList cables;
    for (int row : rows)
        cables << QStringLiteral("%1  %2").arg(usb.devicePath(row), usb.deviceNames().at(row));
    const int chosen = m_dialogs->chooseCable(this, cables);
    if (chosen < 0 || chosen >= rows.size())
        return std::nullopt;
    return usb.devicePath(rows.at(chosen));
}

void MainWindow::quit()
{
    // From the moment the user asks to quit, readings wait for the answer:
    // the question counts exactly the rows that Save saves, and one answer
    // ends the run. An answer that does not end it lets them be logged.
    m_session->holdReadings();
    const bool ending = m_session->unsavedRows() > 0
                            ? keepUnsavedRows()
                            : m_messages->confirm(this, QStringLiteral("Are you sure that you want to quit this application?"));
    // Quitting closes the window first; it stays open when its close is
    // refused, or when no event loop runs to end.
    if (ending)
        QCoreApplication::quit();
    if (!m_closed)
        m_session->releaseReadings();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The close box quits without the Quit button's question, but never
    // with rows nobody saved; readings wait for the answer as for Quit's,
    // and stay held once the window closes: the run ends with it.
    m_session->holdReadings();
    if (!keepUnsavedRows()) {
        m_session->releaseReadings();
        event->ignore();
        return;
    }
    m_closed = true;
    QMainWindow::closeEvent(event);
}

bool MainWindow::keepUnsavedRows()
{
    const int unsaved = m_session->unsavedRows();
    if (unsaved == 0)
        return true;
    const QString question = QStringLiteral("The log holds %1 readings that are not saved. Save them first?").arg(unsaved);
    switch (m_messages->askToSave(this, question)) {
    case UserMessages::SaveChoice::Save:
        return saveLog();
    case UserMessages::SaveChoice::Discard:
        m_session->discardUnsaved();
        return true;
    case UserMessages::SaveChoice::Cancel:
        break;
    }
    return false;
}

// --- the log ---

void MainWindow::setSamplingIntervalText(const QString &text)
{
    // Not a whole number of seconds that the timer can take: the interval
    // stays, and the edit shows it again, but while it is empty: the user is
    // typing another.
    WholeNumberEdit *edit = m_ui->samplingIntervalEdit;
    const std::optional<SamplingInterval> interval = ReadingLogger::samplingIntervalFor(text);
    if (!interval) {
        if (!text.isEmpty())
            edit->showValueInForce();
        return;
    }
    if (interval->textBecomesOne) {
        edit->setText(QStringLiteral("1"));   // which sets the interval
        return;
    }
    m_session->setSamplingInterval(interval->milliseconds);
    edit->setValueInForce(interval->milliseconds / 1000);
}

void MainWindow::setRecordLimit(qint32 limit)
{
    m_session->setRecordLimit(limit);
}

void MainWindow::clearLog()
{
    // Readings that arrive while the user answers are not emptied with rows
    // the question did not count: they go to the log the answer leaves.
    m_session->holdReadings();
    if (m_session->unsavedRows() > 0 ? keepUnsavedRows()
                                     : m_messages->confirm(this, QStringLiteral("Do you want to empty the logged data?")))
        m_session->clearLog();
    m_session->releaseReadings();
}

bool MainWindow::saveLog()
{
    const QString name = m_dialogs->saveTableFileName(this, m_logFolder);
    if (name.isEmpty())
        return false;
    m_logFolder = QFileInfo(name).absolutePath();
    return saveLogFile(name);
}

bool MainWindow::saveLogFile(const QString &fileName)
{
    if (m_fileBusy)
        return false;
    m_fileBusy = true;
    // Rows logged while the file is written are not in it.
    const int rowsSaved = m_session->log().rowCount();
    const TableFileResult result
        = saveTableFile(m_session->log(), fileName, progressDialogFor(this, QStringLiteral("Saving %1").arg(fileName)));
    m_fileBusy = false;
    if (!result) {
        m_messages->error(this, saveFailedMessage(fileName, result));
        return false;
    }
    m_session->markSaved(m_session->log().rowCount() - rowsSaved);
    m_messages->information(this, saveSucceededMessage(fileName));
    return true;
}

void MainWindow::openLog()
{
    const QString name = m_dialogs->openTableFileName(this, m_logFolder);
    if (name.isEmpty())
        return;
    m_logFolder = QFileInfo(name).absolutePath();
    // Readings wait while the user answers, so that the count asked about
    // stays true; they are logged after the file's rows.
    m_session->holdReadings();
    const std::optional<TableOpenMode> mode = askHowToOpen(name);
    if (mode)
        openLogFile(name, *mode);
    m_session->releaseReadings();
}

std::optional<TableOpenMode> MainWindow::askHowToOpen(const QString &fileName)
{
    // An XML file replaces the log; a text file adds its rows after the
    // log's unless the user says to replace them.
    const bool xml = tableFileFormat(fileName) == TableFileFormat::Xml;
    const int unsaved = m_session->unsavedRows();
    if (unsaved == 0)
        return xml ? TableOpenMode::Replace : TableOpenMode::Append;
    if (!xml) {
        const QString question = QStringLiteral("The log holds %1 readings that are not saved.\n\n"
                                                "Add the rows of %2 after them, or replace the log with the file?")
                                     .arg(unsaved)
                                     .arg(fileName);
        switch (m_messages->askHowToOpen(this, question)) {
        case UserMessages::OpenChoice::Add:
            return TableOpenMode::Append;
        case UserMessages::OpenChoice::Replace:
            break;
        case UserMessages::OpenChoice::Cancel:
            return std::nullopt;
        }
    }
    // The unsaved rows would go: they are saved first, or given up once the
    // file has opened (a failed open leaves them unsaved).
    const QString question = QStringLiteral("Opening %1 replaces the log, which holds %2 readings that are not saved. "
                                            "Save them first?")
                                 .arg(fileName)
                                 .arg(unsaved);
    switch (m_messages->askToSave(this, question)) {
    case UserMessages::SaveChoice::Save:
        if (!saveLog())
            return std::nullopt;
        return TableOpenMode::Replace;
    case UserMessages::SaveChoice::Discard:
        return TableOpenMode::Replace;
    case UserMessages::SaveChoice::Cancel:
        break;
    }
    return std::nullopt;
}

void MainWindow::openLogFile(const QString &fileName, TableOpenMode mode)
{
    if (m_fileBusy)
        return;
    m_fileBusy = true;
    m_session->holdReadings();
    const TableFileResult result = loadTableFile(fileName, m_session->log(), mode,
                                                 progressDialogFor(this, QStringLiteral("Opening %1").arg(fileName)));
    m_fileBusy = false;
    // A failed open left the log as it was.
    if (result) {
        m_session->noteLogOpened(mode == TableOpenMode::Replace || tableFileFormat(fileName) == TableFileFormat::Xml);
        // The chart shows what the grid shows.
        redrawChartFromLog();
    }
    // Readings held meanwhile follow.
    m_session->releaseReadings();
    if (!result)
        m_messages->error(this, loadFailedMessage(fileName, result));
}

void MainWindow::offerRecovery()
{
    // Each journal is taken (locked) before anything is offered, so that a
    // window started at the same moment passes over it. What cannot be
    // recovered is put aside and told once, and never offered as readings.
    QStringList notices;
    const auto noteUnrecoverable = [&notices](const QString &name, const QString &reason, bool keptAside,
                                              const QString &keptOrWhy) {
        notices << (keptAside ? QStringLiteral("%1 cannot be recovered (%2). It is kept in the same folder as %3.")
                              : QStringLiteral("%1 cannot be recovered (%2), nor put aside: %3."))
                       .arg(name, reason, keptOrWhy);
    };
    // One journal is recovered at a time; after it, the others are still
    // gone through, for what is to be put aside or removed.
    bool recovered = false;
    for (const QString &name : AbandonedJournal::candidates(m_dataFolder)) {
        JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
        QString why;
        QString kept;
        const std::unique_ptr<AbandonedJournal> journal = AbandonedJournal::claim(name, &failure, &why);
        if (!journal) {
            // Another run has it, or has just taken it away: that run deals
            // with it.
            if (failure == JournalFile::ClaimFailure::Unusable) {
                QString notMoved;
                const bool keptAside = AbandonedJournal::setAside(name, &kept, &notMoved);
                noteUnrecoverable(name, why, keptAside, keptAside ? QFileInfo(kept).fileName() : notMoved);
            }
            continue;
        }
        if (journal->kind() == AbandonedJournal::Kind::Empty) {
            journal->remove(&why);
            continue;
        }
        if (journal->kind() == AbandonedJournal::Kind::Unrecoverable) {
            const bool keptAside = journal->setAside(&kept, &why);
            noteUnrecoverable(name, journal->problem(), keptAside, keptAside ? QFileInfo(kept).fileName() : why);
            continue;
        }
        if (recovered)
            continue;
        QString question = QStringLiteral("Recover %1 readings logged from %2 to %3?")
                               .arg(journal->readings())
                               .arg(journal->firstTime(), journal->lastTime());
        if (!journal->problem().isEmpty())
            question += QStringLiteral("\n\nThe rest of the journal %1 cannot be read (%2); the whole file is kept in "
                                       "the same folder as %3.")
                            .arg(name, journal->problem(), QFileInfo(journal->keptName()).fileName());
        if (!m_messages->ask(this, QStringLiteral("Recover readings?"), question)) {
            if (!journal->setAside(&kept, &why))
                notices << QStringLiteral("%1 cannot be put aside: %2.").arg(name, why);
            continue;
        }
        recovered = true;
        QString error;
        if (m_session->recoverJournal(*journal, &error)) {
            // What could not be read stays in the file, put aside; the
            // recovered readings went on in a new journal.
            if (journal->holdsFile() && !journal->setAside(&kept, &why))
                notices << QStringLiteral("%1 cannot be put aside: %2.").arg(name, why);
        } else {
            // Not to be offered again at every start.
            if (journal->setAside(&kept, &why))
                error += QStringLiteral("\n\nThe journal is kept in the same folder as %1.").arg(QFileInfo(kept).fileName());
            else
                error += QStringLiteral("\n\nThe journal cannot be put aside: %1.").arg(why);
            m_messages->error(this, loadFailedMessage(name, TableFileResult::failed(error)));
        }
        redrawChartFromLog();
    }
    if (!notices.isEmpty())
        m_messages->information(this, notices.join(QStringLiteral("\n\n")));
}

void MainWindow::redrawChartFromLog()
{
    // The chart draws the values of the rows, whichever locale wrote them;
    // a value that is not a number (an over-range display) draws at zero.
    const LogTable &log = m_session->log();
    const int valueField = int(LogField::Value);
    m_chartPager->reset();
    for (int row = 0; row < log.rowCount(); ++row)
        m_chartPager->addPoint(parseLoggedValue(log.text(row, valueField), m_session->decimalSeparator()).value_or(0));
    showPageNumber();
}

void MainWindow::printLog()
{
    // The report holds the rows of this moment and reads them from the log
    // as its pages are drawn; rows logged while the preview is open go into
    // the next one.
    LogTable &log = m_session->log();
    ReportBuilder report(log);
    if (!log.isEmpty())
        log.setCurrentRow(log.rowCount() - 1);
    m_dialogs->previewReport(this, report);
    update();
}

// --- the chart ---

void MainWindow::setFill(bool fill)
{
    m_ui->chart->showSeries(fill ? ChartView::AreaSeries : ChartView::LineSeries);
}

void MainWindow::showPageNumber()
{
    m_ui->pageNumberButton->setText(QString::number(m_chartPager->currentPage()));
}

void MainWindow::turnChartPage(void (ChartPager::*turn)())
{
    ((*m_chartPager).*turn)();
    showPageNumber();
}

void MainWindow::showFirstPage() { turnChartPage(&ChartPager::showFirstPage); }
void MainWindow::showPreviousPage() { turnChartPage(&ChartPager::showPreviousPage); }
void MainWindow::showNextPage() { turnChartPage(&ChartPager::showNextPage); }
void MainWindow::showLastPage() { turnChartPage(&ChartPager::showLastPage); }

void MainWindow::applyPageSize()
{
    m_pageSizeTimer.stop();
    WholeNumberEdit *edit = m_ui->pageSizeEdit;
    const PageSizeChange change = pageSizeChangeFor(edit->text());
    if (change.action == PageSizeChange::Action::Apply)
        m_chartPager->setPageSize(change.size);
    edit->setValueInForce(m_chartPager->pageSize());
    // A size the pager cannot take (0) is not left looking applied; an empty
    // edit waits for the number being typed.
    if (change.action != PageSizeChange::Action::Apply && !edit->text().isEmpty()) {
        edit->showValueInForce();
        m_pageSizeTimer.stop();
    }
    showPageNumber();
}

void MainWindow::enlargeChart()
{
    m_ui->enlargeChartButton->hide();
    m_ui->restoreChartButton->show();
    m_restoredChart = m_ui->chart->geometry();
    m_restoredToolbar = m_ui->chartToolbar->pos();
    const ChartPlacement placement = enlargedChartPlacement(frameGeometry().size());
    m_ui->chart->setGeometry(placement.chart);
    m_ui->chartToolbar->move(placement.toolbar);
    m_ui->chart->raise();
    m_ui->chartToolbar->raise();
    // Whatever the enlarged chart does not cover entirely goes too, or its
    // edge would show beside the chart.
    for (QWidget *covered : coveredByEnlargedChart())
        covered->hide();
}

void MainWindow::restoreChart()
{
    m_ui->restoreChartButton->hide();
    m_ui->enlargeChartButton->show();
    const ChartPlacement placement = restoredChartPlacement(m_restoredChart, m_restoredToolbar);
    m_ui->chart->setGeometry(placement.chart);
    m_ui->chartToolbar->move(placement.toolbar);
    for (QWidget *covered : coveredByEnlargedChart())
        covered->show();
    showRecordLimitLine(m_session->isLogFull());
}

QList<QWidget *> MainWindow::coveredByEnlargedChart() const
{
    return {m_ui->logControls, m_ui->limitsPanel, m_ui->topBar, m_ui->logGrid, m_ui->lcdPanel, m_ui->barGraph,
            m_ui->recordLimitLabel};
}

void MainWindow::saveChartPicture()
{
    const QString name = m_dialogs->savePictureFileName(this, m_chartFolder);
    if (name.isEmpty())
        return;
    m_chartFolder = QFileInfo(name).absolutePath();
    saveChartPictureFile(name);
}

void MainWindow::saveChartPictureFile(const QString &fileName)
{
    if (m_ui->chart->saveBitmap(fileName))
        m_messages->information(this, QStringLiteral("Graphic has saved on %1").arg(fileName));
    else
        m_messages->error(this, m_ui->chart->errorString());
}
