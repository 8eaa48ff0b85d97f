#pragma once

#include "app/usermessages.h"
#include "app/windowdialogs.h"
#include "app/windowsettings.h"
#include "log/tablefiles.h"
#include "meter/localeinfo.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"

#include <QMainWindow>
#include <QRect>
#include <QTimer>

#include <memory>
#include <optional>

class ChartPager;
class LogModel;
class MeterSession;
struct DecodeResult;
struct LinkFailure;
enum class LinkState;

namespace Ui {
class MainWindow;
}

// What the window needs from outside: the locale, the message boxes, the
// file dialogs, the serial port's and the HID devices' system side, and the
// machine name for the caption. The program passes the real ones, a test its
// stand-ins.
struct WindowServices
{
    std::unique_ptr<LocaleInfo> locale;
    std::unique_ptr<UserMessages> messages;
    std::unique_ptr<WindowDialogs> dialogs;
    std::unique_ptr<SerialBackend> serialBackend;
    std::unique_ptr<HidBackend> hidBackend;
    QString machine;      // as uname -m names it
    QString dataFolder;   // where the log's journal goes; empty: no journal
    QString settingsFile; // where the settings stay between runs; empty: none are kept
};

WindowServices systemWindowServices();

// The program's one window: a view of one MeterSession. It shows each
// reading on the LCD panel, the measured value and the Pass/Fail disc, logs
// rows into the grid and the chart, and turns the user's clicks into calls on
// the session and on the log files.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    static constexpr int ChartPageSize = 100;

    explicit MainWindow(WindowServices services, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Places the window in the middle of its screen, as it first appears.
    void centreOnScreen();

    MeterSession &session() { return *m_session; }
    const ChartPager &chartPager() const { return *m_chartPager; }

    // At start: offers the rows of a journal that an earlier run left.
    void offerRecovery();

    // What the user's clicks and keys do.
    void selectNextPort();
    // COM1..COM4 or a device path, shown on the port button.
    void selectPort(const QString &port);
    void setComLink(bool connected);
    void setUsbLink(bool connected);
    void quit();
    void clearLog();
    void openLog();
    void openLogFile(const QString &fileName, TableOpenMode mode = TableOpenMode::Append);
    bool saveLog();
    bool saveLogFile(const QString &fileName);
    void printLog();
    void setFill(bool fill);
    void showFirstPage();
    void showPreviousPage();
    void showNextPage();
    void showLastPage();
    void applyPageSize();
    void enlargeChart();
    void restoreChart();
    void saveChartPicture();
    void saveChartPictureFile(const QString &fileName);
    void setRecordLimit(qint32 limit);
    void setSamplingIntervalText(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // Asks whether to save unsaved rows before they could be lost; true when
    // the action may go on (saved, discarded, or nothing to lose).
    bool keepUnsavedRows();
    // Before an open: whether the file's rows go after the log's or replace
    // them, asking when unsaved rows are at stake; nothing when the user
    // cancels.
    std::optional<TableOpenMode> askHowToOpen(const QString &fileName);
    // The cable path to connect (empty: the selected one), or nothing when
    // the user cancelled the choice.
    std::optional<QString> chooseCable();
    void applySettings(const WindowSettings &settings);
    WindowSettings currentSettings() const;
    void redrawChartFromLog();

    // What the session announces.
    void showReading(const DecodeResult &result);
    void showRowLogged(int row, double numericValue);
    void showLogCleared();
    void showLinkState(LinkState state);
    void showLinkFailure(const LinkFailure &failure);
    void showDataArriving(bool arriving);
    void showLimitTexts(const QString &high, const QString &low);
    void showDecimalSeparator();
    void showLogFull(bool full);
    void showRecordLimitLine(bool shown);
    void showJournalFailure(const QString &reason);

    void setupConnections();
    void setupLogGrid();
    void fitLogColumns();
    void fitNumberColumn(int first, int last);
    void setBarGraphPosition(qint32 position);
    void showPageNumber();
    void turnChartPage(void (ChartPager::*turn)());
    QList<QWidget *> coveredByEnlargedChart() const;

    std::unique_ptr<Ui::MainWindow> m_ui;
    std::unique_ptr<LocaleInfo> m_locale;
    std::unique_ptr<UserMessages> m_messages;
    std::unique_ptr<WindowDialogs> m_dialogs;
    // Declared after what it needs and destroyed before the rest of the
    // window: it stops its links first, so nothing they deliver arrives here.
    std::unique_ptr<MeterSession> m_session;
    std::unique_ptr<LogModel> m_logModel;
    std::unique_ptr<ChartPager> m_chartPager;

    QTimer m_pageSizeTimer;
    int m_portNumber = 1;          // COM1..COM4
    QString m_decimalSeparator;    // what the limit edits' key filters were given
    qint32 m_barPosition = 30;     // before clamping to the bar's range
    bool m_fileBusy = false;
    static constexpr int NumberDigitsShown = 5;
    int m_numberDigits = NumberDigitsShown;   // the row numbers the No. column fits
    bool m_negativeNumbers = false;
    bool m_closed = false;         // the user quit: readings stay held to the end
    QRect m_gridPlace;             // the log grid's bounds without the record-limit line
    QRect m_restoredChart;         // the chart's bounds while it is enlarged
    QPoint m_restoredToolbar;      // and its toolbar's place
    QString m_dataFolder;          // where the journals are
    QString m_settingsFile;        // empty: settings are not kept
    QString m_logFolder;           // last folder of the log's file dialogs
    QString m_chartFolder;         // and of the chart picture's
};
