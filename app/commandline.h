#pragma once

#include <QString>
#include <QStringList>

// What the program does on start, as its command line asks.
struct StartOptions
{
    QString serialPort;    // --port: "COM1".."COM4" or a device path; connect it
    bool usb = false;      // --usb: connect the USB interface cable
    QString usbDevicePath; // --usb PATH: that cable rather than the selected one
    QString logFile;       // FILE: open this saved log
    QString brokerAddress; // --mqtt: publish every reading to this broker
};

// The command line read, before the application object exists: start the
// window with `options`, or print `text` and end with `exitCode` (0 after
// --help and --version, 2 when the command line is wrong).
struct StartCommand
{
    enum class Action { Start, Print, Fail };
    Action action = Action::Start;
    StartOptions options;
    QString text; // the help, the version line, or why the command line is wrong
    int exitCode = 0;
};

// `arguments` without the program's name. Qt's own options ("-platform
// NAME", "-style NAME", "-reverse" ...) are accepted and left to Qt.
StartCommand parseStartCommand(const QStringList &arguments);

// The help text: the source of the manual page too.
QString startHelpText();
