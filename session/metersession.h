#pragma once

#include "meter/frameassembler.h"
#include "meter/framedecoder.h"
#include "meter/historylist.h"
#include "meter/limits.h"
#include "meter/meterframe.h"
#include "session/linksupervisor.h"
#include "session/readingrecorder.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>

class AbandonedJournal;
class HidBackend;
class LocaleInfo;
class SerialBackend;

// One meter's readings, from the link to the log, without any widget. The
// session assembles and decodes what its LinkSupervisor delivers, judges the
// readings against the limit texts, hands them to its ReadingRecorder at each
// frame or sampling tick, and announces what happened by its signals; the
// window and the command-line tool use this same object, so a command-line
// run is a window run without pixels. They ask it for values (the cables to
// choose from, the history lines) and hold none of the link's objects.
//
// A reading travels forward, each class once: LinkSupervisor ->
// FrameAssembler -> FrameDecoder -> readingDecoded (the window shows it) ->
// ReadingRecorder -> rowLogged (the window moves the bar graph and the chart).
class MeterSession : public QObject
{
    Q_OBJECT
public:
    // The meter repeats its display every 400 ms or so; three ticks of
    // ConnectionTickMs without a frame mean that no data is arriving.
    static constexpr int ConnectionTickMs = 100;
    // Reports without meter bytes in a row that make the USB idle time-out.
    static constexpr int IdleReportCount = 1900;
    static constexpr const char *DefaultHighLimit = "4000";
    static constexpr const char *DefaultLowLimit = "-4000";

    // The locale must outlive the session. Without a serial backend the
    // system's is used; without a HID backend there is no USB link (a
    // command-line run that reads a file needs neither).
    MeterSession(const LocaleInfo &locale, std::unique_ptr<SerialBackend> serialBackend,
                 std::unique_ptr<HidBackend> hidBackend, QObject *parent = nullptr);
    // A session on the system's serial ports without a USB link: what a
    // command-line run that reads a file or a port needs.
    explicit MeterSession(const LocaleInfo &locale, QObject *parent = nullptr);
    // Stops the links before anything they deliver to goes.
    ~MeterSession() override;

    // Starts the connection timer and the USB device list (its first pass
    // lists the devices and selects the cable). Connect to the signals first.
    void start();

    // The link, through the session's supervisor.
    LinkState linkState() const { return m_links->state(); }
    // The serial link. The port is "COM1".."COM4" or a device path; it
    // cannot change while the link is up.
    QString serialPort() const { return m_links->serialPort(); }
    void setSerialPort(const QString &port) { m_links->setSerialPort(port); }
    bool connectSerial() { return m_links->connectSerial(); }
    void disconnectSerial() { m_links->disconnectSerial(); }
    // The USB link: the selected device, or the one at `devicePath`.
    bool connectUsb(const QString &devicePath = QString()) { return m_links->connectUsb(devicePath); }
    void disconnectUsb() { m_links->disconnectUsb(); }
    // Ends the link, or stops waiting for its device.
    void disconnectLink() { m_links->disconnectLink(); }
    // Whether a lost link waits for the same device (the same serial adapter,
    // found through its by-id name; the same cable, by path or by product
    // and serial number) and goes on by itself when it is back.
    bool reconnects() const { return m_links->reconnects(); }
    void setReconnect(bool reconnect) { m_links->setReconnect(reconnect); }
    // What a waiting link waits for: "COM1", or the cable's display text.
    QString awaitedDevice() const { return m_links->awaitedDevice(); }
    // The HID devices the USB link lists, and the meter cables among them
    // to choose from; the device a USB link reads or would read.
    QList<UsbDeviceEntry> usbDevices() const { return m_links->usbDevices(); }
    QList<UsbDeviceEntry> usbCables() const { return m_links->usbCables(); }
    QString usbDevicePath() const { return m_links->selectedUsbPath(); }
    LinkSupervisor &links() { return *m_links; }
    const LinkSupervisor &links() const { return *m_links; }

    // Meter data that does not come through a link: a capture file, a test.
    void feedSerialBytes(QByteArrayView bytes);
    void feedReport(std::uint8_t reportId, QByteArrayView data);

    // The limits as typed: a text that is not a number leaves the readings
    // unjudged until it is one again.
    QString highLimitText() const { return m_highLimit; }
    QString lowLimitText() const { return m_lowLimit; }
    void setLimitTexts(const QString &high, const QString &low);
    // The user's decimal separator, read from the locale once at start.
    QString decimalSeparator() const { return m_decimalSeparator; }

    // Logging, through the session's recorder.
    ReadingRecorder &recorder() { return m_recorder; }
    LogTable &log() { return m_recorder.log(); }
    const ReadingLogger &logger() const { return m_recorder.logger(); }
    void setRepeat(bool repeat) { m_recorder.setRepeat(repeat); }
    // Switching sampling off stops the sampling timer at the next frame.
    void setSampling(bool sampling) { m_recorder.setSampling(sampling); }
    // A running timer keeps its phase when the interval does not change.
    void setSamplingInterval(int milliseconds);
    int samplingInterval() const { return m_samplingTimer.interval(); }
    void setRecordLimit(qint32 limit) { m_recorder.setRecordLimit(limit); }
    bool isLogFull() const { return m_recorder.isLogFull(); }
    void clearLog() { m_recorder.clearLog(); }
    void holdReadings() { m_recorder.holdReadings(); }
    void releaseReadings() { m_recorder.releaseReadings(); }
    void noteLogOpened(bool replaced) { m_recorder.noteLogOpened(replaced); }
    int unsavedRows() const { return m_recorder.unsavedRows(); }
    void markSaved(int rowsNotInFile = 0) { m_recorder.markSaved(rowsNotInFile); }
    void discardUnsaved() { m_recorder.discardUnsaved(); }
    bool startJournal(const QString &folder) { return m_recorder.startJournal(folder); }
    bool recoverJournal(AbandonedJournal &journal, QString *error = nullptr)
    {
        return m_recorder.recoverJournal(journal, error);
    }
    QString journalFile() const { return m_recorder.journalFile(); }

    // The last decoded frame and what it decoded to.
    const MeterFrame &lastFrame() const { return m_lastFrame; }
    const DecodeResult &lastResult() const { return m_decoder.lastResult(); }
    const DecoderMemory &decoderMemory() const { return m_decoder.memory(); }
    long long decodedFrames() const { return m_decodedFrames; }
    bool dataArriving() const { return m_dataArriving; }
    std::int32_t emptyReportCount() const { return m_assembler.emptyReportCount(); }
    // The diagnostic history of the USB link, oldest line first.
    QStringList historyLines() const { return m_history.lines(); }

    // The clock whose local time of day each logged row carries; a test
    // gives its own.
    void setClock(std::unique_ptr<LocalClock> clock) { m_recorder.setClock(std::move(clock)); }

    // What the timers run; public so a test can tick by hand.
    void tickConnection();
    void tickSampling();
    void tryReconnect() { m_links->tryReconnect(); }

signals:
    // A frame was decoded and judged. The result is valid during the
    // emission; its reading's judgement stays the last one while a
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
    // The USB link's device list changed.
    void usbDevicesChanged();
    // A set-up report went to the cable, and whether the cable took it
    // (usbAccessError says why not when the cable could not be opened).
    void cableSetUp(bool accepted, const QString &accessError);
    // A cable that sent nothing was reset.
    void cableReset();

private:
    void decodeFrame(const MeterFrame &frame);
    void onLinkStateChanged(LinkState state);
    void setDataArriving(bool arriving);
    void onReport(std::uint8_t reportId, QByteArrayView data);

    // Declared first, destroyed last: the links below deliver into these.
    FrameAssembler m_assembler;
    FrameDecoder m_decoder;
    ReadingRecorder m_recorder;
    HistoryList m_history;
    MeterFrame m_lastFrame;
    long long m_decodedFrames = 0;

    QString m_decimalSeparator;
    QString m_highLimit = QString::fromLatin1(DefaultHighLimit);
    QString m_lowLimit = QString::fromLatin1(DefaultLowLimit);
    LimitJudge m_judge;

    QTimer m_connectionTimer;
    QTimer m_samplingTimer;
    int m_noFrameTicks = 0;
    bool m_dataArriving = false;

    std::unique_ptr<LinkSupervisor> m_links;
};
