#include "meter/reading.h"

const char *annunciatorName(Annunciator a)
{
    static const char *const names[AnnunciatorCount] = {
        "auto",  "dc",    "ac",    "rel",   "hold",       "scale4v", "max",  "min",
        "lowbatt", "nano", "micro", "milli", "kilo",      "mega",    "continuity", "diode",
        "duty",  "volt",  "ampere", "ohm",  "hertz",      "farad",   "celsius", "fahrenheit",
    };
    return names[int(a)];
}
