#pragma once

#include <QString>

// Asks the host that runs this virtual machine to act on the machine's
// hardware: to feed the USB-to-RS-232 adapter the bytes of a capture, and to
// pull the adapter out or plug it back in through QEMU's monitor.
//
// Guest and host share the run folder: a request is the file "request"
// ("SEQUENCE COMMAND ARGUMENTS"), answered by the file "reply"
// ("SEQUENCE ok|error TEXT"). The host script tests/vm/run.sh serves them.
class HostControl
{
public:
    // The run folder from QM320_VM_RUN, empty outside the test machine.
    static QString runFolder();

    explicit HostControl(const QString &runFolder);

    // Sends one request and waits up to `timeoutMs` for its answer; false
    // with the reason in errorString() when the host refused it or is silent.
    bool request(const QString &command, int timeoutMs = 10000);
    QString errorString() const { return m_error; }

    // Streams the serial capture at `fileName` (in the run folder: an LF,
    // then 14-byte frames) into the adapter, one frame every `intervalMs`.
    bool sendSerialCapture(const QString &fileName, int intervalMs)
    {
        return request(QStringLiteral("serial-send %1 %2").arg(fileName).arg(intervalMs));
    }
    // Pulls the adapter; the bytes not yet delivered are dropped.
    bool pullAdapter() { return request(QStringLiteral("serial-pull")); }
    // Plugs a fresh adapter in on the same socket.
    bool plugAdapter() { return request(QStringLiteral("serial-plug")); }

private:
    QString m_folder;
    QString m_error;
    int m_sequence = 0;
};
