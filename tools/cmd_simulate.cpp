#include "tools/commands.h"

int runSimulate(const QStringList &args)
{
    Q_UNUSED(args)
    return cliFail(QStringLiteral("'simulate' is not available in this build yet"));
}
