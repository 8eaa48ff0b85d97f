#include "tools/commands.h"

#include "meter/frameassembler.h"
#include "tools/decodesession.h"
#include "tools/jsonwriter.h"
#include "transport/tjvhiddevicecontroller.h"
#include "transport/usbconnection.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QTimer>

#include <array>
#include <cstdio>

namespace {

const QString CableName = QString::fromUtf16(UsbConnection::CableName);

QString canonical(const QString &path)
{
    const QString c = QFileInfo(path).canonicalFilePath();
    return c.isEmpty() ? path : c;
}

// The list position of the device to read: the one at `path`, or the first
// whose display text is the cable's; -1 when there is none.
int findDevice(TJvHidDeviceController &hidCtl, const QString &path, QStringList &seen)
{
    int found = -1;
    const QString wanted = path.isEmpty() ? QString() : canonical(path);
    hidCtl.SetOnEnumerate([&](TJvHidDevice *device, int idx) {
        const QString name = UsbConnection::HidDeviceName(*device);
        seen << QStringLiteral("%1 (%2)").arg(name, device->PnpInfo().DevicePath);
        const bool match = wanted.isEmpty() ? name == CableName : canonical(device->PnpInfo().DevicePath) == wanted;
        if (match)
            found = idx;
        return !match;
    });
    hidCtl.ListDevices();
    hidCtl.SetOnEnumerate(nullptr);
    return found;
}

} // namespace

int decodeFromHidDevice(const DecodeOptions &options, DecodeSession &session, JsonLineWriter &out)
{
    std::unique_ptr<TJvHidDeviceController> hidCtl;
    try {
        hidCtl = std::make_unique<TJvHidDeviceController>(createHidBackend());
    } catch (const EControllerError &e) {
        return cliFail(e.message());
    }
    if (!hidCtl->HidLoaded())
        return cliFail(QStringLiteral("the system's HID devices cannot be listed (no udev)"));

    QStringList seen;
    const int index = findDevice(*hidCtl, options.hidDevicePath, seen);
    if (index < 0) {
        const QString listed = seen.isEmpty() ? QStringLiteral("no HID device is present")
                                              : QStringLiteral("present: ") + seen.join(QLatin1String(", "));
        if (options.hidDevicePath.isEmpty())
            return cliFail(QStringLiteral("no USB interface cable (\"%1\") is plugged in; %2").arg(CableName, listed));
        return cliFail(QStringLiteral("%1 is not a HID device that is plugged in; %2").arg(options.hidDevicePath, listed));
    }
    std::unique_ptr<TJvHidDevice> device = hidCtl->ClaimDeviceAt(index);
    const QString path = device->PnpInfo().DevicePath;
    if (!device->ReadWriteAccess()) {
        return cliFail(QStringLiteral("cannot open %1 for reading and writing: %2. Install the udev rule "
                                      "packaging/udev/70-qm320.rules (see README), then unplug the cable and "
                                      "plug it in again.")
                           .arg(path, qt_error_string(int(device->ControlOpenError()))));
    }

    const std::array<std::uint8_t, 10> setup = UsbConnection::BridgeSetupReport(UsbModelChoice());
    if (!device->SendFeatureReport(setup.data(), int(setup.size())))
        std::fprintf(stderr, "qm320-cli: %s refused the set-up report; reading all the same\n", qPrintable(path));

    QEventLoop loop;
    int result = 0;
    const auto fail = [&](const QString &message) {
        if (result == 0)
            result = cliFail(message);
        loop.quit();
    };
    long long reports = 0;
    bool resetTried = false;

    if (options.frames == 0)
        return 0;
    device->SetDataErrorHandler([&](TJvHidDevice *, std::uint32_t error) {
        fail(QStringLiteral("cannot read %1: %2").arg(path, qt_error_string(int(error))));
    });
    hidCtl->SetOnRemoval([&](TJvHidDevice *removed) {
        if (removed == device.get())
            fail(QStringLiteral("%1 was unplugged").arg(path));
    });
    device->SetDataHandler([&](TJvHidDevice *, std::uint8_t reportId, const std::uint8_t *data, std::uint16_t size) {
        ++reports;
        // Reports handed over while the link stops are not decoded past the limit.
        if (options.frames > 0 && session.decodedFrames >= options.frames)
            return;
        const long long before = session.decodedFrames;
        session.assembler.HidReportQM330(reportId, data, size);
        if (session.decodedFrames == before)
            return;
        // Live output: each line as soon as its frame is decoded.
        if (!out.flush())
            fail(QStringLiteral("cannot write the output"));
        if (options.frames > 0 && session.decodedFrames >= options.frames)
            loop.quit();
    });

    // A cable that sends nothing at all needs a reset after it was plugged
    // in; without the right to reset it, the user has to plug it in again.
    QTimer silent;
    silent.setInterval(UsbConnection::SilentCableMs);
    QObject::connect(&silent, &QTimer::timeout, &loop, [&] {
        if (reports > 0) {
            silent.stop();
            return;
        }
        QString detail;
        if (!resetTried && device->ResetUsbDevice(detail) == HidBackend::ResetResult::Done) {
            resetTried = true;
            std::fprintf(stderr, "qm320-cli: %s sent nothing; it was reset\n", qPrintable(path));
            device->SendFeatureReport(setup.data(), int(setup.size()));
            return;
        }
        fail(QStringLiteral("%1 sends no data%2; unplug the cable, plug it in again and re-try")
                 .arg(path, detail.isEmpty() || resetTried ? QString() : QStringLiteral(" and cannot be reset (%1)").arg(detail)));
    });
    silent.start();

    QTimer deadline;
    deadline.setSingleShot(true);
    if (options.seconds >= 0) {
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(int(std::min(options.seconds * 1000.0, 2e9)));
    }
    loop.exec();

    device->SetDataHandler(nullptr);
    device.reset();
    if (!out.flush() && result == 0)
        return cliFail(QStringLiteral("cannot write the output"));
    return result;
}
