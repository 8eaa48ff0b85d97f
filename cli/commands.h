#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class MeterSession;
class JsonLineWriter;
class OptionParser;

// One function per command of qm320-cli; each returns the process exit code.
int runDecode(const QStringList &args);
int runSimulate(const QStringList &args);
int runLog(const QStringList &args);
int runShow(const QStringList &args);
int runReport(const QStringList &args);
int runExport(const QStringList &args);

// Prints "qm320-cli: <message>" on standard error and returns exit code 2.
int cliFail(const QString &message);

// Reads a command's arguments with `parser`, which holds the command's own
// options; -h and --help are added here. Returns the exit code when the
// command is done (0 after printing `help`, 2 after one line on standard
// error), or nothing when it goes on.
std::optional<int> parseCommand(OptionParser &parser, const QStringList &args, const char *help);

// Reads the judgement limits --low and --high as the window's limit edits
// read what is typed: rewritten to the user's decimal separator, refused
// (exit code 2) when not a number. Limits the wrong way round are accepted,
// as the window accepts them, with a line on standard error: every reading
// is then judged Fail.
std::optional<int> readLimits(QString &low, QString &high, const QString &separator);

struct DecodeOptions
{
    bool hid = false;
    QString low = QStringLiteral("-4000");
    QString high = QStringLiteral("4000");
    QString file;           // empty or "-": standard input
    QString port;           // --port: "COM1".."COM4" or a device path
    bool hidDevice = false; // --hid-device
    QString hidDevicePath;  // its optional path
    long long frames = -1;  // --frames N: stop after N decoded frames
    double seconds = -1;    // --seconds S: stop after S seconds
    bool reconnect = false; // --reconnect: wait for a lost device and resume
};

// Live decoding, from a serial port and from the USB cable.
int decodeFromPort(const DecodeOptions &options, MeterSession &session, JsonLineWriter &out);
int decodeFromHidDevice(const DecodeOptions &options, MeterSession &session, JsonLineWriter &out);
