// How SerialSettings map to a Windows device control block (DCB):
//
//   baudRate      BaudRate itself: the serial drivers take any rate their
//                 clock allows and refuse the others in SetCommState.
//   dataBits      ByteSize 5 to 8; anything else is refused.
//   parity        Parity NOPARITY, ODDPARITY, EVENPARITY, MARKPARITY,
//                 SPACEPARITY. fParity stays off: received parity is never
//                 checked, and the frame checks catch what is wrong.
//   stopBits      StopBits ONESTOPBIT or TWOSTOPBITS.
//   flowControl   hardware: fOutxCtsFlow with RTS_CONTROL_HANDSHAKE;
//                 software: fOutX and fInX with DC1/DC3, the XON limit a
//                 quarter of the receive queue and the XOFF limit 1 byte.
//   dtr           fDtrControl DTR_CONTROL_ENABLE or DTR_CONTROL_DISABLE:
//                 the driver raises DTR with the state, and drops it at close.
//
// Always binary, without DSR sensitivity, error replacement, null stripping
// or abort on error, so that every byte arrives as the meter sent it and a
// line error never stalls the reads.

#include "transport/serialdcb_win.h"
#include "transport/systemerror_win.h"

#include <cstdint>

namespace {

// The receive queue the port asks the driver for; see SetupComm.
constexpr WORD ReceiveQueueBytes = 2048;

} // namespace

bool dcbForSettings(const SerialSettings &settings, const DCB &current, DCB &result, QString &reason)
{
    if (settings.baudRate <= 0) {
        reason = QStringLiteral("%1 bit/s is not a line speed.").arg(settings.baudRate);
        return false;
    }
    if (settings.dataBits < 5 || settings.dataBits > 8) {
        reason = QStringLiteral("%1 data bits are not possible; use 5 to 8.").arg(settings.dataBits);
        return false;
    }
    DCB d = current;
    d.DCBlength = sizeof(DCB);
    d.BaudRate = DWORD(settings.baudRate);
    d.ByteSize = BYTE(settings.dataBits);
    d.fBinary = TRUE;
    d.fParity = FALSE;
    d.fOutxCtsFlow = FALSE;
    d.fOutxDsrFlow = FALSE;
    d.fDtrControl = settings.dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    d.fDsrSensitivity = FALSE;
    d.fTXContinueOnXoff = FALSE;
    d.fOutX = FALSE;
    d.fInX = FALSE;
    d.fErrorChar = FALSE;
    d.fNull = FALSE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.fAbortOnError = FALSE;
    d.XonLim = ReceiveQueueBytes / 4;
    d.XoffLim = 1;
    d.XonChar = 0x11;  // DC1
    d.XoffChar = 0x13; // DC3
    d.ErrorChar = 0;
    d.EofChar = 0;
    d.EvtChar = 0;

    switch (settings.parity) {
    case SerialParity::None:
        d.Parity = NOPARITY;
        break;
    case SerialParity::Odd:
        d.Parity = ODDPARITY;
        break;
    case SerialParity::Even:
        d.Parity = EVENPARITY;
        break;
    case SerialParity::Mark:
        d.Parity = MARKPARITY;
        break;
    case SerialParity::Space:
        d.Parity = SPACEPARITY;
        break;
    default:
        reason = QStringLiteral("parity %1 is unknown.").arg(int(settings.parity));
        return false;
    }
    switch (settings.stopBits) {
    case SerialStopBits::One:
        d.StopBits = ONESTOPBIT;
        break;
    case SerialStopBits::Two:
        d.StopBits = TWOSTOPBITS;
        break;
    default:
        reason = QStringLiteral("stop bits %1 are unknown.").arg(int(settings.stopBits));
        return false;
    }
    switch (settings.flowControl) {
    case SerialFlowControl::None:
        break;
    case SerialFlowControl::Hardware:
        d.fOutxCtsFlow = TRUE;
        d.fRtsControl = RTS_CONTROL_HANDSHAKE;
        break;
    case SerialFlowControl::Software:
        d.fOutX = TRUE;
        d.fInX = TRUE;
        break;
    default:
        reason = QStringLiteral("flow control %1 is unknown.").arg(int(settings.flowControl));
        return false;
    }
    result = d;
    return true;
}

bool dcbTaken(const DCB &asked, const DCB &now, QString &reason)
{
    const std::uint64_t want = asked.BaudRate;
    const std::uint64_t got = now.BaudRate;
    const std::uint64_t off = got > want ? got - want : want - got;
    if (off * 100 > want * 3) {
        reason = QStringLiteral("the device cannot run at %1 bit/s (it offers %2 bit/s).").arg(want).arg(got);
        return false;
    }
    if (now.ByteSize != asked.ByteSize || now.Parity != asked.Parity || now.StopBits != asked.StopBits
        || bool(now.fOutxCtsFlow) != bool(asked.fOutxCtsFlow) || bool(now.fOutX) != bool(asked.fOutX)
        || bool(now.fInX) != bool(asked.fInX)) {
        reason = QStringLiteral("the device does not take this character format or flow control.");
        return false;
    }
    return true;
}

COMMTIMEOUTS immediateReadTimeouts()
{
    // MAXDWORD, 0, 0: ReadFile returns at once with what the driver holds,
    // also when that is nothing. The program never writes.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = 0;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
    return t;
}

QString windowsPortDevice(const QString &name)
{
    if (name.startsWith(QLatin1String("\\\\.\\")))
        return name.size() > 4 ? name : QString();
    if (name.size() < 4 || name.size() > 6 || !name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
        return {};
    bool ok = false;
    const int n = name.mid(3).toInt(&ok);
    if (!ok || n < 1 || n > 255 || name.at(3) == u'0' || !name.at(3).isDigit())
        return {};
    // The \\.\ form reaches COM10 and above too, which the bare name does not.
    return QStringLiteral("\\\\.\\COM%1").arg(n);
}

SerialError serialErrorFor(unsigned long systemError)
{
    switch (systemError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_NOT_READY:
        return SerialError::NoSuchPort;
    // A COM port opens exclusively: "access denied" means that another
    // program has it open.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return SerialError::InUse;
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_HANDLE:
    case ERROR_BAD_COMMAND:
        return SerialError::NotASerialPort;
    case ERROR_INVALID_PARAMETER:
        return SerialError::Unsupported;
    default:
        return SerialError::Io;
    }
}

QString systemSentence(unsigned long systemError)
{
    QString text = windowsErrorText(systemError);
    if (text.size() > 1 && text.at(0).isUpper() && !text.at(1).isUpper())
        text[0] = text.at(0).toLower();
    return text;
}
