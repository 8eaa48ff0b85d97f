#pragma once

#include "transport/serialsettings.h"

#include <QString>

// The kernel's own termios2 (the C library's termios cannot set arbitrary
// rates); a file that includes this must not include <termios.h>.
#include <asm/termbits.h>

#include <cstdint>

// Builds the terminal settings for `settings` on top of the device's
// `current` ones. False, with the reason, for a value Linux cannot honour.
bool termiosForSettings(const SerialSettings &settings, const struct termios2 &current, struct termios2 &result,
                        QString &reason);

// The bit rate `t` holds.
std::uint32_t termiosRate(const struct termios2 &t);

// Whether what the device took (`now`) is what was `asked`: the same
// character format and flow control, the rate within 3 %. Drivers quietly
// round what their hardware cannot do.
bool termiosTaken(const struct termios2 &asked, const struct termios2 &now, QString &reason);
