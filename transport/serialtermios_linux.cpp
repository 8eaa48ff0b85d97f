// How the DCB-shaped settings of the port driver map to Linux termios:
//
//   BaudRate      the Bnnn code for the standard rates; 14400 and 56000 (and
//                 any other rate) as BOTHER with the rate itself, which the
//                 serial drivers program as closely as their clock allows.
//   fBinary       always raw: no line editing, echo, signals or output
//                 processing; VMIN 0, VTIME 0.
//   DTR control   (the backend) enable raises DTR, disable drops it;
//                 handshake is refused. HUPCL drops DTR again at close.
//   RTS control   (the backend) enable raises RTS, disable drops it;
//                 handshake, like fOutxCtsFlow, is CRTSCTS, which Linux
//                 offers only for both directions; toggle is refused.
//   fOutX, fInX   IXON, IXOFF with VSTART/VSTOP from XonChar/XoffChar,
//                 which must differ.
//   XonLim, XoffLim  not settable: the kernel throttles at its own marks.
//   ByteSize      CS5 to CS8; anything else is refused.
//   Parity        none; odd PARENB|PARODD; even PARENB; mark and space
//                 PARENB|CMSPAR with and without PARODD. Input parity is
//                 never checked (no INPCK), as fParity is off.
//   StopBits      one; two CSTOPB; one and a half only with 5 data bits,
//                 where a UART set to two stop bits sends one and a half;
//                 with more data bits it is refused, as on Windows.
//
// CLOCAL is always set, so the carrier line neither blocks the open nor
// hangs the port up; breaks are ignored rather than read as NUL bytes.

#include "transport/serialtermios_linux.h"

namespace {

struct RateCode
{
    std::uint32_t rate;
    unsigned code;
};

constexpr RateCode StandardRates[] = {
    {50, B50},       {75, B75},       {110, B110},     {134, B134},       {150, B150},
    {200, B200},     {300, B300},     {600, B600},     {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},   {9600, B9600},   {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
};

constexpr unsigned FormatBits = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;

unsigned codeForRate(std::uint32_t rate)
{
    for (const RateCode &r : StandardRates) {
        if (r.rate == rate)
            return r.code;
    }
    return BOTHER;
}

} // namespace

bool termiosForLineState(const SerialLineState &state, const struct termios2 &current, struct termios2 &result,
                         QString &reason)
{
    if (state.BaudRate == 0) {
        reason = QStringLiteral("a bit rate of 0 is not a line speed.");
        return false;
    }
    if (state.ByteSize < 5 || state.ByteSize > 8) {
        reason = QStringLiteral("%1 data bits are not possible; use 5 to 8.").arg(state.ByteSize);
        return false;
    }
    if (state.Parity > 4) {
        reason = QStringLiteral("parity code %1 is unknown.").arg(state.Parity);
        return false;
    }
    if (state.StopBits > 2) {
        reason = QStringLiteral("stop-bit code %1 is unknown.").arg(state.StopBits);
        return false;
    }
    if (state.StopBits == 1 && state.ByteSize != 5) {
        reason = QStringLiteral("one and a half stop bits go only with 5 data bits.");
        return false;
    }
    const std::uint32_t dtr = state.Flags & SerialLineState::DtrControlMask;
    if (dtr == SerialLineState::DtrControlHandshake || dtr == SerialLineState::DtrControlMask) {
        reason = QStringLiteral("DTR handshaking is not available on Linux.");
        return false;
    }
    const std::uint32_t rts = state.Flags & SerialLineState::RtsControlMask;
    if (rts == SerialLineState::RtsControlToggle) {
        reason = QStringLiteral("RTS toggling is not available on Linux.");
        return false;
    }
    const bool xonXoff = state.Flags & (SerialLineState::fOutX | SerialLineState::fInX);
    if (xonXoff && state.XonChar == state.XoffChar) {
        reason = QStringLiteral("the XON and XOFF characters must differ.");
        return false;
    }

    struct termios2 t = current;
    t.c_iflag = IGNBRK;
    if (state.Flags & SerialLineState::fOutX)
        t.c_iflag |= IXON;
    if (state.Flags & SerialLineState::fInX)
        t.c_iflag |= IXOFF;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cflag = CREAD | CLOCAL | (current.c_cflag & HUPCL);
    static constexpr unsigned sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[state.ByteSize - 5];
    if (state.StopBits != 0)
        t.c_cflag |= CSTOPB;
    switch (state.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (rts == SerialLineState::RtsControlHandshake || (state.Flags & SerialLineState::fOutxCtsFlow))
        t.c_cflag |= CRTSCTS;
    t.c_cflag |= codeForRate(state.BaudRate);   // the input speed follows (CIBAUD 0)
    t.c_ispeed = state.BaudRate;
    t.c_ospeed = state.BaudRate;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = cc_t(state.XonChar);
    t.c_cc[VSTOP] = cc_t(state.XoffChar);
    result = t;
    return true;
}

std::uint32_t termiosRate(const struct termios2 &t)
{
    const unsigned code = t.c_cflag & CBAUD;
    if (code == BOTHER)
        return t.c_ospeed;
    for (const RateCode &r : StandardRates) {
        if (r.code == code)
            return r.rate;
    }
    return 0;
}

bool termiosTaken(const struct termios2 &asked, const struct termios2 &now, QString &reason)
{
    const std::uint32_t want = termiosRate(asked);
    const std::uint32_t got = termiosRate(now);
    const std::uint64_t off = got > want ? got - want : want - got;
    if (off * 100 > std::uint64_t(want) * 3) {
        reason = QStringLiteral("the device cannot run at %1 bit/s (it offers %2 bit/s).").arg(want).arg(got);
        return false;
    }
    if ((now.c_cflag & FormatBits) != (asked.c_cflag & FormatBits)) {
        reason = QStringLiteral("the device does not take this character format or flow control.");
        return false;
    }
    return true;
}
