#pragma once

#include "transport/serialbackend.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

// The enumerations of the port settings; the ordinal is what the line
// settings are built from.
enum TComPortNumber { pnCOM1, pnCOM2, pnCOM3, pnCOM4 };
enum TComPortBaudRate {
    br110, br300, br600, br1200, br2400, br4800, br9600,
    br14400, br19200, br38400, br56000, br57600, br115200,
};
enum TComPortDataBits { db5BITS, db6BITS, db7BITS, db8BITS };
enum TComPortStopBits { sb1BITS, sb1HALFBITS, sb2BITS };
enum TComPortParity { ptNONE, ptODD, ptEVEN, ptMARK, ptSPACE };
enum TComPortHwHandshaking { hhNONE, hhRTSCTS };
enum TComPortSwHandshaking { shNONE, shXONXOFF };

class TCommPortDriver;

// Receive event: `data` points to `size` (at least 1) received bytes in the
// driver's receive buffer, valid only during the call.
using TComPortReceiveDataEvent = std::function<void(TCommPortDriver *sender, const std::uint8_t *data, int size)>;

// Opens one serial port, sets its line parameters and delivers what it
// receives by polling: a timer on the thread that created the driver reads
// once per tick whatever the system has queued, at most ComPortInBufSize
// bytes, and hands a non-empty read to OnReceiveData. The driver never writes
// to the port. It reports through Boolean results; lastOpenError() says why
// the last open failed.
class TCommPortDriver : public QObject
{
    Q_OBJECT

public:
    // Runs on the backend of this platform.
    explicit TCommPortDriver(QObject *parent = nullptr);
    explicit TCommPortDriver(std::unique_ptr<SerialBackend> backend, QObject *parent = nullptr);
    ~TCommPortDriver() override;

    // Ignored while the port is open.
    TComPortNumber ComPort() const { return m_comPort; }
    void setComPort(TComPortNumber port);
    // A device path opened instead of ComPort when not empty; ignored while
    // the port is open. The command-line tool reads any tty this way.
    QString ComPortDevice() const { return m_comPortDevice; }
    void setComPortDevice(const QString &path);

    // Line settings: stored, and applied at once while the port is open.
    TComPortBaudRate ComPortSpeed() const { return m_speed; }
    void setComPortSpeed(TComPortBaudRate speed);
    TComPortDataBits ComPortDataBits() const { return m_dataBits; }
    void setComPortDataBits(TComPortDataBits dataBits);
    TComPortStopBits ComPortStopBits() const { return m_stopBits; }
    void setComPortStopBits(TComPortStopBits stopBits);
    TComPortParity ComPortParity() const { return m_parity; }
    void setComPortParity(TComPortParity parity);
    TComPortHwHandshaking ComPortHwHandshaking() const { return m_hwHandshaking; }
    void setComPortHwHandshaking(TComPortHwHandshaking handshaking);
    TComPortSwHandshaking ComPortSwHandshaking() const { return m_swHandshaking; }
    void setComPortSwHandshaking(TComPortSwHandshaking handshaking);

    // Queue sizes: ignored while the port is open. The receive buffer follows
    // ComPortInBufSize.
    quint16 ComPortInBufSize() const { return m_inBufSize; }
    void setComPortInBufSize(quint16 size);
    quint16 ComPortOutBufSize() const { return m_outBufSize; }
    void setComPortOutBufSize(quint16 size);

    // Milliseconds between two reads; a change while open restarts the timer.
    quint16 ComPortPollingDelay() const { return m_pollingDelay; }
    void setComPortPollingDelay(quint16 delay);

    // Takes effect at the next open or ApplySettings.
    bool EnableDTROnOpen() const { return m_enableDtrOnOpen; }
    void setEnableDTROnOpen(bool enable) { m_enableDtrOnOpen = enable; }
    // Kept for the settings' sake; nothing is ever written to the port.
    quint16 OutputTimeout() const { return m_outputTimeout; }
    void setOutputTimeout(quint16 timeout) { m_outputTimeout = timeout; }

    TComPortReceiveDataEvent OnReceiveData() const { return m_onReceiveData; }
    void setOnReceiveData(TComPortReceiveDataEvent handler) { m_onReceiveData = std::move(handler); }

    // Opens the port, applies the settings, sets the read timeouts and starts
    // polling. True when the port is open afterwards; opening an open port
    // does nothing else.
    bool OpenPort();
    // Stops polling and closes the port; nothing when it is closed.
    void ClosePort();
    bool IsOpen() const { return m_open; }
    // Writes the line settings, purges both directions and sets the queue
    // sizes, in that order; only while open.
    void ApplySettings();
    // Discards what the system holds for the chosen directions; only while open.
    void PurgeBuffers(bool input, bool output);

    // One poll: what the timer runs; public so a test can tick by hand.
    void PollTick();

    // "COM1".."COM4", or ComPortDevice() when that is set.
    QString portName() const;
    // Why the last OpenPort failed, as one sentence naming the port, its
    // device and the reason; empty after a successful open.
    QString lastOpenError() const { return m_lastOpenError; }
    SerialError lastOpenErrorKind() const { return m_lastOpenErrorKind; }
    // Why the last ApplySettings could not set the line as asked; empty when
    // it could. The driver goes on regardless, as a failed setting leaves
    // the line as it was.
    QString lastSettingsError() const { return m_lastSettingsError; }

    // The line settings ApplySettings writes for the current properties.
    SerialLineState lineState() const;
    // Bit rate of a TComPortBaudRate.
    static std::uint32_t baudRate(TComPortBaudRate speed);

signals:
    // Reads started failing (the device went away, the other end of a
    // pseudo-terminal closed); once per run of failures. The port stays open
    // and is polled on, as the meter link never gives up by itself.
    void readFailed(const QString &reason);

private:
    void reapplyIfOpen();
    void startPolling();

    std::unique_ptr<SerialBackend> m_backend;
    QTimer m_pollTimer{this};
    std::unique_ptr<std::uint8_t[]> m_receiveBuffer;

    TComPortNumber m_comPort = pnCOM2;
    QString m_comPortDevice;
    TComPortBaudRate m_speed = br9600;
    TComPortDataBits m_dataBits = db8BITS;
    TComPortStopBits m_stopBits = sb1BITS;
    TComPortParity m_parity = ptNONE;
    TComPortHwHandshaking m_hwHandshaking = hhNONE;
    TComPortSwHandshaking m_swHandshaking = shNONE;
    quint16 m_inBufSize = 2048;
    quint16 m_outBufSize = 2048;
    quint16 m_pollingDelay = 50;
    bool m_enableDtrOnOpen = true;
    quint16 m_outputTimeout = 4000;
    TComPortReceiveDataEvent m_onReceiveData;

    bool m_open = false;
    bool m_readFailing = false;
    QString m_lastOpenError;
    SerialError m_lastOpenErrorKind = SerialError::None;
    QString m_lastSettingsError;
};
