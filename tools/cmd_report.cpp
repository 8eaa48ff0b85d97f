#include "tools/commands.h"

int runReport(const QStringList &args)
{
    Q_UNUSED(args)
    return cliFail(QStringLiteral("'report' is not available in this build yet"));
}
