#include "tools/commands.h"

int runShow(const QStringList &args)
{
    Q_UNUSED(args)
    return cliFail(QStringLiteral("'show' is not available in this build yet"));
}
