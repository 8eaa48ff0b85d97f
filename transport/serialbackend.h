#pragma once

#include "transport/serialsettings.h"

#include <QString>

#include <cstdint>
#include <memory>

// Why an operation failed.
enum class SerialError {
    None,
    NoSuchPort,       // no device by that name, or no hardware behind it
    PermissionDenied, // the device exists but this user may not open it
    InUse,            // another program holds the port
    NotASerialPort,   // the name names something that is not a serial line
    Unsupported,      // a setting the device or the system cannot honour
    Io,               // the device failed or went away
};

// One poll of the receive queue.
struct SerialRead
{
    enum class Status { Data, Nothing, Failed };
    Status status = Status::Nothing;
    int count = 0; // bytes placed in the buffer, for Data only
};

// The operating-system side of a serial port: everything the port driver asks
// of the system goes through here, so the driver's logic runs the same on a
// real device, on a pseudo-terminal and against a test's fake. The program
// only listens to the meter, so there is no write.
class SerialBackend
{
public:
    virtual ~SerialBackend() = default;

    // Opens `name` ("COM1".."COM4" or an absolute device path) for exclusive
    // use and sets the line up as `settings` says. A port left at a setting
    // other than the one asked for would deliver garbage, so a setting the
    // device or the system does not take fails the open (Unsupported). On
    // any failure the backend stays closed and error()/errorString() say why
    // in one sentence naming the port and the device it maps to. Opening an
    // open backend closes it first.
    virtual bool open(const QString &name, const SerialSettings &settings) = 0;

    // Reads what the system has queued, at most `capacity` bytes, and returns
    // at once. A line that hung up (an adapter pulled) is a failure, not an
    // empty queue. A failure leaves the reason in errorString(); a backend
    // keeps the failure path free of allocation when the same error repeats,
    // as the driver meets it at every poll.
    virtual SerialRead read(std::uint8_t *buffer, int capacity) = 0;

    // Discards what the system has received and not yet handed to read().
    virtual bool flush() = 0;

    // Closes the port; closing a closed backend does nothing.
    virtual void close() = 0;

    SerialError error() const { return m_error; }
    QString errorString() const { return m_errorString; }

protected:
    void setError(SerialError error, const QString &text)
    {
        m_error = error;
        m_errorString = text;
    }
    void clearError() { setError(SerialError::None, QString()); }

private:
    SerialError m_error = SerialError::None;
    QString m_errorString;
};

// The backend of this platform.
std::unique_ptr<SerialBackend> createSerialBackend();
