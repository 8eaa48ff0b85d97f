#pragma once

#include <QStringView>

#include <optional>

// What a logged row's texts say as numbers: the Value text as the number the
// display showed, and the Unit text as a prefix and a base unit. Both work on
// the stored texts, so rows opened from files read like logged ones.

// The number a Value text shows: an optional sign, digits, at most one
// decimal separator of whatever locale logged it ("1.234", "1,234"), blanks
// around. Nothing for a display that is no number ("0.L" over range, "OPEn").
std::optional<double> loggedValue(QStringView valueText);

// A unit text split into its prefix and its base unit: "k*" is 1000 times
// "*" (ohm), "mV" 0.001 times "V". A text that is no prefixed unit of the
// meter is a base unit of its own.
struct UnitScale
{
    QStringView base;
    double factor = 1; // of the unit against its base unit
};
UnitScale unitScale(QStringView unitText);
