#include "tools/commands.h"

int decodeFromPort(const DecodeOptions &options, DecodeSession &session, JsonLineWriter &out)
{
    Q_UNUSED(options) Q_UNUSED(session) Q_UNUSED(out)
    return cliFail(QStringLiteral("reading a serial port is not available in this build yet"));
}
