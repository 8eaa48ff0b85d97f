#pragma once

#include "log/logjournal.h"
#include "log/logtable.h"
#include "log/readinglogger.h"
#include "meter/frameassembler.h"
#include "meter/framedecoder.h"
#include "meter/historylist.h"
#include "meter/limits.h"
#include "meter/meterframe.h"
#include "session/timeofdayclock.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class AbandonedJournal;
class LocaleInfo;
class SerialPortDriver;
class UsbLink;

// Which link is up. A lost link either ends (Idle) or, with reconnecting on,
// waits for the same device to come back.
enum class LinkState { Idle, Serial, Usb, WaitingForSerial, WaitingForUsb };

// What went wrong with a link; the window words it for the user.
struct LinkFailure
{
    enum class Kind {
        PortNotOpened,     // detail: the port driver's sentence (port, device, reason)
        PortLost,          // reads failed or the line hung up; detail: the reason
        CableNotFound,     // no device that looks like the cable is selected; a path asked for: device, and detail why
        CableNotReadable,  // device: its path; detail: why this user may not read it
        CableIdle,         // the cable reports, but carries no meter data; the link ended
        CableSilent,       // the cable sends no reports at all
        CableLost,         // the cable went away during the link
        CableInUse,        // device: its path; detail: who holds it ("qm320 (process 1234) holds it") or why it cannot be claimed
    };
    Kind kind = Kind::PortNotOpened;
    QString port;         // "COM1", or the cable's display text
    QString device;       // the device path
    QString detail;
    bool reconnecting = false;   // a lost link waits for its device to come back
};

// One meter's readings, from the link to the log, without any widget: the
// serial port driver or the USB cable link, frame assembly, the decoder, the
// Pass/Fail judgement against the limit texts, and the decision which
// readings become rows of the log table. What happened is announced by the
// signals; the window and the command-line tool use this same object, so a
// command-line run is a window run without pixels.
//
// A reading travels forward, each class once: link -> FrameAssembler ->
// FrameDecoder -> readingDecoded (the window shows it) -> ReadingLogger ->
// rowLogged (the window moves the bar graph and the chart).
class MeterSession : public QObject
{
    Q_OBJECT
public:
    // The meter repeats its display every 400 ms or so; three ticks of
    // ConnectionTickMs without a frame mean that no data is arriving.
    static constexpr int ConnectionTickMs = 100;
    // Reports without meter bytes in a row that make the USB idle time-out.
    static constexpr int IdleReportCount = 1900;
    // How often a waiting link looks for its device: well within the two
    // seconds a user waits for a replugged adapter to be taken up again.
    static constexpr int ReconnectTickMs = 500;
    static constexpr const char *DefaultHighLimit = "4000";
    static constexpr const char *DefaultLowLimit = "-4000";

    // The locale must outlive the session. Without a serial backend the
    // system's is used; without a HID backend there is no USB link (a
    // command-line run that reads a file needs neither).
    MeterSession(const LocaleInfo &locale, std::unique_ptr<SerialBackend> serialBackend,
                 std::unique_ptr<HidBackend> hidBackend, QObject *parent = nullptr);
    // Stops the links before anything they deliver to goes.
    ~MeterSession() override;

    // Starts the connection timer and the USB device list (its first pass
    // lists the devices and selects the cable). Connect to the signals first.
    void start();

    LinkState linkState() const { return m_linkState; }

    // The serial link. The port is "COM1".."COM4" or a device path; it
    // cannot change while the link is up.
    QString serialPort() const { return m_serialPort; }
    void setSerialPort(const QString &port);
    bool connectSerial();
    void disconnectSerial();

    // The USB link: the selected device, or the one at `devicePath`.
    bool connectUsb(const QString &devicePath = QString());
    void disconnectUsb();
    // Ends the link, or stops waiting for its device.
    void disconnectLink();

    // Whether a lost link waits for the same device (the same serial adapter,
    // found through its by-id name; the same cable, by path or by product
    // and serial number) and goes on by itself when it is back.
    bool reconnects() const { return m_reconnect; }
    void setReconnect(bool reconnect);
    // What a waiting link waits for: "COM1", or the cable's display text.
    QString awaitedDevice() const { return m_lostLink.port; }
    UsbLink &usbLink() { return *m_usbLink; }

    // Meter data that does not come through a link: a capture file, a test.
    void feedSerialBytes(QByteArrayView bytes);
    void feedReport(std::uint8_t reportId, QByteArrayView data);

    // The limits as typed: a text that is not a number leaves the readings
    // unjudged until it is one again.
    QString highLimitText() const { return m_highLimit; }
    QString lowLimitText() const { return m_lowLimit; }
    void setLimitTexts(const QString &high, const QString &low);
    // The user's decimal separator as the last frame read it.
    QString decimalSeparator() const { return m_decimalSeparator; }

    // Logging.
    LogTable &log() { return m_log; }
    const ReadingLogger &logger() const { return m_logger; }
    void setRepeat(bool repeat) { m_logger.setRepeat(repeat); }
    // Switching sampling off stops the sampling timer at the next frame.
    void setSampling(bool sampling) { m_logger.setSampling(sampling); }
    // A running timer keeps its phase when the interval does not change.
    void setSamplingInterval(int milliseconds);
    int samplingInterval() const { return m_samplingTimer.interval(); }
    void setRecordLimit(qint32 limit);
    // The record limit is reached: logging has stopped.
    bool isLogFull() const { return m_logger.isFull(); }
    // Empties the log and starts a new journal.
    void clearLog();
    // While a table file is being opened, or the user answers a question
    // that may end the log (quit, empty it), readings wait; at release they
    // are logged, after the file's rows, into the journal and among the
    // unsaved rows, with the times they arrived. Holds nest: the readings
    // are logged when the last one is released.
    void holdReadings();
    void releaseReadings();
    // A table file was opened into the log; one that replaced the log took
    // the unsaved rows with it (the user was asked first), and their journal.
    void noteLogOpened(bool replaced);

    // Rows logged since the log was last saved, cleared or opened anew.
    int unsavedRows() const { return m_unsavedRows; }
    // The log was saved to a file, but for the rows logged while it was
    // being written.
    void markSaved(int rowsNotInFile = 0) { m_unsavedRows = rowsNotInFile; }
    // The user chose not to keep the unsaved rows: at the end, the journal
    // goes with them.
    void discardUnsaved() { m_unsavedRows = 0; }

    // The journal: every logged row goes to a file in `folder` as well, so
    // that a crash loses nothing; it is removed at the end when nothing in
    // it is unsaved. False when it cannot be written (journalFailed says why).
    bool startJournal(const QString &folder);
    // Takes up the readings of a journal an earlier run left, exactly those
    // counted when it was taken, with the counters going on after them and
    // new rows following them on disk. False (`error` says why) leaves the
    // log as it was and the journal whole.
    bool recoverJournal(AbandonedJournal &journal, QString *error = nullptr);
    QString journalFile() const { return m_journal.fileName(); }

    // The last decoded frame and what it decoded to.
    const MeterFrame &lastFrame() const { return m_lastFrame; }
    const DecodeResult &lastResult() const { return m_decoder.lastResult(); }
    const DecoderMemory &decoderMemory() const { return m_decoder.memory(); }
    long long decodedFrames() const { return m_decodedFrames; }
    bool dataArriving() const { return m_dataArriving; }
    std::int32_t emptyReportCount() const { return m_assembler.emptyReportCount(); }
    // The diagnostic history of the USB link.
    HistoryList &history() { return m_history; }

    // The clock whose local time of day each logged row carries; a test
    // gives its own.
    void setClock(std::unique_ptr<LocalClock> clock) { m_clock = TimeOfDayClock(std::move(clock)); }

    // What the timers run; public so a test can tick by hand.
    void tickConnection();
    void tickSampling();
    void tryReconnect();

signals:
    // A frame was decoded and judged. The result is valid during the
    // emission; its reading's judgeText keeps the last judgement while a
    // limit is not a number.
    void readingDecoded(const DecodeResult &result);
    // The limit texts were rewritten for the user's decimal separator.
    void limitTextsRewritten(const QString &high, const QString &low);
    void rowLogged(int row, double numericValue);
    void logCleared();
    // The record limit was reached (logging stopped) or is no longer.
    void logFullChanged(bool full);
    // The journal cannot be written; said once. Logging goes on in memory.
    void journalFailed(const QString &reason);
    void dataArrivingChanged(bool arriving);
    void linkStateChanged(LinkState state);
    void linkFailed(const LinkFailure &failure);

private:
    void decodeFrame(const MeterFrame &frame);
    void logRow(const std::optional<LoggedRow> &row);
    void checkLogFull();
    void checkJournal();
    void setLinkState(LinkState state);
    void setDataArriving(bool arriving);
    void onReport(std::uint8_t reportId, QByteArrayView data);
    void onSerialReadFailed(const QString &reason);
    void onCableLost(const QString &reason);
    void loseLink(LinkFailure failure);
    void fail(LinkFailure::Kind kind, const QString &device = QString(), const QString &detail = QString());

    const LocaleInfo &m_locale;
    // Declared first, destroyed last: the links below deliver into these.
    FrameAssembler m_assembler;
    FrameDecoder m_decoder;
    LogTable m_log;
    ReadingLogger m_logger;
    LogJournal m_journal{m_log};
    QString m_journalFolder;
    bool m_journalFailureReported = false;
    QTimer m_journalTimer;
    int m_unsavedRows = 0;
    int m_holds = 0;
    bool m_logFull = false;
    HistoryList m_history;
    MeterFrame m_lastFrame;
    long long m_decodedFrames = 0;
    TimeOfDayClock m_clock;

    QString m_decimalSeparator;
    QString m_highLimit = QString::fromLatin1(DefaultHighLimit);
    QString m_lowLimit = QString::fromLatin1(DefaultLowLimit);
    LimitJudge m_judge;

    QTimer m_connectionTimer;
    QTimer m_samplingTimer;
    int m_noFrameTicks = 0;
    bool m_dataArriving = false;

    LinkState m_linkState = LinkState::Idle;
    QString m_serialPort = QStringLiteral("COM1");
    QString m_serialDevice;        // the adapter the link reads, by its stable name
    bool m_reconnect = false;
    LinkFailure m_lostLink;        // what a waiting link lost
    QTimer m_reconnectTimer;
    std::unique_ptr<SerialPortDriver> m_serial;
    std::unique_ptr<UsbLink> m_usbLink;
};
