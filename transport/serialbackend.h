#pragma once

#include <QString>

#include <cstdint>
#include <memory>

// The line settings the port driver writes, in the shape of the Win32 DCB the
// driver was designed around: a bit rate, a flag word with the DCB's bit
// values, the flow-control limits and the character format. Each backend maps
// them to what its system offers and says which it cannot honour.
struct SerialLineState
{
    // Bits of the flag word.
    static constexpr std::uint32_t fBinary = 0x1;
    static constexpr std::uint32_t fOutxCtsFlow = 0x4;
    static constexpr std::uint32_t DtrControlMask = 0x30;
    static constexpr std::uint32_t DtrControlEnable = 0x10;
    static constexpr std::uint32_t DtrControlHandshake = 0x20;
    static constexpr std::uint32_t fOutX = 0x100;
    static constexpr std::uint32_t fInX = 0x200;
    static constexpr std::uint32_t RtsControlMask = 0x3000;
    static constexpr std::uint32_t RtsControlEnable = 0x1000;
    static constexpr std::uint32_t RtsControlHandshake = 0x2000;
    static constexpr std::uint32_t RtsControlToggle = 0x3000;

    std::uint32_t BaudRate = 0;
    std::uint32_t Flags = 0;
    std::uint16_t XonLim = 0;
    std::uint16_t XoffLim = 0;
    std::uint8_t ByteSize = 0;
    std::uint8_t Parity = 0;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t StopBits = 0;   // 0 one, 1 one and a half, 2 two
    char XonChar = 0;
    char XoffChar = 0;

    bool operator==(const SerialLineState &) const = default;
};

// What a read may wait for, in milliseconds, as in COMMTIMEOUTS.
struct SerialTimeouts
{
    std::uint32_t ReadIntervalTimeout = 0;
    std::uint32_t ReadTotalTimeoutMultiplier = 0;
    std::uint32_t ReadTotalTimeoutConstant = 0;
    std::uint32_t WriteTotalTimeoutMultiplier = 0;
    std::uint32_t WriteTotalTimeoutConstant = 0;

    bool operator==(const SerialTimeouts &) const = default;
};

// Flags of SerialBackend::purge, as in PurgeComm.
enum SerialPurge : std::uint32_t {
    PurgeTxAbort = 0x1,
    PurgeRxAbort = 0x2,
    PurgeTxClear = 0x4,
    PurgeRxClear = 0x8,
};

// Why an operation failed.
enum class SerialError {
    None,
    NoSuchPort,        // no device by that name, or no hardware behind it
    PermissionDenied,  // the device exists but this user may not open it
    InUse,             // another program holds the port
    NotASerialPort,    // the name names something that is not a serial line
    Unsupported,       // a setting the device or the system cannot honour
    Io,                // the device failed or went away
};

// One poll of the receive queue.
struct SerialRead
{
    enum class Status { Data, Nothing, Failed };
    Status status = Status::Nothing;
    int count = 0;   // bytes placed in the buffer, for Data only
};

// The operating-system side of a serial port: everything the port driver asks
// of the system goes through here, so the driver's logic runs the same on a
// real device, on a pseudo-terminal and against a test's fake.
class SerialBackend
{
public:
    virtual ~SerialBackend() = default;

    // Opens `name` ("COM1".."COM4" or a device path) for exclusive use. On
    // failure the backend stays closed and error()/errorString() say why,
    // naming the port and the device it maps to.
    virtual bool open(const QString &name) = 0;
    // Closes the port; closing a closed backend does nothing.
    virtual void close() = 0;

    // Each returns false, with error()/errorString() set, when the system
    // refuses or the setting cannot be honoured.
    virtual bool setLineState(const SerialLineState &state) = 0;
    virtual bool purge(std::uint32_t flags) = 0;
    virtual bool setQueueSizes(std::uint32_t inSize, std::uint32_t outSize) = 0;
    virtual bool setTimeouts(const SerialTimeouts &timeouts) = 0;

    // Reads what the system has queued, at most `capacity` bytes, and returns
    // at once. A failure leaves the reason in errorString(); a backend keeps
    // the failure path free of allocation when the same error repeats.
    virtual SerialRead read(std::uint8_t *buffer, int capacity) = 0;

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
