#pragma once

#include <QColor>
#include <QPalette>

class QMainWindow;
class QWidget;

namespace Ui {
class MainWindow;
}

// The window's look: fonts, colours and icons, in one place.
namespace DesignLook {

inline const QColor PassColour{0, 128, 0};
inline const QColor FailColour{255, 0, 0};

// The window's font, before its parts are made: each part then lays out its
// text once, in that font, rather than in the application's first.
void prepare(QMainWindow &window);
// Fonts, colours, icons and the designed size of the window, once its parts
// are made.
void apply(QMainWindow &window, Ui::MainWindow &ui);

// Sets one colour of a widget's palette; an unchanged colour touches nothing,
// so a steady reading repaints nothing.
void setColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour);

} // namespace DesignLook
