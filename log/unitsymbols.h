#pragma once

#include <QString>
#include <QStringView>

// The meter's unit texts use the characters that the LCD symbol font draws
// as unit symbols: "*" is drawn as the ohm sign, "#" as degrees Celsius, "?"
// as degrees Fahrenheit and a leading "u" as the micro sign. Without that
// font, the grid and the report show these symbols instead ("k*" gives "kΩ",
// "uA" gives "µA"); the table keeps the stored texts.
QString lcdUnitText(QStringView stored);
