#pragma once

#include "transport/serialbackend.h"
#include "transport/serialsettings.h"

#include <QByteArrayView>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <cstdint>
#include <memory>

// Receives from one serial port by polling: a timer on the thread that created
// the driver reads, every PollIntervalMs, whatever the system has queued (at
// most ReceiveBufferSize bytes) and hands a non-empty read to dataReceived.
// The driver never writes to the port.
class SerialPortDriver : public QObject
{
    Q_OBJECT

public:
    // The meter sends a 14-byte frame about every 400 ms and the line carries
    // at most 240 bytes a second: a poll every 100 ms keeps the display
    // current, and one read takes in more than 8 s of a busy line.
    static constexpr int PollIntervalMs = 100;
    static constexpr int ReceiveBufferSize = 2048;

    // Runs on the backend of this platform.
    explicit SerialPortDriver(QObject *parent = nullptr);
    explicit SerialPortDriver(std::unique_ptr<SerialBackend> backend, QObject *parent = nullptr);
    ~SerialPortDriver() override;

    // Opens `portName` ("COM1".."COM4" or a device path) with `settings`,
    // discards what was received before and starts polling. On failure the
    // driver stays closed and lastError()/lastErrorKind() say why. Opening an
    // open driver does nothing and returns true, whatever it is given.
    bool open(const QString &portName, const SerialSettings &settings);
    // Stops polling and closes the port; nothing when it is closed.
    void close();
    bool isOpen() const { return m_open; }

    // What the last successful open was given; a failed open leaves them.
    QString portName() const { return m_portName; }
    SerialSettings settings() const { return m_settings; }

    // Why the last open failed, as one sentence naming the port, its device
    // and the reason; empty, and None, after a successful open.
    QString lastError() const { return m_lastError; }
    SerialError lastErrorKind() const { return m_lastErrorKind; }

    // One poll: what the timer runs; public so a test can tick by hand.
    void poll();

signals:
    // Bytes the port received, at least one. The view points into the
    // driver's buffer and is valid during the emission only: copy what must
    // outlive it, and connect directly (a queued connection, or a
    // QSignalSpy, would keep the view after the bytes are gone).
    void dataReceived(QByteArrayView bytes);
    // Reads started failing (the device went away, the other end of a
    // pseudo-terminal closed); once per run of failures. The port stays open
    // and is polled on: whether a failure ends the link is for the owner to
    // decide.
    void readFailed(const QString &reason);

private:
    std::unique_ptr<SerialBackend> m_backend;
    QTimer m_pollTimer{this};
    std::array<std::uint8_t, ReceiveBufferSize> m_receiveBuffer{};

    QString m_portName;
    SerialSettings m_settings;
    bool m_open = false;
    bool m_readFailing = false;
    QString m_lastError;
    SerialError m_lastErrorKind = SerialError::None;
};
