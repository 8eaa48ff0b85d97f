#pragma once

#include "app/usermessages.h"
#include "app/windowdialogs.h"
#include "app/windowsettings.h"
#include "log/tablefiles.h"
#include "shared/localeinfo.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"

#include <QMainWindow>
#include <QRect>

#include <functional>
#include <memory>
#include <optional>

class BrokerPublishing;
class ChartControls;
class ChartPager;
class LogFileCommands;
class LogGridColumns;
class LogModel;
class LogStatistics;
class MessagePublisher;
class MeterSession;
class SettingsBinding;
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
    // Makes the publisher of readings to a broker; empty: the system's.
    std::function<std::unique_ptr<MessagePublisher>()> createPublisher;
};

WindowServices systemWindowServices();

// The program's one window: a view of one MeterSession. It shows each
// reading on the LCD panel, the measured value and the Pass/Fail disc, logs
// rows into the grid, the chart and the statistics line, and turns the user's
// clicks and keys into calls on the session and on its parts: the file
// commands, the chart's controls, the settings and the broker.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(WindowServices services, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Places the window in the middle of its screen, as it first appears.
    void centreOnScreen();

    MeterSession &session() { return *m_session; }
    LogFileCommands &fileCommands() { return *m_files; }
    ChartControls &chartControls() { return *m_chart; }
    BrokerPublishing &publishing() { return *m_publishing; }
    const ChartPager &chartPager() const;

    // At start: offers the rows of a journal that an earlier run left.
    void offerRecovery();

    // What the user's clicks and keys do.
    void selectNextPort();
    // COM1..COM4 or a device path, shown on the port button.
    void selectPort(const QString &port);
    void setComLink(bool connected);
    void setUsbLink(bool connected);
    void quit();
    void setRecordLimit(qint32 limit);
    void setSamplingIntervalText(const QString &text);
    // Asks for the broker's address and publishes there (or stops).
    void chooseBroker();
    // Publishes every reading to the broker at `address` (empty: nowhere);
    // an address that cannot be published to is said.
    void publishTo(const QString &address);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The cable path to connect (empty: the selected one), or nothing when
    // the user cancelled the choice.
    std::optional<QString> chooseCable();

    // What the session announces.
    void showReading(const DecodeResult &result);
    void showRowLogged(int row, double numericValue);
    void showLinkState(LinkState state);
    void showLinkFailure(const LinkFailure &failure);
    void showDataArriving(bool arriving);
    void showLimitTexts(const QString &high, const QString &low);
    void showDecimalSeparator();
    void showLogFull(bool full);
    void showRecordLimitLine(bool shown);
    void showStatistics();
    void showPublishingStatus();
    // The parts that follow the window's size, placed for the client area's.
    void placeParts();
    void showJournalFailure(const QString &reason);

    void setupConnections();
    void setupLogGrid();
    void setBarGraphPosition(qint32 position);

    std::unique_ptr<Ui::MainWindow> m_ui;
    std::unique_ptr<LocaleInfo> m_locale;
    std::unique_ptr<UserMessages> m_messages;
    std::unique_ptr<WindowDialogs> m_dialogs;
    // Declared after what it needs and destroyed before the rest of the
    // window: it stops its links first, so nothing they deliver arrives here.
    std::unique_ptr<MeterSession> m_session;
    std::unique_ptr<LogModel> m_logModel;
    std::unique_ptr<LogGridColumns> m_gridColumns;
    std::unique_ptr<LogStatistics> m_statistics;
    std::unique_ptr<BrokerPublishing> m_publishing;
    std::unique_ptr<LogFileCommands> m_files;
    std::unique_ptr<ChartControls> m_chart;
    std::unique_ptr<SettingsBinding> m_settings;

    int m_portNumber = 1;       // COM1..COM4
    QString m_decimalSeparator; // what the limit edits' key filters were given
    qint32 m_barPosition = 30;  // before clamping to the bar's range
    bool m_closed = false;      // the user quit: readings stay held to the end
    QRect m_gridPlace;          // the log grid's bounds with the lines under it
    QString m_dataFolder;       // where the journals are
    QString m_settingsFile;     // empty: settings are not kept
};
