#include "app/mainwindow.h"

#include "app/brokerpublishing.h"
#include "app/cachedpanelstyle.h"
#include "app/chartcontrols.h"
#include "app/designlook.h"
#include "app/limitedit.h"
#include "app/linkmessages.h"
#include "app/logfilecommands.h"
#include "app/loggridcolumns.h"
#include "app/logmodel.h"
#include "app/messageboxes.h"
#include "app/recoveryoffer.h"
#include "app/settingsbinding.h"
#include "app/statisticsline.h"
#include "app/wholenumberedit.h"
#include "app/windowcaption.h"
#include "app/windowlayout.h"
#include "chart/chartpager.h"
#include "log/logjournal.h"
#include "log/logstatistics.h"
#include "meter/lcdlayout.h"
#include "publish/messagepublisher.h"
#include "session/metersession.h"
#include "shared/localenumber.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"

#include "ui_mainwindow.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>
#include <QSysInfo>

#include <algorithm>
#include <cmath>
#include <cstdio>

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
    services.createPublisher = [] { return createMessagePublisher(); };
    return services;
}

MainWindow::MainWindow(WindowServices services, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::MainWindow>())
    , m_locale(std::move(services.locale))
    , m_messages(std::move(services.messages))
    , m_dialogs(services.dialogs ? std::move(services.dialogs) : std::make_unique<SystemDialogs>())
    , m_session(
          std::make_unique<MeterSession>(*m_locale, std::move(services.serialBackend),
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

    m_statistics = std::make_unique<LogStatistics>(m_session->log());
    m_publishing = std::make_unique<BrokerPublishing>(
        services.createPublisher ? std::move(services.createPublisher) : [] { return createMessagePublisher(); },
        QSysInfo::machineHostName(),
        [this] {
            return m_session->linkState() == LinkState::Usb ? QStringLiteral("usb")
                                                            : QFileInfo(m_session->serialPort()).fileName();
        });
    m_files = std::make_unique<LogFileCommands>(*this, *m_session, *m_statistics, *m_messages, *m_dialogs);
    m_chart = std::make_unique<ChartControls>(*m_ui, *this, *m_session, *m_messages, *m_dialogs);
    m_settings = std::make_unique<SettingsBinding>(*m_ui, *this, *m_session, *m_files, *m_chart, *m_publishing);
    m_ui->clientArea->installEventFilter(this);
    placeParts();
    m_ui->chart->setVerticalAxis(m_session->lastResult().axisMaximum, m_session->lastResult().axisMinimum);

    showDecimalSeparator();
    m_ui->highLimitEdit->setLastValidText(QString::fromLatin1(MeterSession::DefaultHighLimit));
    m_ui->lowLimitEdit->setLastValidText(QString::fromLatin1(MeterSession::DefaultLowLimit));
    setWindowTitle(QString::fromLatin1(ProgramCaption) + captionSuffix(services.machine));
    m_dataFolder = services.dataFolder;

    // A pulled cable or adapter that comes back is taken up again, as the
    // Connection menu's item starts ticked.
    m_session->setReconnect(true);
    m_ui->samplingIntervalEdit->setRange(1, ReadingLogger::LongestSamplingSeconds);
    m_ui->samplingIntervalEdit->setValueInForce(m_session->samplingInterval() / 1000);
    setupConnections();
    // The settings of the last run, through the same handlers as the clicks.
    m_settingsFile = services.settingsFile;
    if (!m_settingsFile.isEmpty()) {
        QString problem;
        const WindowSettings settings = WindowSettings::load(m_settingsFile, &problem);
        if (!problem.isEmpty())
            std::fprintf(stderr, "qm320: %s\n", qPrintable(problem));
        selectPort(settings.port);
        m_settings->apply(settings);
    }
    // Every logged row goes to the journal as well; a failure to write it
    // is said once, and logging goes on in memory.
    if (!services.dataFolder.isEmpty())
        m_session->startJournal(services.dataFolder);
    // The first USB pass lists the devices and selects the cable before the
    // window shows.
    m_session->start();
    m_chart->applyPageSizeSoon();
    showStatistics();
    showPublishingStatus();
}

MainWindow::~MainWindow()
{
    if (!m_settingsFile.isEmpty() && !m_settings->current().save(m_settingsFile))
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
    m_gridColumns.reset();
    m_logModel.reset();
    m_statistics.reset();
    m_publishing.reset();
    m_chart.reset();
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
    m_gridColumns = std::make_unique<LogGridColumns>(*grid, *m_logModel, *m_session, *m_locale);
}

void MainWindow::setupConnections()
{
    Ui::MainWindow *ui = m_ui.get();
    MeterSession *session = m_session.get();

    connect(session, &MeterSession::readingDecoded, this, &MainWindow::showReading);
    connect(session, &MeterSession::rowLogged, this, &MainWindow::showRowLogged);
    connect(session, &MeterSession::logCleared, m_chart.get(), &ChartControls::reset);
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
    connect(ui->clearLogButton, &QToolButton::clicked, m_files.get(), &LogFileCommands::clearLog);
    connect(ui->openLogButton, &QToolButton::clicked, m_files.get(), &LogFileCommands::openLog);
    connect(ui->saveLogButton, &QToolButton::clicked, m_files.get(), &LogFileCommands::saveLog);
    connect(ui->printLogButton, &QToolButton::clicked, m_files.get(), &LogFileCommands::printLog);
    connect(m_files.get(), &LogFileCommands::logOpened, m_chart.get(), &ChartControls::redrawFromLog);
    connect(m_files.get(), &LogFileCommands::logOpened, this, &MainWindow::showStatistics);
    connect(session, &MeterSession::logCleared, this, &MainWindow::showStatistics);
    // The menus' commands, with their keys.
    connect(ui->openLogAction, &QAction::triggered, m_files.get(), &LogFileCommands::openLog);
    connect(ui->saveLogAction, &QAction::triggered, m_files.get(), &LogFileCommands::saveLog);
    connect(ui->exportCsvAction, &QAction::triggered, m_files.get(), &LogFileCommands::exportCsv);
    connect(ui->printLogAction, &QAction::triggered, m_files.get(), &LogFileCommands::printLog);
    connect(ui->clearLogAction, &QAction::triggered, m_files.get(), &LogFileCommands::clearLog);
    connect(ui->quitAction, &QAction::triggered, this, &MainWindow::quit);
    connect(ui->brokerAction, &QAction::triggered, this, &MainWindow::chooseBroker);
    // Publishing only queues: a broker that is slow or away never holds up
    // the reading.
    connect(session, &MeterSession::readingDecoded, m_publishing.get(), [this](const DecodeResult &result) {
        m_publishing->publishReading(result.reading, m_session->decodedFrames(), QDateTime::currentMSecsSinceEpoch());
    });
    connect(m_publishing.get(), &BrokerPublishing::statusChanged, this, &MainWindow::showPublishingStatus);
    connect(m_chart.get(), &ChartControls::chartRestored, this,
            [this] { showRecordLimitLine(m_session->isLogFull()); });

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
    if (reading.judgement == Reading::Judgement::NotJudged)
        return;
    const bool pass = reading.judgement == Reading::Judgement::Pass;
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
    m_chart->addPoint(numericValue);
    showStatistics();
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
    // The statistics take the bottom of the grid's place, the record-limit
    // line the room above them, and the grid gives up that room, so that no
    // row hides behind a line, the last included.
    QLabel *limitLine = m_ui->recordLimitLabel;
    QLabel *statistics = m_ui->statisticsLabel;
    const int bottom = m_gridPlace.bottom() + 1 - statistics->height();
    statistics->setGeometry(m_gridPlace.left(), bottom, m_gridPlace.width(), statistics->height());
    const int limitHeight = shown ? limitLine->height() : 0;
    limitLine->setGeometry(m_gridPlace.left(), bottom - limitLine->height(), m_gridPlace.width(), limitLine->height());
    m_ui->logGrid->setGeometry(m_gridPlace.left(), m_gridPlace.top(), m_gridPlace.width(),
                               bottom - limitHeight - m_gridPlace.top());
    limitLine->setVisible(shown && !m_chart->isEnlarged());
}

void MainWindow::showStatistics()
{
    m_ui->statisticsLabel->setText(statisticsLineText(*m_statistics, m_session->decimalSeparator()));
}

void MainWindow::showPublishingStatus()
{
    QLabel *label = m_ui->brokerLabel;
    label->setText(m_publishing->statusText());
    label->setToolTip(m_publishing->problem().isEmpty()
                          ? m_publishing->address()
                          : QStringLiteral("%1: %2").arg(m_publishing->address(), m_publishing->problem()));
    label->setVisible(m_publishing->isPublishing());
}

void MainWindow::chooseBroker()
{
    const std::optional<QString> address = m_dialogs->brokerAddress(this, m_publishing->address());
    if (address)
        publishTo(*address);
}

void MainWindow::publishTo(const QString &address)
{
    QString why;
    if (!m_publishing->setAddress(address, &why))
        m_messages->error(this, QStringLiteral("Cannot publish to %1: %2.").arg(address, why));
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
        edit->setText(QStringLiteral("1")); // which sets the interval
        return;
    }
    m_session->setSamplingInterval(interval->milliseconds);
    edit->setValueInForce(interval->milliseconds / 1000);
}

void MainWindow::setRecordLimit(qint32 limit)
{
    m_session->setRecordLimit(limit);
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
        return; // not while the port is open
    m_portNumber = LinkSupervisor::comPortNumber(port);
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
    const QList<UsbDeviceEntry> found = m_session->usbCables();
    if (found.size() < 2)
        return QString();
    QStringList cables;
    for (const UsbDeviceEntry &cable : found)
        cables << QStringLiteral("%1  %2").arg(cable.path, cable.name);
    const int chosen = m_dialogs->chooseCable(this, cables);
    if (chosen < 0 || chosen >= found.size())
        return std::nullopt;
    return found.at(chosen).path;
}

void MainWindow::quit()
{
    // From the moment the user asks to quit, readings wait for the answer:
    // the question counts exactly the rows that Save saves, and one answer
    // ends the run. An answer that does not end it lets them be logged.
    m_session->holdReadings();
    const bool ending =
        m_session->unsavedRows() > 0
            ? m_files->keepUnsavedRows()
            : m_messages->confirm(this, QStringLiteral("Are you sure that you want to quit this application?"));
    // Quitting closes the window first; it stays open when its close is
    // refused, or when no event loop runs to end.
    if (ending)
        QCoreApplication::quit();
    if (!m_closed)
        m_session->releaseReadings();
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->clientArea && event->type() == QEvent::Resize)
        placeParts();
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::placeParts()
{
    const WindowLayout layout = windowLayoutFor(m_ui->clientArea->size());
    m_ui->topBar->setGeometry(layout.topBar);
    m_ui->quitButton->move(layout.quitButton);
    m_ui->brokerLabel->setGeometry(layout.brokerLabel);
    m_gridPlace = layout.gridPlace;
    showRecordLimitLine(m_session->isLogFull());
    m_chart->setChartPlace(layout.chart);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The close box quits without the Quit button's question, but never
    // with rows nobody saved; readings wait for the answer as for Quit's,
    // and stay held once the window closes: the run ends with it.
    m_session->holdReadings();
    if (!m_files->keepUnsavedRows()) {
        m_session->releaseReadings();
        event->ignore();
        return;
    }
    m_closed = true;
    QMainWindow::closeEvent(event);
}

void MainWindow::offerRecovery()
{
    if (offerJournalRecovery(m_dataFolder, *m_session, *m_messages, this)) {
        m_chart->redrawFromLog();
        showStatistics();
    }
}

const ChartPager &MainWindow::chartPager() const
{
    return m_chart->pager();
}
