#pragma once

#include <QString>
#include <QStringView>

// The window caption: the program's name and version, directly followed by
// "(x64)" on a 64-bit x86 or Itanium machine and "(x86)" on any other.
inline constexpr char ProgramCaption[] = "QM320 Interface Program Ver 3.03";

// Whether `machine`, as uname(2) names the hardware, is a 64-bit x86 or an
// Itanium processor.
bool is64BitMachine(QStringView machine);

// "(x64)" or "(x86)" for `machine`.
QString captionSuffix(QStringView machine);

// The machine name of the running kernel (uname -m); empty when unknown. On
// Windows the native processor's architecture in the same names ("x86_64",
// "ia64", "x86", "arm64").
QString nativeMachine();
