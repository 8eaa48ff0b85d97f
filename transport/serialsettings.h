#pragma once

#include <QtGlobal>

enum class SerialParity { None, Odd, Even, Mark, Space };
enum class SerialStopBits { One, Two };
enum class SerialFlowControl { None, Hardware, Software }; // RTS/CTS, XON/XOFF

// How a serial line is set up while the port is open.
struct SerialSettings
{
    qint32 baudRate = 9600;
    int dataBits = 8;
    SerialParity parity = SerialParity::None;
    SerialStopBits stopBits = SerialStopBits::One;
    SerialFlowControl flowControl = SerialFlowControl::None;
    bool dtr = true; // raised while open: isolated RS-232 cables often draw their power from it

    bool operator==(const SerialSettings &) const = default;
};

// The meter's line: 2400 bit/s, 8 data bits, no parity, 1 stop bit, no flow
// control, DTR raised.
inline constexpr SerialSettings MeterLineSettings{
    2400, 8, SerialParity::None, SerialStopBits::One, SerialFlowControl::None, true};
