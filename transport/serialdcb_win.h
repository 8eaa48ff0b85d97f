#pragma once

#include "transport/serialbackend.h"
#include "transport/serialsettings.h"

#include <QString>

#include <windows.h>

// Builds the device control block for `settings` on top of the port's
// `current` one. False, with the reason, for a value Windows cannot honour.
bool dcbForSettings(const SerialSettings &settings, const DCB &current, DCB &result, QString &reason);

// Whether what the port took (`now`) is what was `asked`: the same rate and
// character format. Drivers of USB adapters quietly keep what their hardware
// cannot do.
bool dcbTaken(const DCB &asked, const DCB &now, QString &reason);

// The timeouts that make a read return at once with what is queued.
COMMTIMEOUTS immediateReadTimeouts();

// "\\.\COM7" for "COM7" (any number from 1 to 255, any letter case), a
// device path that starts with "\\.\" as it is; empty for anything else.
QString windowsPortDevice(const QString &name);

// What a failure of a serial port operation means, from GetLastError().
SerialError serialErrorFor(unsigned long systemError);

// The system's sentence for an error code, from FormatMessage, with its
// first letter in lower case so that it reads inside our own sentence, and
// without the full stop and line end the system puts after it.
QString systemSentence(unsigned long systemError);
