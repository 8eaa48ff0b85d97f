#pragma once

#include "app/usermessages.h"
#include "app/windowdialogs.h"
#include "log/logtable.h"
#include "log/readinglogger.h"
#include "log/tablefiles.h"
#include "meter/decoderhost.h"
#include "meter/frameassembler.h"
#include "meter/limits.h"
#include "meter/localeinfo.h"
#include "meter/readingdecoder.h"
#include "transport/tcommportdriver.h"
#include "transport/usbconnection.h"

#include <QMainWindow>
#include <QRect>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <vector>

class HidBackend;
class HistoryList;
class LogModel;
class QLineEdit;
class TChartControl;

namespace Ui {
class TFCOMM;
}

// What the window needs from outside: the locale, the message boxes, the
// serial port's system side and the machine name for the caption. The
// program passes the real ones, a test its stand-ins.
struct WindowServices
{
    std::unique_ptr<LocaleInfo> locale;
    std::unique_ptr<UserMessages> messages;
    std::unique_ptr<WindowDialogs> dialogs;
    std::unique_ptr<SerialBackend> serialBackend;
    std::unique_ptr<HidBackend> hidBackend;
    QString machine;   // as uname -m names it
};

WindowServices systemWindowServices();

// The program's one window, FCOMM. It owns the serial port COMM2, the HID
// controller HidCtl with the USB link, frame assembly and the decoder, the
// LCD panel, the limits and their judgement, the chart and its pager, and
// every timer. The decoder paints and judges through the DecoderHost calls;
// the serial driver's receive event feeds RECEIVE_COM_Data, the cable's
// reports reach the assembler through the USB link. Every decoded reading is
// offered to the reading log cds1, which the grid shows and the chart draws.
class TFCOMM : public QMainWindow,
               public AssemblyHost,
               public DecoderHost,
               public UsbConnectionView,
               public ReadingLogHost
{
    Q_OBJECT

public:
    explicit TFCOMM(WindowServices services, QWidget *parent = nullptr);
    ~TFCOMM() override;

    // Places the window in the middle of its screen, as it first appears.
    void centreOnScreen();

    // Receive event of COMM2.
    void RECEIVE_COM_Data(TCommPortDriver *sender, const std::uint8_t *data, int size);

    // Port choice: each sets COMM2's port, shows its own port panel and
    // checks its own ComSetup1 item.
    void COM11Click();
    void COM21Click();
    void COM31Click();
    void COM41Click();
    // The COM link: COMCon after its click, and the hidden connect panels.
    void COMConClick();
    void BTCon1Click();
    void BtDiscon1Click();
    // Every 100 ms: turns the link picture dark after three ticks without a
    // frame, and then times out a USB link whose cable carries no meter data.
    void ConTimerTimer();

    // The USB link: USBCon after its click, and the hidden working controls.
    void USBConClick();
    void SetFeatureClick();
    void ReadBtnClick();
    void ClearBtnClick();
    void InfoBtnClick();

    // Limit edits: a change restarts the edit's 500 ms timer, which then
    // puts the last valid text back if the text is not a number.
    void T1HIChange();
    void Timer1Timer();
    void T1LOChange();
    void Timer4Timer();

    // Exits: Quit asks first, the hidden Exit panel does not.
    void BitBtn1Click();
    void BtExit1Click();

    // The chart: its series, fill choice, pages, page size, enlarge and restore.
    void ShowSeries(int index);
    void btFillClick();
    void FillClick();
    void BtFirstClick();
    void BTPreviousClick();
    void BtNextClick();
    void BTlastClick();
    void BtNewClick();
    void MaxrecordChange();
    void Timer2Timer();
    void TbFdClick();
    void TbSxClick();
    // Asks for a file name (SavePictureDialog1), then saveChartPicture.
    void BtSaveClick();
    // The chart as a Windows bitmap, confirmed in a message; a failed write
    // raises an error for the application's error display.
    void saveChartPicture(const QString &fileName);

    // The Record menu's limit items.
    void N10001Click();
    void N50001Click();
    void N100001Click();
    void N500001Click();
    void N1000001Click();
    void limitessClick();

    // The log: New asks first; the sampling interval edit sets Timer3.
    void RecordNewClick();
    void RecordSITimeChange();
    void Timer3Timer();

    // Table files: save (SaveDialog2) and open (OpenDialog1); saveTable and
    // openTable do the work for a chosen name, with the program's messages.
    void saveasClick();
    void SpeedButton2Click();
    void saveTable(const QString &fileName);
    void openTable(const QString &fileName);
    // The Data Report of the rows logged so far, in a print preview.
    void BtPrintClick();

    ReadingDecoder &decoder() { return m_decoder; }
    FrameAssembler &assembler() { return m_assembler; }
    TCommPortDriver &COMM2() { return *m_comm2; }
    TChartControl *ChartPager() const { return m_chartPager.get(); }
    HistoryList &history() { return *m_history; }
    LogTable &cds1() { return m_cds1; }
    ReadingLogger &logger() { return m_logger; }
    UsbConnection &usb() { return *m_usb; }
    TJvHidDeviceController &HidCtl() { return *m_hidCtl; }

    // ConTimer ticks since the last decoded frame, 0 to 2.
    int NoFrameTicks = 0;
    // The last texts of T1HI and T1LO that passed validation.
    QString LastValidHigh;
    QString LastValidLow;

    // AssemblyHost
    void decodeFrame(const FrameText &frame) override;
    void addReportLine(const QString &line) override;
    void showNibbleTrace(const QString &text) override;

    // DecoderHost
    void rewriteLimitTexts(const QString &decimalSeparator) override;
    void showConnectionOk() override;
    void hideAnnunciators() override;
    void paintAnnunciators(const Reading &reading) override;
    bool fillChecked() const override;
    void showSeries(int index) override { ShowSeries(index); }
    void showMinMax(const QString &maxText, const QString &minText, const QString &unitText) override;
    void paintDigits(const Reading &reading) override;
    void setVerticalAxis(double maximum, double minimum) override;
    void judge(Reading &reading) override;
    void updateBarGraphMaximum(double axisMaximum) override;
    bool samplingMode() const override;
    void setSamplingTimerEnabled(bool enabled) override;
    void INDataToTable() override;

    // ReadingLogHost
    bool repeatChecked() const override;
    bool samplingChecked() const override;
    QTime timeOfDay() const override;
    // The bar graph's position, set by the log for every row it appends;
    // the bar shows it clamped to its range.
    void setBarGraphPosition(qint32 position) override;
    void addChartPoint(double value) override;
    void resetChart() override;

    // UsbConnectionView
    void setUsbConDown(bool down) override;
    void setUsbConCaption(const QString &caption) override;
    void setComControlsVisible(bool visible) override;
    void setReadBtnUp() override;
    void showInformation(const QString &text) override;
    void showError(const QString &text) override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void FormCreate();
    void applyDesignLook();
    void setupConnections();

    void selectComPort(TComPortNumber port);
    void setComLinkMenus(bool linked);
    void setComLinkPanels(bool linked);
    void showJudgement(Judgement judgement);
    bool limitKeyPress(QLineEdit *edit, QChar key) const;
    void validateLimit(QLineEdit *edit, QString &lastValid, QTimer &timer);
    void selectRecordLimit(int item);
    void setupLogGrid();
    TableFileProgress fileProgress(const QString &label);
    void createUsbLink(std::unique_ptr<HidBackend> backend);
    UsbModelChoice modelChoice() const;
    void showDeviceList();
    void showPageNumber();

    std::unique_ptr<Ui::TFCOMM> m_ui;
    std::unique_ptr<LocaleInfo> m_locale;
    std::unique_ptr<UserMessages> m_messages;
    std::unique_ptr<WindowDialogs> m_dialogs;
    TCommPortDriver *m_comm2 = nullptr;
    HistoryList *m_history = nullptr;
    TJvHidDeviceController *m_hidCtl = nullptr;
    UsbConnection *m_usb = nullptr;
    FrameAssembler m_assembler{*this};
    ReadingDecoder m_decoder;
    std::unique_ptr<TChartControl> m_chartPager;
    LogTable m_cds1;
    ReadingLogger m_logger;
    LogModel *m_logModel = nullptr;
    bool m_fileBusy = false;
    // While a table file is being opened, readings wait here with the time
    // they arrived, so they land after the file's rows rather than among them.
    struct DeferredReading
    {
        Reading reading;
        QTime time;
        bool samplingTick = false;
    };
    bool m_opening = false;
    std::vector<DeferredReading> m_deferred;
    QTime m_replayTime;
    void logDeferredReadings();
    QString m_machine;

    QTimer m_conTimer;
    QTimer m_timer1;
    QTimer m_timer2;
    QTimer m_timer3;
    QTimer m_timer4;

    QRect m_rememberedChart;   // the chart's normal bounds while it is enlarged
    qint32 m_barPosition = 30;
};
