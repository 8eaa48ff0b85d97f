#pragma once

class MainWindow;
struct StartOptions;

// Does what the command line asked for on start, as the user's clicks
// would: starts publishing to the broker, opens the log file first, so that its rows come before any reading,
// then connects the serial port or the USB cable. A failure shows the same
// message box as the click does.
void applyStartOptions(MainWindow &window, const StartOptions &options);
