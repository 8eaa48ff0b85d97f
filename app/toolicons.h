#pragma once

#include <QIcon>

// The pictures of the window's speed buttons, drawn as vector art so they
// stay sharp on any screen.
enum class ToolIcon {
    CloseData,
    OpenData,
    SaveData,
    Print,
    SavePicture,
    FirstPage,
    PreviousPage,
    NextPage,
    LastPage,
    Enlarge,
    Restore,
    Quit,
};

QIcon toolIcon(ToolIcon which);

// The program's icon: a handheld meter.
QIcon programIcon();
