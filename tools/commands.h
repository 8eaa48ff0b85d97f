#pragma once

#include <QString>
#include <QStringList>

class MeterSession;
class JsonLineWriter;

// One function per command of qm320-cli; each returns the process exit code.
int runDecode(const QStringList &args);
int runSimulate(const QStringList &args);
int runLog(const QStringList &args);
int runShow(const QStringList &args);
int runReport(const QStringList &args);

// Prints "qm320-cli: <message>" on standard error and returns exit code 2.
int cliFail(const QString &message);

// The value after option args[i]: moves i onto it; false when there is none.
bool takeValue(const QStringList &args, qsizetype &i, QString &value);

struct DecodeOptions
{
    bool hid = false;
    QString low = QStringLiteral("-4000");
    QString high = QStringLiteral("4000");
    QString file;             // empty or "-": standard input
    QString port;             // --port: "COM1".."COM4" or a device path
    bool hidDevice = false;   // --hid-device
    QString hidDevicePath;    // its optional path
    long long frames = -1;    // --frames N: stop after N decoded frames
    double seconds = -1;      // --seconds S: stop after S seconds
    bool reconnect = false;   // --reconnect: wait for a lost device and resume
};

// Live decoding, from a serial port and from the USB cable.
int decodeFromPort(const DecodeOptions &options, MeterSession &session, JsonLineWriter &out);
int decodeFromHidDevice(const DecodeOptions &options, MeterSession &session, JsonLineWriter &out);
