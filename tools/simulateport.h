#pragma once

#include <QString>

class MeterSimulator;

// Plays `meter` live on a pseudo-terminal at the meter's pace, printing the
// device and the QM320_COM1 setting that reads it, until `frames` frames
// were sent (for ever when negative). Returns the exit status of
// "qm320-cli simulate". Where the system has no pseudo-terminals it says so
// and returns 2.
int playOnPseudoTerminal(MeterSimulator &meter, const QString &scenario, long long frames, int intervalMs);
