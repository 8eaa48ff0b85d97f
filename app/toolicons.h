#pragma once

#include <QIcon>

class QPainter;

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
    // Shown by a menu bar or tool bar whose items do not all fit.
    MoreRight,
    MoreBelow,
};

QIcon toolIcon(ToolIcon which);

// The program's icon: a handheld meter.
QIcon programIcon();
// Paints it into the square (0, 0, size, size); the icon files of the
// installed program are drawn by it too.
void paintProgramIcon(QPainter &painter, qreal size);
