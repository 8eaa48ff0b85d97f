#include "cli/commands.h"

#include "cli/jsonwriter.h"
#include "cli/readingjson.h"
#include "session/metersession.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

const QString CableName = QString::fromUtf16(LinkSupervisor::CableName);

// "name (path), ..." of every device the link lists.
QString presentDevices(const MeterSession &session)
{
    QStringList seen;
    for (const UsbDeviceEntry &device : session.usbDevices())
        seen << QStringLiteral("%1 (%2)").arg(device.name, device.path);
    return seen.isEmpty() ? QStringLiteral("no HID device is present")
                          : QStringLiteral("present: ") + seen.join(QLatin1String(", "));
}

} // namespace

int decodeFromHidDevice(const DecodeOptions &options, MeterSession &session, JsonLineWriter &out)
{
    QEventLoop loop;
    int result = 0;
    bool lost = false;
    session.setReconnect(options.reconnect);
    const auto fail = [&](const QString &message) {
        if (result == 0)
            result = cliFail(message);
        loop.quit();
    };

    QObject::disconnect(&session, &MeterSession::readingDecoded, nullptr, nullptr);
    QObject::connect(&session, &MeterSession::readingDecoded, &loop, [&](const DecodeResult &decoded) {
        // Reports handed over while the link stops are not decoded past the limit.
        if (options.frames > 0 && session.decodedFrames() > options.frames)
            return;
        writeReadingJson(out, session.lastFrame(), decoded);
        // Live output: each line as soon as its frame is decoded.
        if (!out.flush())
            fail(QStringLiteral("cannot write the output"));
        if (options.frames > 0 && session.decodedFrames() >= options.frames)
            loop.quit();
    });
    // With --reconnect a cable that is not plugged in yet is waited for, as
    // one that was pulled is.
    bool waitingForCable = false;
    QObject::connect(&session, &MeterSession::linkFailed, &loop, [&](const LinkFailure &failure) {
        switch (failure.kind) {
        case LinkFailure::Kind::CableNotFound:
            if (waitingForCable)
                break;
            if (options.reconnect) {
                waitingForCable = true;
                std::fprintf(stderr, "qm320-cli: waiting for %s to be plugged in\n",
                             qPrintable(options.hidDevicePath.isEmpty()
                                            ? QStringLiteral("a USB interface cable (\"%1\")").arg(CableName)
                                            : options.hidDevicePath));
            } else if (options.hidDevicePath.isEmpty())
                fail(QStringLiteral("no USB interface cable (\"%1\") is plugged in; %2")
                         .arg(CableName, presentDevices(session)));
            else
                fail(QStringLiteral("%1 is not a HID device that is plugged in; %2")
                         .arg(options.hidDevicePath, presentDevices(session)));
            break;
        case LinkFailure::Kind::CableNotReadable:
            fail(QStringLiteral("cannot open %1 for reading and writing: %2. Install the udev rule "
                                "packaging/udev/70-qm320.rules (see README), then unplug the cable and "
                                "plug it in again.")
                     .arg(failure.device, failure.detail));
            break;
        case LinkFailure::Kind::CableInUse:
            fail(QStringLiteral("%1 cannot be read here: %2; a cable is read by one program at a time")
                     .arg(failure.device, failure.detail));
            break;
        case LinkFailure::Kind::CableSilent:
            fail(QStringLiteral("%1 sends no data; unplug the cable, plug it in again and re-try").arg(failure.device));
            break;
        case LinkFailure::Kind::CableIdle:
            fail(QStringLiteral("%1 sends no meter data; check that the meter is on and sending").arg(failure.device));
            break;
        case LinkFailure::Kind::CableLost:
            lost = true;
            if (failure.reconnecting)
                std::fprintf(stderr, "qm320-cli: %s was unplugged; waiting for it to come back\n",
                             qPrintable(failure.device));
            else
                fail(QStringLiteral("%1 was unplugged; the link is lost").arg(failure.device));
            break;
        default:
            break;
        }
    });
    QObject::connect(&session, &MeterSession::linkStateChanged, &loop, [&](LinkState state) {
        if (lost && state == LinkState::Usb)
            std::fprintf(stderr, "qm320-cli: reading %s again\n", qPrintable(session.usbDevicePath()));
    });
    QObject::connect(&session, &MeterSession::cableSetUp, &loop, [&](bool accepted, const QString &accessError) {
        if (!accepted && accessError.isEmpty())
            std::fprintf(stderr, "qm320-cli: %s refused the set-up report; reading all the same\n",
                         qPrintable(session.usbDevicePath()));
    });
    QObject::connect(&session, &MeterSession::cableReset, &loop, [&] {
        std::fprintf(stderr, "qm320-cli: %s sent nothing; it was reset\n", qPrintable(session.usbDevicePath()));
    });

    QObject::connect(&session, &MeterSession::usbDevicesChanged, &loop, [&] {
        if (waitingForCable && session.connectUsb(options.hidDevicePath)) {
            waitingForCable = false;
            std::fprintf(stderr, "qm320-cli: reading %s\n", qPrintable(session.usbDevicePath()));
        }
    });

    session.start();
    if (!session.links().usbAvailable())
        return cliFail(session.links().usbErrorString());
    if (!session.connectUsb(options.hidDevicePath) && !waitingForCable)
        return result ? result : 2;
    if (options.frames == 0)
        return 0;

    QTimer deadline;
    deadline.setSingleShot(true);
    if (options.seconds >= 0) {
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(int(std::min(options.seconds * 1000.0, 2e9)));
    }
    if (result == 0)
        loop.exec();

    session.disconnectLink();
    if (!out.flush() && result == 0)
        return cliFail(QStringLiteral("cannot write the output"));
    if (result)
        return result;
    // The run went on, but the link was lost on the way.
    return lost ? 3 : 0;
}
