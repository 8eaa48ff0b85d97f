#include "app/mainwindow.h"

#include "app/messageboxes.h"
#include "app/toolicons.h"
#include "app/windowcaption.h"
#include "chart/charttoolbar.h"
#include "chart/tchartcontrol.h"
#include "log/logmodel.h"
#include "log/reportbuilder.h"
#include "meter/historylist.h"
#include "meter/localeinfo.h"
#include "meter/localenumber.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"

#include "ui_mainwindow.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QScreen>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace {

const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

// The fonts of the design. "MS Sans Serif" and "Arial" are Windows fonts;
// substitutes of the same metrics stand in for them elsewhere.
struct DesignFont
{
    const char *objectName;
    const char *family;
    int pixelSize;
    bool bold;
};

constexpr DesignFont DesignFonts[] = {
    {"BtCOM1", "Arial", 16, true},
    {"BtCOM2", "Arial", 16, true},
    {"BtCOM3", "Arial", 16, true},
    {"BtCOM4", "Arial", 16, true},
    {"COMCon", "Arial", 13, false},
    {"USBCon", "Arial", 13, false},
    {"BitBtn1", "Arial", 13, false},
    {"RepeatSet", "Arial", 11, false},
    {"RecordSI", "Arial", 11, false},
    {"T1HI", "Arial", 13, true},
    {"T1LO", "Arial", 13, true},
    {"T1VALUE", "Arial", 21, true},
    {"judge", "MS Sans Serif", 24, true},
    {"BtFill", "MS Sans Serif", 11, false},
    {"Bt10", "MS Sans Serif", 11, false},
    {"DBGrid1", "Arial", 12, false},
};

QFont designFont(const char *family, int pixelSize, bool bold)
{
    QFont font(QString::fromLatin1(family));
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

void installFontSubstitutes()
{
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

void setColour(QWidget *w, QPalette::ColorRole role, const QColor &colour)
{
    QPalette pal = w->palette();
    if (pal.color(role) == colour)
        return;
    pal.setColor(role, colour);
    w->setPalette(pal);
}

QColor infoColour()
{
    return QPalette().color(QPalette::ToolTipBase);
}

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
    return services;
}

TFCOMM::TFCOMM(WindowServices services, QWidget *parent)
    : QMainWindow(parent)
    , m_ui(std::make_unique<Ui::TFCOMM>())
    , m_locale(std::move(services.locale))
    , m_messages(std::move(services.messages))
    , m_dialogs(services.dialogs ? std::move(services.dialogs) : std::make_unique<SystemDialogs>())
    , m_decoder(*m_locale, *this)
    , m_logger(m_cds1, *m_locale, *this)
    , m_machine(std::move(services.machine))
{
    installFontSubstitutes();
    m_ui->setupUi(this);

    // COMM2 as designed: COM1, 2400 bit/s 8N1, no handshaking, DTR raised,
    // 2048-byte queues, polled every 100 ms.
    m_comm2 = new TCommPortDriver(std::move(services.serialBackend), this);
    m_comm2->setObjectName(QStringLiteral("COMM2"));
    m_comm2->setComPort(pnCOM1);
    m_comm2->setComPortSpeed(br2400);
    m_comm2->setComPortDataBits(db8BITS);
    m_comm2->setComPortParity(ptNONE);
    m_comm2->setComPortStopBits(sb1BITS);
    m_comm2->setComPortHwHandshaking(hhNONE);
    m_comm2->setComPortSwHandshaking(shNONE);
    m_comm2->setComPortInBufSize(2048);
    m_comm2->setComPortOutBufSize(2048);
    m_comm2->setComPortPollingDelay(100);
    m_comm2->setEnableDTROnOpen(true);
    m_comm2->setOutputTimeout(4000);

    m_history = new HistoryList(this);
    m_ui->HistoryListBox->setModel(m_history);

    m_conTimer.setObjectName(QStringLiteral("ConTimer"));
    m_conTimer.setInterval(100);
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(500);
    m_timer2.setObjectName(QStringLiteral("Timer2"));
    m_timer2.setInterval(1000);
    m_timer3.setObjectName(QStringLiteral("Timer3"));
    m_timer3.setInterval(1000);
    m_timer4.setObjectName(QStringLiteral("Timer4"));
    m_timer4.setInterval(500);
    for (QTimer *t : {&m_conTimer, &m_timer1, &m_timer2, &m_timer3, &m_timer4})
        t->setParent(this);

    applyDesignLook();
    setupLogGrid();
    setupConnections();
    FormCreate();
    createUsbLink(std::move(services.hidBackend));

    m_conTimer.start();
    m_timer2.start();
}

void TFCOMM::centreOnScreen()
{
    // The frame is not known before the window is first shown, so the
    // window itself (menu bar and client area) is what gets centred.
    if (const QScreen *s = screen())
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), s->availableGeometry()));
}

TFCOMM::~TFCOMM()
{
    // The pager refers to the chart and the grid's model to the table; they
    // go first.
    m_chartPager.reset();
    m_ui->DBGrid1->setModel(nullptr);
    delete m_logModel;
}

void TFCOMM::setupLogGrid()
{
    LogGridView *grid = m_ui->DBGrid1;
    m_logModel = new LogModel(m_cds1);
    grid->setModel(m_logModel);
    grid->setFont(LogModel::cellFont());
    grid->horizontalHeader()->setFont(LogModel::titleFont());
    for (int c = 0; c < int(LogModel::columns().size()); ++c)
        grid->setColumnWidth(c, LogModel::columns()[std::size_t(c)].width);
    // The grid shows the table's current row: a posted row, the end of an
    // open or a save.
    connect(m_logModel, &LogModel::currentRowChanged, grid, &LogGridView::setCurrentRow);
}

void TFCOMM::applyDesignLook()
{
    // The client area is fixed; the window is that plus its menu bar.
    setFont(designFont("MS Sans Serif", 11, true));
    m_ui->MainMenu1->setFont(designFont("MS Sans Serif", 12, false));
    for (const DesignFont &f : DesignFonts) {
        if (auto *w = findChild<QWidget *>(QString::fromLatin1(f.objectName)))
            w->setFont(designFont(f.family, f.pixelSize, f.bold));
    }
    // The Windows check box puts its caption closer to the box.
    for (QCheckBox *box : {m_ui->RepeatSet, m_ui->RecordSI, m_ui->BtFill})
        box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
    m_ui->DBGrid1->horizontalHeader()->setFont(designFont("MS Sans Serif", 11, true));
    m_ui->DBGrid1->setRowHeight(18);

    m_ui->ClientArea->setFixedSize(663, 509);
    setFixedSize(663, 509 + m_ui->MainMenu1->sizeHint().height());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);

    // Only the Record menu is on the bar; the others hold their items' states.
    for (QMenu *hidden : {m_ui->ComSetup1, m_ui->Connect1, m_ui->Graphic})
        hidden->menuAction()->setVisible(false);
    for (QAction *separator : {m_ui->N1, m_ui->N2, m_ui->N3})
        separator->setSeparator(true);
    auto *ports = new QActionGroup(this);
    for (QAction *a : {m_ui->COM11, m_ui->COM21, m_ui->COM31, m_ui->COM41})
        ports->addAction(a);
    auto *limits = new QActionGroup(this);
    for (QAction *a : {m_ui->N10001, m_ui->N50001, m_ui->N100001, m_ui->N500001, m_ui->N1000001, m_ui->limitess})
        limits->addAction(a);

    m_ui->Panel4->setAutoFillBackground(true);
    setColour(m_ui->Panel4, QPalette::Window, Qt::white);
    setColour(m_ui->T1VALUE, QPalette::Base, infoColour());
    m_ui->Shape1->setBrushColor(infoColour());
    QPalette pageNumber = m_ui->Bt10->palette();
    pageNumber.setColor(QPalette::ButtonText, Qt::blue);
    m_ui->Bt10->setPalette(pageNumber);

    m_ui->BitBtn1->setIcon(toolIcon(ToolIcon::Quit));
    m_ui->RecordNew->setIcon(toolIcon(ToolIcon::CloseData));
    m_ui->OpenDataFiles->setIcon(toolIcon(ToolIcon::OpenData));
    m_ui->saveas->setIcon(toolIcon(ToolIcon::SaveData));
    m_ui->BtPrint->setIcon(toolIcon(ToolIcon::Print));
    m_ui->BtSave->setIcon(toolIcon(ToolIcon::SavePicture));
    m_ui->BtFirst->setIcon(toolIcon(ToolIcon::FirstPage));
    m_ui->BTPrevious->setIcon(toolIcon(ToolIcon::PreviousPage));
    m_ui->BtNext->setIcon(toolIcon(ToolIcon::NextPage));
    m_ui->BTlast->setIcon(toolIcon(ToolIcon::LastPage));
    m_ui->TbFd->setIcon(toolIcon(ToolIcon::Enlarge));
    m_ui->TbSx->setIcon(toolIcon(ToolIcon::Restore));
    m_ui->TbFd->setIconSize(QSize(20, 20));
    setWindowIcon(programIcon());
    m_ui->TbSx->setIconSize(QSize(20, 20));
}

void TFCOMM::setupConnections()
{
    auto *ui = m_ui.get();

    connect(ui->BtCOM1, &PanelButton::clicked, this, &TFCOMM::COM21Click);
    connect(ui->BtCOM2, &PanelButton::clicked, this, &TFCOMM::COM31Click);
    connect(ui->BtCOM3, &PanelButton::clicked, this, &TFCOMM::COM41Click);
    connect(ui->BtCOM4, &PanelButton::clicked, this, &TFCOMM::COM11Click);
    connect(ui->COM11, &QAction::triggered, this, &TFCOMM::COM11Click);
    connect(ui->COM21, &QAction::triggered, this, &TFCOMM::COM21Click);
    connect(ui->COM31, &QAction::triggered, this, &TFCOMM::COM31Click);
    connect(ui->COM41, &QAction::triggered, this, &TFCOMM::COM41Click);
    connect(ui->COMCon, &QPushButton::clicked, this, &TFCOMM::COMConClick);
    connect(ui->BTCon, &PanelButton::clicked, this, &TFCOMM::BTCon1Click);
    connect(ui->START1, &QAction::triggered, this, &TFCOMM::BTCon1Click);
    connect(ui->BtDiscon, &PanelButton::clicked, this, &TFCOMM::BtDiscon1Click);
    connect(ui->STOP1, &QAction::triggered, this, &TFCOMM::BtDiscon1Click);
    connect(&m_conTimer, &QTimer::timeout, this, &TFCOMM::ConTimerTimer);

    connect(ui->T1HI, &QLineEdit::textChanged, this, &TFCOMM::T1HIChange);
    connect(ui->T1LO, &QLineEdit::textChanged, this, &TFCOMM::T1LOChange);
    connect(&m_timer1, &QTimer::timeout, this, &TFCOMM::Timer1Timer);
    connect(&m_timer4, &QTimer::timeout, this, &TFCOMM::Timer4Timer);
    ui->T1HI->installEventFilter(this);
    ui->T1LO->installEventFilter(this);

    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFCOMM::BitBtn1Click);
    connect(ui->BtExit, &PanelButton::clicked, this, &TFCOMM::BtExit1Click);

    connect(ui->BtFill, &QCheckBox::clicked, this, &TFCOMM::btFillClick);
    connect(ui->RepeatSet, &QCheckBox::clicked, this, &TFCOMM::btFillClick);
    connect(ui->Fill, &QAction::triggered, this, &TFCOMM::FillClick);
    connect(ui->BtFirst, &QToolButton::clicked, this, &TFCOMM::BtFirstClick);
    connect(ui->First, &QAction::triggered, this, &TFCOMM::BtFirstClick);
    connect(ui->BTPrevious, &QToolButton::clicked, this, &TFCOMM::BTPreviousClick);
    connect(ui->Previous, &QAction::triggered, this, &TFCOMM::BTPreviousClick);
    connect(ui->BtNext, &QToolButton::clicked, this, &TFCOMM::BtNextClick);
    connect(ui->Next, &QAction::triggered, this, &TFCOMM::BtNextClick);
    connect(ui->BTlast, &QToolButton::clicked, this, &TFCOMM::BTlastClick);
    connect(ui->Last, &QAction::triggered, this, &TFCOMM::BTlastClick);
    connect(ui->New, &QAction::triggered, this, &TFCOMM::BtNewClick);
    connect(ui->Maxrecord, &QLineEdit::textChanged, this, &TFCOMM::MaxrecordChange);
    connect(&m_timer2, &QTimer::timeout, this, &TFCOMM::Timer2Timer);
    connect(ui->BtSave, &QToolButton::clicked, this, &TFCOMM::BtSaveClick);
    connect(ui->Save, &QAction::triggered, this, &TFCOMM::BtSaveClick);
    connect(ui->TbFd, &QToolButton::clicked, this, &TFCOMM::TbFdClick);
    connect(ui->TbSx, &QToolButton::clicked, this, &TFCOMM::TbSxClick);

    connect(ui->RecordNew, &QToolButton::clicked, this, &TFCOMM::RecordNewClick);
    connect(ui->New1, &QAction::triggered, this, &TFCOMM::RecordNewClick);
    connect(ui->RecordSITime, &QLineEdit::textChanged, this, &TFCOMM::RecordSITimeChange);
    ui->RecordSITime->installEventFilter(this);
    ui->Maxrecord->installEventFilter(this);
    connect(ui->saveas, &QToolButton::clicked, this, &TFCOMM::saveasClick);
    connect(ui->Save1, &QAction::triggered, this, &TFCOMM::saveasClick);
    connect(ui->OpenDataFiles, &QToolButton::clicked, this, &TFCOMM::SpeedButton2Click);
    connect(ui->BtPrint, &QToolButton::clicked, this, &TFCOMM::BtPrintClick);

    connect(ui->N10001, &QAction::triggered, this, &TFCOMM::N10001Click);
    connect(ui->N50001, &QAction::triggered, this, &TFCOMM::N50001Click);
    connect(ui->N100001, &QAction::triggered, this, &TFCOMM::N100001Click);
    connect(ui->N500001, &QAction::triggered, this, &TFCOMM::N500001Click);
    connect(ui->N1000001, &QAction::triggered, this, &TFCOMM::N1000001Click);
    connect(ui->limitess, &QAction::triggered, this, &TFCOMM::limitessClick);
    connect(&m_timer3, &QTimer::timeout, this, &TFCOMM::Timer3Timer);

    connect(ui->USBCon, &QPushButton::clicked, this, &TFCOMM::USBConClick);
    connect(ui->SetFeature, &QPushButton::clicked, this, &TFCOMM::SetFeatureClick);
    connect(ui->ReadBtn, &QPushButton::clicked, this, &TFCOMM::ReadBtnClick);
    connect(ui->ClearBtn, &QPushButton::clicked, this, &TFCOMM::ClearBtnClick);
    connect(ui->InfoBtn, &QPushButton::clicked, this, &TFCOMM::InfoBtnClick);

    connect(m_history, &HistoryList::lineSelected, this,
            [this](int row) { m_ui->HistoryListBox->setCurrentIndex(m_history->index(row)); });
}

void TFCOMM::FormCreate()
{
    // 1. The pager on the chart, 100 positions a page.
    m_chartPager = std::make_unique<TChartControl>(*m_ui->Chtshow, 100);
    // 2, 3. The system's and the user's decimal separators.
    m_ui->systeminfomation->setText(m_locale->systemDecimalSeparator());
    m_decoder.LocaleDecimalSeparator = m_locale->userDecimalSeparator();
    // 4. Decoder start values.
    m_decoder.FullScaleCount = 4000;
    m_decoder.MaxCount = -4001.0f;
    m_decoder.MinCount = 4001.0f;
    m_decoder.modeMemory.UnitText = QStringLiteral("113");
    // 5, 6. The log starts empty.
    m_cds1.clear();
    m_logger.FrameCount = 1;
    m_logger.RecordLimit = 10000;
    // 7. Every series holds only its placeholder point; show the fill choice.
    m_ui->Chtshow->resetSeries();
    ShowSeries(m_ui->BtFill->isChecked() ? 0 : 1);
    // 8.
    LastValidHigh = QStringLiteral("4000");
    LastValidLow = QStringLiteral("-4000");
    // 9. The model's serial handler and caption.
    if (m_ui->IFQM330->isChecked()) {
        m_comm2->setOnReceiveData([this](TCommPortDriver *sender, const std::uint8_t *data, int size) {
            RECEIVE_COM_Data(sender, data, size);
        });
        setWindowTitle(QString::fromLatin1(ProgramCaption));
        m_ui->MinText->setText(QStringLiteral("4001"));
        m_ui->MaxText->setText(QStringLiteral("-4001"));
    }
    // 10. The vertical range of the start-up full scale.
    setVerticalAxis(m_decoder.FullScaleCount, -m_decoder.FullScaleCount);
    // 11. No blank before the parenthesis.
    setWindowTitle(windowTitle() + captionSuffix(m_machine));
}

// --- frames in ---

void TFCOMM::RECEIVE_COM_Data(TCommPortDriver *, const std::uint8_t *data, int size)
{
    m_assembler.RECEIVE_COM_Data(data, size);
}

void TFCOMM::decodeFrame(const FrameText &frame)
{
    m_decoder.LcdDisplayQM330(frame);
}

void TFCOMM::addReportLine(const QString &line)
{
    m_history->addLine(line);
}

void TFCOMM::showNibbleTrace(const QString &text)
{
    m_ui->USBtxt->setText(text);
}

// --- the panel and the judgement, as the decoder calls them ---

void TFCOMM::rewriteLimitTexts(const QString &decimalSeparator)
{
    // A changed text restarts its validation timer through its change handler.
    for (QLineEdit *edit : {m_ui->T1HI, m_ui->T1LO}) {
        const QString rewritten = rewriteLimitText(edit->text(), decimalSeparator);
        if (rewritten != edit->text())
            edit->setText(rewritten);
    }
}

void TFCOMM::showConnectionOk()
{
    m_ui->CONok->show();
    m_ui->CONokN->hide();
    NoFrameTicks = 0;
}

void TFCOMM::hideAnnunciators()
{
    m_ui->Panel1->hideAnnunciators();
    m_ui->Memo2->setVisible(m_ui->Data_display->isChecked());
}

void TFCOMM::paintAnnunciators(const Reading &reading)
{
    m_ui->Panel1->paintAnnunciators(reading);
}

bool TFCOMM::fillChecked() const
{
    return m_ui->BtFill->isChecked();
}

void TFCOMM::showMinMax(const QString &maxText, const QString &minText, const QString &unitText)
{
    m_ui->MaxText->setText(maxText);
    m_ui->MinText->setText(minText);
    m_ui->MaxTextU->setText(unitText);
    m_ui->MinTextU->setText(unitText);
}

void TFCOMM::paintDigits(const Reading &reading)
{
    m_ui->Panel1->paintDigits(reading);
}

void TFCOMM::setVerticalAxis(double maximum, double minimum)
{
    m_ui->Chtshow->setVerticalAxis(maximum, minimum);
}

void TFCOMM::judge(Reading &reading)
{
    m_ui->T1VALUE->setText(reading.ValueText);
    const Judgement j = judgeValue(reading.ValueText, m_ui->T1HI->text(), m_ui->T1LO->text(),
                                   m_decoder.LocaleDecimalSeparator);
    // While a limit is not a number the reading is shown but not judged.
    if (j == Judgement::NotJudged)
        return;
    showJudgement(j);
    reading.JudgeText = judgeText(j);
}

void TFCOMM::showJudgement(Judgement judgement)
{
    const bool pass = judgement == Judgement::Pass;
    const QColor colour = pass ? Green : Red;
    // White lettering reads better than black on both colours.
    setColour(m_ui->T1VALUE, QPalette::Base, colour);
    setColour(m_ui->T1VALUE, QPalette::Text, Qt::white);
    m_ui->Shape1->setBrushColor(colour);
    m_ui->judge->setAutoFillBackground(true);
    setColour(m_ui->judge, QPalette::Window, colour);
    setColour(m_ui->judge, QPalette::WindowText, Qt::white);
    m_ui->judge->setText(pass ? QStringLiteral("Pass") : QStringLiteral("Fail"));
}

void TFCOMM::updateBarGraphMaximum(double axisMaximum)
{
    // Halves go to the even neighbour, as the default rounding mode does.
    QProgressBar *bar = m_ui->PBar2;
    bar->setUpdatesEnabled(false);
    bar->setMaximum(int(std::lrint(axisMaximum)));
    setBarGraphPosition(m_barPosition);
    bar->setUpdatesEnabled(true);
}

void TFCOMM::setBarGraphPosition(qint32 position)
{
    // A progress bar would reset itself for a value out of range; the bar
    // graph shows it at its nearest end instead. It would also repaint at
    // once for every new value; with updates off it repaints with the rest
    // of the window.
    m_barPosition = position;
    QProgressBar *bar = m_ui->PBar2;
    const bool wasEnabled = bar->updatesEnabled();
    bar->setUpdatesEnabled(false);
    bar->setValue(std::clamp(position, bar->minimum(), bar->maximum()));
    bar->setUpdatesEnabled(wasEnabled);
}

bool TFCOMM::samplingMode() const
{
    return m_ui->RecordSI->isChecked();
}

void TFCOMM::setSamplingTimerEnabled(bool enabled)
{
    // Enabling a running timer leaves its period undisturbed.
    if (!enabled)
        m_timer3.stop();
    else if (!m_timer3.isActive())
        m_timer3.start();
}

void TFCOMM::INDataToTable()
{
    if (m_opening) {
        m_deferred.push_back({m_decoder.reading, QTime::currentTime(), false});
        return;
    }
    m_logger.INDataToTable(m_decoder.reading);
}

void TFCOMM::Timer3Timer()
{
    if (m_opening) {
        if (m_decoder.reading.FreshReading && m_ui->RecordSI->isChecked())
            m_deferred.push_back({m_decoder.reading, QTime::currentTime(), true});
        m_decoder.reading.FreshReading = false;
        return;
    }
    m_logger.Timer3Timer(m_decoder.reading);
}

void TFCOMM::logDeferredReadings()
{
    std::vector<DeferredReading> deferred;
    deferred.swap(m_deferred);
    for (DeferredReading &d : deferred) {
        m_replayTime = d.time;
        if (d.samplingTick) {
            d.reading.FreshReading = true;
            m_logger.Timer3Timer(d.reading);
        } else {
            m_logger.INDataToTable(d.reading);
        }
    }
    m_replayTime = QTime();
}

QTime TFCOMM::timeOfDay() const
{
    return m_replayTime.isValid() ? m_replayTime : QTime::currentTime();
}

// --- the reading log ---

bool TFCOMM::repeatChecked() const
{
    return m_ui->RepeatSet->isChecked();
}

bool TFCOMM::samplingChecked() const
{
    return m_ui->RecordSI->isChecked();
}

void TFCOMM::addChartPoint(double value)
{
    m_chartPager->AddPoint(value);
    showPageNumber();
}

void TFCOMM::resetChart()
{
    m_chartPager->Reset();
    showPageNumber();
}

void TFCOMM::RecordNewClick()
{
    if (!m_messages->confirm(this, QStringLiteral("Do you want to empty the logged data?")))
        return;
    m_logger.emptyLog();
}

void TFCOMM::RecordSITimeChange()
{
    // Not a whole number of seconds that the timer can take (empty while
    // editing, or pasted text): the interval stays.
    const std::optional<SamplingInterval> interval = ReadingLogger::RecordSITimeChange(m_ui->RecordSITime->text());
    if (!interval)
        return;
    if (interval->textBecomesOne) {
        m_ui->RecordSITime->setText(QStringLiteral("1"));
        return;   // the change of the text sets the interval
    }
    // A new interval restarts a running timer's period; the same one does not.
    if (m_timer3.interval() != interval->milliseconds)
        m_timer3.setInterval(interval->milliseconds);
}

TableFileProgress TFCOMM::fileProgress(const QString &label)
{
    // A long save or open shows how far it has come and keeps the window
    // painting and the meter logging; the dialog is modal, so New or a
    // second file command cannot start meanwhile.
    auto dialog = std::make_shared<QProgressDialog>(label, QString(), 0, 1000, this);
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setMinimumDuration(400);
    dialog->setAutoClose(true);
    return [dialog](double fraction) {
        dialog->setValue(int(std::clamp(fraction, 0.0, 1.0) * 1000));
        QCoreApplication::processEvents();
    };
}

void TFCOMM::saveasClick()
{
    const QString name = m_dialogs->saveTableFileName(this);
    if (!name.isEmpty())
        saveTable(name);
}

void TFCOMM::saveTable(const QString &fileName)
{
    if (m_fileBusy)
        return;
    m_fileBusy = true;
    const TableFileResult result
        = SaveTableFile(m_cds1, fileName, fileProgress(QStringLiteral("Saving %1").arg(fileName)));
    m_fileBusy = false;
    if (result) {
        m_messages->information(this, saveSucceededMessage(fileName));
        return;
    }
    // A failed XML save shows the error's own message through the
    // application's error display.
    if (tableFileFormat(fileName) == TableFileFormat::Xml)
        throw std::runtime_error(result.reason.toStdString());
    m_messages->error(this, textSaveFailedMessage(fileName));
}

void TFCOMM::SpeedButton2Click()
{
    const QString name = m_dialogs->openTableFileName(this);
    if (!name.isEmpty())
        openTable(name);
}

void TFCOMM::openTable(const QString &fileName)
{
    if (m_fileBusy)
        return;
    m_fileBusy = true;
    m_opening = true;
    const TableFileResult result
        = LoadTableFile(fileName, m_cds1, fileProgress(QStringLiteral("Opening %1").arg(fileName)));
    m_opening = false;
    m_fileBusy = false;
    logDeferredReadings();
    if (!result)
        m_messages->error(this, QString::fromLatin1(LoadFailedMessage));
}

void TFCOMM::BtPrintClick()
{
    // The report holds the rows of this moment; rows logged while the
    // preview is open go into the next one.
    ReportBuilder report(reportRowsOf(m_cds1));
    if (!m_cds1.isEmpty())
        m_cds1.setCurrentRow(m_cds1.rowCount() - 1);
    m_dialogs->previewReport(this, report);
    update();
}

// --- limit edits ---

bool TFCOMM::limitKeyPress(QLineEdit *edit, QChar key) const
{
    return limitKeyAccepted(key, edit->text(), m_ui->systeminfomation->text(), m_decoder.LocaleDecimalSeparator);
}

bool TFCOMM::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && (watched == m_ui->RecordSITime || watched == m_ui->Maxrecord)) {
        // Digits and Backspace only; every other typed character, control
        // characters such as Ctrl+V included, is dropped. Keys that type
        // nothing (arrows, Delete, Tab) go on as they are.
        const auto *key = static_cast<QKeyEvent *>(event);
        const QString text = key->text();
        if (text.isEmpty() || key->key() == Qt::Key_Delete || key->key() == Qt::Key_Tab
            || key->key() == Qt::Key_Backtab)
            return false;
        return !ReadingLogger::RecordSITimeKeyPress(text.front());
    }
    if (event->type() == QEvent::KeyPress && (watched == m_ui->T1HI || watched == m_ui->T1LO)) {
        const auto *key = static_cast<QKeyEvent *>(event);
        // Only typed characters pass the filter; keys that type nothing
        // (arrows, Delete, Tab between the controls) go on as they are.
        const QString text = key->text();
        if (text.isEmpty() || key->key() == Qt::Key_Delete || key->key() == Qt::Key_Tab
            || key->key() == Qt::Key_Backtab)
            return false;
        return !limitKeyPress(static_cast<QLineEdit *>(watched), text.front());
    }
    return QMainWindow::eventFilter(watched, event);
}

void TFCOMM::T1HIChange()
{
    m_timer1.start();
}

void TFCOMM::T1LOChange()
{
    m_timer4.start();
}

void TFCOMM::validateLimit(QLineEdit *edit, QString &lastValid, QTimer &timer)
{
    if (localeNumberOrSentinel(edit->text(), m_decoder.LocaleDecimalSeparator) == NotANumber)
        edit->setText(lastValid);
    lastValid = edit->text();
    timer.stop();
}

void TFCOMM::Timer1Timer()
{
    validateLimit(m_ui->T1HI, LastValidHigh, m_timer1);
}

void TFCOMM::Timer4Timer()
{
    validateLimit(m_ui->T1LO, LastValidLow, m_timer4);
}

// --- the COM link ---

void TFCOMM::selectComPort(TComPortNumber port)
{
    m_comm2->setComPort(port);
    PanelButton *panels[] = {m_ui->BtCOM1, m_ui->BtCOM2, m_ui->BtCOM3, m_ui->BtCOM4};
    QAction *items[] = {m_ui->COM11, m_ui->COM21, m_ui->COM31, m_ui->COM41};
    for (int n = 0; n < 4; ++n) {
        panels[n]->setVisible(n == int(port));
        items[n]->setChecked(n == int(port));
    }
}

void TFCOMM::COM11Click() { selectComPort(pnCOM1); }
void TFCOMM::COM21Click() { selectComPort(pnCOM2); }
void TFCOMM::COM31Click() { selectComPort(pnCOM3); }
void TFCOMM::COM41Click() { selectComPort(pnCOM4); }

void TFCOMM::setComLinkMenus(bool linked)
{
    // A hidden menu reports its action as disabled whatever its state; the
    // state lives in the menu itself.
    m_ui->ComSetup1->setEnabled(!linked);
    m_ui->START1->setChecked(linked);
    m_ui->START1->setEnabled(!linked);
    m_ui->STOP1->setEnabled(linked);
    m_ui->STOP1->setChecked(!linked);
}

void TFCOMM::setComLinkPanels(bool linked)
{
    m_ui->BTCon->setVisible(!linked);
    m_ui->BtDiscon->setVisible(linked);
    for (PanelButton *panel : {m_ui->BtCOM1, m_ui->BtCOM2, m_ui->BtCOM3, m_ui->BtCOM4})
        panel->setEnabled(!linked);
}

void TFCOMM::COMConClick()
{
    if (m_ui->COMCon->isChecked()) {
        // A port that cannot be opened is reported and the link stays idle,
        // rather than showing a connection over which nothing can arrive.
        if (!m_comm2->OpenPort()) {
            m_ui->COMCon->setChecked(false);
            m_messages->error(this, m_comm2->lastOpenError());
            return;
        }
        m_ui->USBCon->setChecked(false);
        m_ui->USBCon->hide();
        setComLinkMenus(true);
        setComLinkPanels(true);
        m_ui->COMCon->setText(QStringLiteral("COM Disconnect"));
    } else {
        m_ui->USBCon->show();
        setComLinkMenus(false);
        m_comm2->ClosePort();
        setComLinkPanels(false);
        m_ui->COMCon->setText(QStringLiteral("COM Connection"));
    }
}

void TFCOMM::BTCon1Click()
{
    if (!m_comm2->OpenPort()) {
        m_ui->START1->setChecked(false);
        m_messages->error(this, m_comm2->lastOpenError());
        return;
    }
    setComLinkMenus(true);
    setComLinkPanels(true);
    m_ui->COMCon->setChecked(true);
}

void TFCOMM::BtDiscon1Click()
{
    setComLinkMenus(false);
    m_comm2->ClosePort();
    setComLinkPanels(false);
    m_ui->COMCon->setChecked(false);
}

void TFCOMM::ConTimerTimer()
{
    if (NoFrameTicks != 2) {
        ++NoFrameTicks;
        return;
    }
    // The USB cable keeps reporting but carries no meter bytes: the meter
    // is off or not in data mode.
    m_usb->ConTimerIdleTest();
    m_ui->CONok->hide();
    m_ui->CONokN->show();
    NoFrameTicks = 0;
}

// --- the USB link ---

void TFCOMM::createUsbLink(std::unique_ptr<HidBackend> backend)
{
    // Binding the controller's events runs its first device-change pass, so
    // the device list is filled and the cable selected before the window
    // shows.
    m_hidCtl = new TJvHidDeviceController(backend ? std::move(backend) : createHidBackend(), this);
    m_hidCtl->setObjectName(QStringLiteral("HidCtl"));
    m_usb = new UsbConnection(*m_hidCtl, m_assembler, *m_history, *this, this);
    connect(m_usb, &UsbConnection::deviceListChanged, this, &TFCOMM::showDeviceList);
    connect(m_usb, &UsbConnection::selectedRowChanged, m_ui->DevListBox,
            [list = m_ui->DevListBox](int row) { list->setCurrentRow(row); });
    connect(m_ui->DevListBox, &QListWidget::currentRowChanged, m_usb, [this](int row) {
        if (row != m_usb->selectedRow())
            m_usb->selectRow(row);
    });
    m_usb->setModelChoice(modelChoice());
    m_usb->bindControllerEvents();
}

UsbModelChoice TFCOMM::modelChoice() const
{
    return {m_ui->IFQM330->isChecked(), m_ui->IFQM610->isChecked(), m_ui->IFQM520->isChecked(),
            m_ui->IFQM880->isChecked()};
}

void TFCOMM::showDeviceList()
{
    QListWidget *list = m_ui->DevListBox;
    const QSignalBlocker blocker(list);
    list->clear();
    list->addItems(m_usb->deviceTexts());
    list->setCurrentRow(m_usb->selectedRow());
}

void TFCOMM::USBConClick()
{
    m_usb->setModelChoice(modelChoice());
    m_usb->USBConClick(m_ui->USBCon->isChecked());
}

void TFCOMM::SetFeatureClick()
{
    m_usb->setModelChoice(modelChoice());
    m_usb->SetFeatureClick();
}

void TFCOMM::ReadBtnClick()
{
    m_usb->ReadBtnClick(m_ui->ReadBtn->isChecked());
}

void TFCOMM::ClearBtnClick()
{
    m_usb->ClearBtnClick();
}

void TFCOMM::InfoBtnClick()
{
    m_usb->InfoBtnClick();
}

void TFCOMM::setUsbConDown(bool down)
{
    m_ui->USBCon->setChecked(down);
}

void TFCOMM::setUsbConCaption(const QString &caption)
{
    m_ui->USBCon->setText(caption);
}

void TFCOMM::setComControlsVisible(bool visible)
{
    m_ui->COMCon->setVisible(visible);
    PanelButton *panels[] = {m_ui->BtCOM1, m_ui->BtCOM2, m_ui->BtCOM3, m_ui->BtCOM4};
    for (int n = 0; n < 4; ++n)
        panels[n]->setVisible(visible && n == int(m_comm2->ComPort()));
}

void TFCOMM::setReadBtnUp()
{
    m_ui->ReadBtn->setChecked(false);
}

void TFCOMM::showInformation(const QString &text)
{
    m_messages->information(this, text);
}

void TFCOMM::showError(const QString &text)
{
    m_messages->error(this, text);
}

// --- exits ---

void TFCOMM::BitBtn1Click()
{
    if (m_messages->confirm(this, QStringLiteral("Are you sure that you want to quit this application?")))
        QCoreApplication::quit();
}

void TFCOMM::BtExit1Click()
{
    QCoreApplication::quit();
}

// --- the chart ---

void TFCOMM::ShowSeries(int index)
{
    m_ui->Chtshow->ShowSeries(index);
}

void TFCOMM::btFillClick()
{
    m_ui->Fill->setChecked(m_ui->BtFill->isChecked());
    ShowSeries(m_ui->BtFill->isChecked() ? 0 : 1);
}

void TFCOMM::FillClick()
{
    m_ui->BtFill->setChecked(!m_ui->BtFill->isChecked());
    btFillClick();
}

void TFCOMM::showPageNumber()
{
    m_ui->Bt10->setText(QString::number(m_chartPager->CurrentPage()));
}

void TFCOMM::BtFirstClick()
{
    m_chartPager->FirstPage();
    showPageNumber();
}

void TFCOMM::BTPreviousClick()
{
    m_chartPager->PreviousPage();
    showPageNumber();
}

void TFCOMM::BtNextClick()
{
    m_chartPager->NextPage();
    showPageNumber();
}

void TFCOMM::BTlastClick()
{
    m_chartPager->LastPage();
    showPageNumber();
}

void TFCOMM::BtNewClick()
{
    m_ui->Chtshow->resetSeries();
    ShowSeries(m_ui->BtFill->isChecked() ? 0 : 1);
}

void TFCOMM::MaxrecordChange()
{
    m_timer2.start();
}

void TFCOMM::Timer2Timer()
{
    m_timer2.stop();
    const PageSizeChange change = pageSizeChangeFor(m_ui->Maxrecord->text());
    // The application's error display shows the message.
    if (change.action == PageSizeChange::Action::Reject)
        throw std::invalid_argument(change.message.toStdString());
    if (change.action == PageSizeChange::Action::Apply)
        m_chartPager->SetPageSize(change.size);
    showPageNumber();
}

void TFCOMM::TbFdClick()
{
    m_ui->TbFd->hide();
    m_ui->TbSx->show();
    m_rememberedChart = m_ui->Chtshow->geometry();
    const ChartPlacement placement = enlargedChartPlacement(frameGeometry().size());
    m_ui->Chtshow->setGeometry(placement.chart);
    m_ui->TntPanel1->move(placement.toolbar);
    m_ui->TntPanel1->raise();
    m_ui->Chtshow->raise();
    m_ui->TntPanel1->raise();
    m_ui->Panel2->hide();
    m_ui->Panel4->hide();
    m_ui->Panel5->hide();
}

void TFCOMM::TbSxClick()
{
    m_ui->TbSx->hide();
    m_ui->TbFd->show();
    const ChartPlacement placement = restoredChartPlacement(m_rememberedChart);
    m_ui->Chtshow->setGeometry(placement.chart);
    m_ui->TntPanel1->move(placement.toolbar);
    m_ui->Panel2->show();
    m_ui->Panel4->show();
    m_ui->Panel5->show();
}

void TFCOMM::BtSaveClick()
{
    const QString name = m_dialogs->savePictureFileName(this);
    if (!name.isEmpty())
        saveChartPicture(name);
}

void TFCOMM::saveChartPicture(const QString &fileName)
{
    if (!m_ui->Chtshow->saveBitmap(fileName))
        throw std::runtime_error(m_ui->Chtshow->errorString().toStdString());
    m_messages->information(this, QStringLiteral("Graphic has saved on %1").arg(fileName));
}

// --- the Record menu ---

void TFCOMM::selectRecordLimit(int item)
{
    // The action group moves the check mark to the chosen item.
    m_logger.selectRecordLimit(item);
}

void TFCOMM::N10001Click() { selectRecordLimit(0); }
void TFCOMM::N50001Click() { selectRecordLimit(1); }
void TFCOMM::N100001Click() { selectRecordLimit(2); }
void TFCOMM::N500001Click() { selectRecordLimit(3); }
void TFCOMM::N1000001Click() { selectRecordLimit(4); }
// Ten million rows: "limitless" in practice.
void TFCOMM::limitessClick() { selectRecordLimit(5); }
