#include "tools/simulateport.h"

#include "tools/commands.h"

int playOnPseudoTerminal(MeterSimulator &, const QString &, long long, int)
{
    // Windows has no pseudo-terminal to offer as a COM port; a pair of
    // virtual COM ports (such as com0com's) would need a driver.
    return cliFail(QStringLiteral("playing a meter live needs a pseudo-terminal, which Windows lacks; "
                                  "write its stream with --out FILE or --hid-out FILE instead"));
}
