#pragma once

#include "transport/serialbackend.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>

// A serial port in memory. Set the scripted fields before (or between) the
// driver's calls; read the recorded ones afterwards.
//
//   calls        every call but read, in order: "open COM1", "flush", "close"
//   openedWith   the settings of each open, failed ones included
//   input        what the "system" has received and not yet handed out: a
//                read takes from its front, flush empties it
//   failOpen     open fails with openError and openErrorText
//   failFlush    flush fails (error Io)
//   failReads    every read fails (error Io, "... the device hung up")
//   isOpen       whether the fake is open now
class FakeSerialBackend : public SerialBackend
{
public:
    // Scripted behaviour.
    bool failOpen = false;
    SerialError openError = SerialError::NoSuchPort;
    QString openErrorText = QStringLiteral("COM1 (/dev/ttyS0) cannot be opened: there is no such device.");
    bool failFlush = false;
    bool failReads = false;
    QByteArray input;

    // What the driver did.
    QStringList calls;
    QList<SerialSettings> openedWith;
    QList<int> readCapacities;   // one entry per read
    bool isOpen = false;

    bool open(const QString &name, const SerialSettings &settings) override
    {
        calls << QStringLiteral("open %1").arg(name);
        openedWith << settings;
        if (failOpen) {
            setError(openError, openErrorText);
            return false;
        }
        isOpen = true;
        clearError();
        return true;
    }
    SerialRead read(std::uint8_t *buffer, int capacity) override
    {
        readCapacities << capacity;
        SerialRead result;
        if (failReads) {
            setError(SerialError::Io, QStringLiteral("COM1 (/dev/ttyS0): the device hung up"));
            result.status = SerialRead::Status::Failed;
            return result;
        }
        const int n = std::min<int>(capacity, int(input.size()));
        if (n <= 0)
            return result;
        std::memcpy(buffer, input.constData(), std::size_t(n));
        input.remove(0, n);
        result.status = SerialRead::Status::Data;
        result.count = n;
        return result;
    }
    bool flush() override
    {
        calls << QStringLiteral("flush");
        if (failFlush) {
            setError(SerialError::Io, QStringLiteral("COM1 (/dev/ttyS0): cannot discard the received bytes: "
                                                     "input/output error."));
            return false;
        }
        input.clear();
        return true;
    }
    void close() override
    {
        calls << QStringLiteral("close");
        isOpen = false;
    }
};
