#include "tools/commands.h"

int runLog(const QStringList &args)
{
    Q_UNUSED(args)
    return cliFail(QStringLiteral("'log' is not available in this build yet"));
}
