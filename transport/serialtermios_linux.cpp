// How SerialSettings map to Linux termios:
//
//   baudRate      the Bnnn code for the standard rates; any other rate (14400,
//                 56000, ...) as BOTHER with the rate itself, which the serial
//                 drivers program as closely as their clock allows. The input
//                 speed follows the output speed.
//   dataBits      CS5 to CS8; anything else is refused.
//   parity        none; odd PARENB|PARODD; even PARENB; mark and space
//                 PARENB|CMSPAR with and without PARODD. Received parity is
//                 never checked (no INPCK): a byte with a parity error is
//                 still delivered, and the frame checks catch what is wrong.
//   stopBits      one; two CSTOPB.
//   flowControl   hardware is CRTSCTS, which Linux offers only for both
//                 directions; software is IXON|IXOFF with DC1/DC3.
//   dtr           (the backend) raised or dropped after the settings, since
//                 setting a speed from 0 raises DTR by itself. HUPCL, when
//                 the device has it, drops DTR again at close.
//
// Always raw: no line editing, echo, signals, CR/LF translation or output
// processing, as the meter's frames are binary and end in CR LF. VMIN 0 and
// VTIME 0, so a read returns at once with what is queued. CLOCAL is set, so
// the carrier line neither blocks the open nor hangs the port up; breaks are
// ignored rather than read as NUL bytes.

#include "transport/serialtermios_linux.h"

namespace {

struct RateCode
{
    std::uint32_t rate;
    unsigned code;
};

constexpr RateCode StandardRates[] = {
    {50, B50},     {75, B75},       {110, B110},     {134, B134},     {150, B150},       {200, B200},
    {300, B300},   {600, B600},     {1200, B1200},   {1800, B1800},   {2400, B2400},     {4800, B4800},
    {9600, B9600}, {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400},
};

constexpr unsigned FormatBits = CSIZE | CSTOPB | PARENB | PARODD | CMSPAR | CRTSCTS;

constexpr cc_t Xon = 0x11;  // DC1
constexpr cc_t Xoff = 0x13; // DC3

unsigned codeForRate(std::uint32_t rate)
{
    for (const RateCode &r : StandardRates) {
        if (r.rate == rate)
            return r.code;
    }
    return BOTHER;
}

} // namespace

bool termiosForSettings(const SerialSettings &settings, const struct termios2 &current, struct termios2 &result,
                        QString &reason)
{
    // The enumerations are checked too: a value read from a settings file
    // may be any number.
    if (settings.baudRate <= 0) {
        reason = QStringLiteral("%1 bit/s is not a line speed.").arg(settings.baudRate);
        return false;
    }
    if (settings.dataBits < 5 || settings.dataBits > 8) {
        reason = QStringLiteral("%1 data bits are not possible; use 5 to 8.").arg(settings.dataBits);
        return false;
    }

    struct termios2 t = current;
    t.c_cflag = CREAD | CLOCAL | (current.c_cflag & HUPCL);
    static constexpr unsigned sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[settings.dataBits - 5];

    switch (settings.parity) {
    case SerialParity::None:
        break;
    case SerialParity::Odd:
        t.c_cflag |= PARENB | PARODD;
        break;
    case SerialParity::Even:
        t.c_cflag |= PARENB;
        break;
    case SerialParity::Mark:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SerialParity::Space:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        reason = QStringLiteral("parity %1 is unknown.").arg(int(settings.parity));
        return false;
    }

    switch (settings.stopBits) {
    case SerialStopBits::One:
        break;
    case SerialStopBits::Two:
        t.c_cflag |= CSTOPB;
        break;
    default:
        reason = QStringLiteral("stop bits %1 are unknown.").arg(int(settings.stopBits));
        return false;
    }

    t.c_iflag = IGNBRK;
    switch (settings.flowControl) {
    case SerialFlowControl::None:
        break;
    case SerialFlowControl::Hardware:
        t.c_cflag |= CRTSCTS;
        break;
    case SerialFlowControl::Software:
        t.c_iflag |= IXON | IXOFF;
        break;
    default:
        reason = QStringLiteral("flow control %1 is unknown.").arg(int(settings.flowControl));
        return false;
    }

    const auto rate = std::uint32_t(settings.baudRate);
    t.c_cflag |= codeForRate(rate); // CIBAUD 0: the input speed follows
    t.c_ispeed = rate;
    t.c_ospeed = rate;
    t.c_oflag = 0;
    t.c_lflag = 0;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cc[VSTART] = Xon;
    t.c_cc[VSTOP] = Xoff;
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
