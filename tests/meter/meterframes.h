#pragma once

// Builds meter frames for tests: the 14 bytes the meter sends, and the same
// frame as the decoder sees it after assembly.

#include "meter/meterframe.h"

#include <QByteArray>

#include <cstdint>

namespace MeterBits {
// Status byte 1 (frame byte 8)
constexpr std::uint8_t Auto = 0x20, Dc = 0x10, Ac = 0x08, Rel = 0x04, Hold = 0x02;
// Status byte 2 (frame byte 9)
constexpr std::uint8_t Scale4V = 0x80, Max = 0x20, Min = 0x10, LowBatt = 0x04, Nano = 0x02;
// Status byte 3 (frame byte 10)
constexpr std::uint8_t Micro = 0x80, Milli = 0x40, Kilo = 0x20, Mega = 0x10, Continuity = 0x08,
                       Diode = 0x04, Duty = 0x02;
// Status byte 4 (frame byte 11)
constexpr std::uint8_t Volt = 0x80, Ampere = 0x40, Ohm = 0x20, Hertz = 0x08, Farad = 0x04,
                       Celsius = 0x02, Fahrenheit = 0x01;
} // namespace MeterBits

struct Status
{
    std::uint8_t s1 = 0, s2 = 0, s3 = 0, s4 = 0;
};

// '+'/'-', four digit characters, the point code character, status bytes,
// an unread byte, CR and LF.
inline QByteArray meterFrame(char sign, const char (&digits)[5], char pointCode, Status s)
{
    QByteArray f;
    f.append(sign);
    f.append(digits, 4);
    f.append(' ');
    f.append(pointCode);
    f.append(char(s.s1)).append(char(s.s2)).append(char(s.s3)).append(char(s.s4));
    f.append('\0');
    f.append('\r').append('\n');
    return f;
}

// The frame the serial path hands to the decoder: sign to CR.
inline MeterFrame assembledFrame(const QByteArray &frame)
{
    return MeterFrame(QByteArrayView(frame).chopped(1));
}

// A serial stream of frames as the meter sends them; the LF before the first
// frame stands for the end of a frame sent before the port was read.
inline QByteArray serialStream(std::initializer_list<QByteArray> frames)
{
    QByteArray s("\n");
    for (const QByteArray &f : frames)
        s += f;
    return s;
}
