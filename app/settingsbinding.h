#pragma once

#include "app/windowsettings.h"

class BrokerPublishing;
class ChartControls;
class LogFileCommands;
class MeterSession;
class QWidget;

namespace Ui {
class MainWindow;
}

// Between the kept settings and the window: puts them into the window's
// controls, through the same handlers as the user's clicks, and reads back
// what is in force. The serial port is the window's own to select, since it
// shows on the port button. The window's size is taken before it first shows.
class SettingsBinding
{
public:
    SettingsBinding(Ui::MainWindow &ui, QWidget &window, MeterSession &session, LogFileCommands &files,
                    ChartControls &chart, BrokerPublishing &publishing);

    void apply(const WindowSettings &settings);
    WindowSettings current() const;

private:
    Ui::MainWindow &m_ui;
    QWidget &m_window;
    MeterSession &m_session;
    LogFileCommands &m_files;
    ChartControls &m_chart;
    BrokerPublishing &m_publishing;
};
