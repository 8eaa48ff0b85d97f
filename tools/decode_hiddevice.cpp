#include "tools/commands.h"

int decodeFromHidDevice(const DecodeOptions &options, DecodeSession &session, JsonLineWriter &out)
{
    Q_UNUSED(options) Q_UNUSED(session) Q_UNUSED(out)
    return cliFail(QStringLiteral("reading the USB cable is not available in this build yet"));
}
