#pragma once

#include "transport/serialbackend.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cstring>

// A serial port in memory: records every call the driver makes (in order, as
// short texts), the line states it writes, and serves queued input to reads
// the way a system queue does. Failures are switched on per test.
class FakeSerialBackend : public SerialBackend
{
public:
    // Scripted behaviour.
    bool failOpen = false;
    SerialError openError = SerialError::NoSuchPort;
    QString openErrorText = QStringLiteral("COM2 (/dev/ttyS1) cannot be opened: there is no such device.");
    bool failLineState = false;
    bool failReads = false;
    QByteArray input;   // what the "system" has received and not yet handed out

    // What the driver did.
    QStringList calls;   // every call but read, which each tick makes
    QList<SerialLineState> lineStates;
    QList<SerialTimeouts> timeouts;
    QList<int> readCapacities;
    bool isOpen = false;

    bool open(const QString &name) override
    {
        calls << QStringLiteral("open %1").arg(name);
        if (failOpen) {
            setError(openError, openErrorText);
            return false;
        }
        isOpen = true;
        clearError();
        return true;
    }
    void close() override
    {
        calls << QStringLiteral("close");
        isOpen = false;
    }
    bool setLineState(const SerialLineState &state) override
    {
        calls << QStringLiteral("state");
        lineStates << state;
        if (failLineState) {
            setError(SerialError::Unsupported, QStringLiteral("COM2: one and a half stop bits go only with 5 data bits."));
            return false;
        }
        return true;
    }
    bool purge(std::uint32_t flags) override
    {
        calls << QStringLiteral("purge %1").arg(flags);
        if (flags & PurgeRxClear)
            input.clear();
        return true;
    }
    bool setQueueSizes(std::uint32_t inSize, std::uint32_t outSize) override
    {
        calls << QStringLiteral("queues %1 %2").arg(inSize).arg(outSize);
        return true;
    }
    bool setTimeouts(const SerialTimeouts &t) override
    {
        calls << QStringLiteral("timeouts");
        timeouts << t;
        return true;
    }
    SerialRead read(std::uint8_t *buffer, int capacity) override
    {
        readCapacities << capacity;
        SerialRead result;
        if (failReads) {
            setError(SerialError::Io, QStringLiteral("COM2 (/dev/ttyS1): the device hung up"));
            result.status = SerialRead::Status::Failed;
            return result;
        }
        const int n = std::min<int>(capacity, int(input.size()));
        if (n == 0)
            return result;
        std::memcpy(buffer, input.constData(), std::size_t(n));
        input.remove(0, n);
        result.status = SerialRead::Status::Data;
        result.count = n;
        return result;
    }
};
