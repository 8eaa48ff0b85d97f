// The serial backend on Windows, on the Win32 communications functions. The
// mapping of the settings is in serialdcb_win.cpp; here:
//
//   open   a claim on the port (see ProcessClaim), so that a refusal can
//          name the copy of the program that has it, then CreateFile of
//          \\.\COMn, exclusive and synchronous. Then the state, read back to
//          see that the driver took it, the timeouts, both queues purged and
//          the queue sizes. DTR follows the state (fDtrControl).
//   flush  PurgeComm of the receive queue.
//   read   ReadFile, which the timeouts make return at once with what the
//          driver holds. A pulled adapter fails the read, or, when the read
//          comes back empty, ClearCommError (the device is no longer
//          there); a line error (framing, overrun) is cleared with
//          ClearCommError and the bytes read on.

#include "transport/serialbackend.h"

#include "transport/processclaim_win.h"
#include "transport/serialdcb_win.h"

#include <windows.h>

namespace {

// The queues the port asks the driver for: more than 8 s of the meter's
// line each.
constexpr DWORD QueueBytes = 2048;

class WindowsSerialBackend : public SerialBackend
{
public:
    ~WindowsSerialBackend() override { close(); }

    bool open(const QString &name, const SerialSettings &settings) override;
    SerialRead read(std::uint8_t *buffer, int capacity) override;
    bool flush() override;
    void close() override;

private:
    bool fail(SerialError error, const QString &text);
    bool failOpen(DWORD error, const QString &device);
    bool configure(HANDLE port, const SerialSettings &settings, SerialError &error, QString &reason);
    static constexpr DWORD NotOpen = 0xFFFFFFFF;
    void failRead(DWORD error);

    HANDLE m_port = INVALID_HANDLE_VALUE;
    std::unique_ptr<ProcessClaim> m_claim;
    QString m_label;       // "COM1" or the device path
    DWORD m_readError = 0; // the read failure errorString() describes
};

bool WindowsSerialBackend::fail(SerialError error, const QString &text)
{
    m_readError = 0;
    setError(error, text);
    return false;
}

bool WindowsSerialBackend::failOpen(DWORD error, const QString &device)
{
    const QString head = QStringLiteral("%1 cannot be opened: ").arg(m_label);
    const SerialError kind = serialErrorFor(error);
    switch (kind) {
    case SerialError::NoSuchPort:
        return fail(kind, head
                              + QStringLiteral("there is no such port (%1); plug in the USB-to-RS-232 adapter, or "
                                               "name the COM port that the Device Manager shows for it.")
                                    .arg(systemSentence(error)));
    case SerialError::InUse: {
        const QString holder = ProcessClaim::holder(device);
        return fail(kind,
                    head + QStringLiteral("it is in use by another program")
                        + (holder.isEmpty() ? QStringLiteral(".") : QStringLiteral(" (%1 holds it).").arg(holder)));
    }
    case SerialError::NotASerialPort:
        return fail(kind, head + QStringLiteral("it is not a serial port (%1).").arg(systemSentence(error)));
    default:
        return fail(kind, head + systemSentence(error) + QLatin1Char('.'));
    }
}

bool WindowsSerialBackend::configure(HANDLE port, const SerialSettings &settings, SerialError &error, QString &reason)
{
    DCB found{};
    found.DCBlength = sizeof found;
    if (!GetCommState(port, &found)) {
        const DWORD e = GetLastError();
        error = serialErrorFor(e) == SerialError::NotASerialPort ? SerialError::NotASerialPort : SerialError::Io;
        reason = error == SerialError::NotASerialPort ? QStringLiteral("it is not a serial port.")
                                                      : systemSentence(e) + QLatin1Char('.');
        return false;
    }
    DCB asked{};
    if (!dcbForSettings(settings, found, asked, reason)) {
        error = SerialError::Unsupported;
        return false;
    }
    if (!SetCommState(port, &asked)) {
        error = SerialError::Unsupported;
        reason = QStringLiteral("the line settings were refused: %1.").arg(systemSentence(GetLastError()));
        return false;
    }
    // From here on a failure leaves the line as it was found.
    auto restore = [&](SerialError why, const QString &text) {
        SetCommState(port, &found);
        error = why;
        reason = text;
        return false;
    };
    DCB now{};
    now.DCBlength = sizeof now;
    if (!GetCommState(port, &now))
        return restore(SerialError::Io, systemSentence(GetLastError()) + QLatin1Char('.'));
    QString notTaken;
    if (!dcbTaken(asked, now, notTaken))
        return restore(SerialError::Unsupported, notTaken);
    COMMTIMEOUTS timeouts = immediateReadTimeouts();
    if (!SetCommTimeouts(port, &timeouts))
        return restore(SerialError::Io,
                       QStringLiteral("the read timeouts were refused: %1.").arg(systemSentence(GetLastError())));
    // The queue sizes are a wish the driver may ignore; their failure
    // changes nothing that matters.
    PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
    SetupComm(port, QueueBytes, QueueBytes);
    return true;
}

bool WindowsSerialBackend::open(const QString &name, const SerialSettings &settings)
{
    close();
    const QString device = windowsPortDevice(name);
    if (device.isEmpty()) {
        m_label = name;
        return fail(SerialError::NoSuchPort,
                    QStringLiteral("'%1' is not a port: name COM1 to COM4 or another COM port.").arg(name));
    }
    m_label = name.startsWith(QLatin1String("\\\\.\\")) ? name : name.toUpper();

    // Another copy of the program names itself in the claim; any other
    // program is kept out by the exclusive open below.
    QString why;
    std::unique_ptr<ProcessClaim> claim = ProcessClaim::take(device, why);
    if (!claim && why.endsWith(QLatin1String(" holds it")))
        return fail(SerialError::InUse,
                    QStringLiteral("%1 cannot be opened: it is in use by another program (%2).").arg(m_label, why));
    const std::wstring path = device.toStdWString();
    HANDLE port = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        claim.reset(); // whoever holds the port now is not a copy of qm320
        return failOpen(error, device);
    }
    SerialError error = SerialError::None;
    QString reason;
    if (!configure(port, settings, error, reason)) {
        CloseHandle(port);
        return fail(error, QStringLiteral("%1 cannot be opened: %2").arg(m_label, reason));
    }
    m_port = port;
    m_claim = std::move(claim);
    m_readError = 0;
    clearError();
    return true;
}

void WindowsSerialBackend::close()
{
    if (m_port == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(m_port);
    m_port = INVALID_HANDLE_VALUE;
    m_claim.reset();
}

bool WindowsSerialBackend::flush()
{
    if (m_port == INVALID_HANDLE_VALUE)
        return fail(SerialError::Io, QStringLiteral("the port is not open."));
    if (!PurgeComm(m_port, PURGE_RXABORT | PURGE_RXCLEAR)) {
        return fail(
            SerialError::Io,
            QStringLiteral("%1: cannot discard the received bytes: %2.").arg(m_label, systemSentence(GetLastError())));
    }
    return true;
}

void WindowsSerialBackend::failRead(DWORD error)
{
    // The same failure repeats at every poll: describe it once, so that a
    // failing line costs no allocation per poll.
    if (error == m_readError && this->error() == SerialError::Io)
        return;
    m_readError = error;
    QString what;
    if (error == NotOpen)
        what = QStringLiteral("the port is not open");
    else if (serialErrorFor(error) == SerialError::NoSuchPort || error == ERROR_ACCESS_DENIED
             || error == ERROR_BAD_COMMAND || error == ERROR_GEN_FAILURE)
        what =
            QStringLiteral("the device went away (unplugged, or the other end closed): %1").arg(systemSentence(error));
    else
        what = systemSentence(error);
    setError(SerialError::Io, QStringLiteral("%1: %2").arg(m_label, what));
}

SerialRead WindowsSerialBackend::read(std::uint8_t *buffer, int capacity)
{
    SerialRead result;
    if (m_port == INVALID_HANDLE_VALUE) {
        result.status = SerialRead::Status::Failed;
        failRead(NotOpen);
        return result;
    }
    if (capacity <= 0)
        return result;
    DWORD n = 0;
    DWORD lineErrors = 0;
    if (ReadFile(m_port, buffer, DWORD(capacity), &n, nullptr)) {
        if (n > 0) {
            result.status = SerialRead::Status::Data;
            result.count = int(n);
            return result;
        }
        // An empty queue, or an adapter that was pulled: some drivers let
        // a read succeed empty after a surprise removal, but none answers
        // for the line's state any more.
        if (ClearCommError(m_port, &lineErrors, nullptr))
            return result;
    }
    const DWORD error = GetLastError();
    // A line error stops the reads until it is cleared, when the driver
    // aborts on errors despite the state; the bytes after it are good.
    if (error == ERROR_OPERATION_ABORTED && ClearCommError(m_port, &lineErrors, nullptr))
        return result;
    result.status = SerialRead::Status::Failed;
    failRead(error);
    return result;
}

} // namespace

std::unique_ptr<SerialBackend> createSerialBackend()
{
    return std::make_unique<WindowsSerialBackend>();
}
