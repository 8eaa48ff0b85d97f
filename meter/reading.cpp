#include "meter/reading.h"

const char *annunciatorName(Annunciator a)
{
    static const char *const names[AnnunciatorCount] = {
        "auto",    "dc",   "ac",     "rel",   "hold",  "scale4v", "max",        "min",
        "lowbatt", "nano", "micro",  "milli", "kilo",  "mega",    "continuity", "diode",
        "duty",    "volt", "ampere", "ohm",   "hertz", "farad",   "celsius",    "fahrenheit",
    };
    return names[int(a)];
}

const QString &functionText(Reading::Function function)
{
    static const QString texts[] = {
        QString(),
        QStringLiteral("DutyCycle"),
        QStringLiteral("Freq"),
        QStringLiteral("TMP"),
        QStringLiteral("CAP"),
        QStringLiteral("DC"),
        QStringLiteral("AC"),
        QStringLiteral("OHM"),
        QStringLiteral("CTN"),
        QStringLiteral("Diode"),
    };
    return texts[int(function)];
}

const QString &unitText(Reading::Unit unit)
{
    static const QString texts[] = {
        QString(),
        QStringLiteral("M*"),
        QStringLiteral("k*"),
        QStringLiteral("uF"),
        QStringLiteral("mF"),
        QStringLiteral("nF"),
        QStringLiteral("uA"),
        QStringLiteral("mA"),
        QStringLiteral("nA"),
        QStringLiteral("uV"),
        QStringLiteral("mV"),
        QStringLiteral("nV"),
        QStringLiteral("%"),
        QStringLiteral("Hz"),
        QStringLiteral("kHz"),
        QStringLiteral("MHz"),
        QStringLiteral("?"),
        QStringLiteral("#"),
        QStringLiteral("F"),
        QStringLiteral("*"),
        QStringLiteral("A"),
        QStringLiteral("V"),
    };
    return texts[int(unit)];
}

const QString &rangeText(Reading::Range range)
{
    static const QString manual = QStringLiteral("MANU");
    static const QString automatic = QStringLiteral("AUTO");
    return range == Reading::Range::Auto ? automatic : manual;
}

const QString &judgementText(Reading::Judgement judgement)
{
    static const QString texts[] = {QString(), QStringLiteral("pass"), QStringLiteral("Fail")};
    return texts[int(judgement)];
}
