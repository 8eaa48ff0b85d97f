#include "tools/commands.h"

#include "tools/decodesession.h"
#include "tools/jsonwriter.h"
#include "transport/comportnames.h"
#include "transport/tcommportdriver.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

void note(const QString &text)
{
    std::fprintf(stderr, "qm320-cli: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int decodeFromPort(const DecodeOptions &options, DecodeSession &session, JsonLineWriter &out)
{
    TCommPortDriver port;
    if (const int n = comPortNumber(options.port))
        port.setComPort(TComPortNumber(n - 1));
    else if (options.port.startsWith(u'/'))
        port.setComPortDevice(options.port);
    else
        return cliFail(QStringLiteral("'%1' is not a port: name COM1 to COM4 or a device path").arg(options.port));

    // The main window's settings.
    port.setComPortSpeed(br2400);
    port.setComPortDataBits(db8BITS);
    port.setComPortStopBits(sb1BITS);
    port.setComPortParity(ptNONE);
    port.setComPortHwHandshaking(hhNONE);
    port.setComPortSwHandshaking(shNONE);
    port.setComPortInBufSize(2048);
    port.setComPortOutBufSize(2048);
    port.setComPortPollingDelay(100);
    port.setEnableDTROnOpen(true);

    QEventLoop loop;
    bool outputFailed = false;

    // One batch may carry several frames; print exactly --frames of them.
    const auto print = session.frameDecoded;
    session.frameDecoded = [&](const ReadingDecoder &decoder) {
        if (options.frames >= 0 && session.decodedFrames > options.frames)
            return;
        if (print)
            print(decoder);
        if (options.frames >= 0 && session.decodedFrames == options.frames)
            loop.quit();
    };
    // Lines go out as their batch arrives, so a reader sees them live.
    port.setOnReceiveData([&](TCommPortDriver *, const std::uint8_t *data, int size) {
        session.assembler.RECEIVE_COM_Data(data, size);
        if (!out.flush()) {
            outputFailed = true;
            loop.quit();
        }
    });

    if (!port.OpenPort())
        return cliFail(port.lastOpenError());
    if (!port.lastSettingsError().isEmpty())
        note(port.lastSettingsError());
    if (options.frames == 0)
        return 0;

    // A pulled adapter or a stopped simulator: say so once, then try the port
    // again every second until it is back.
    QTimer reopen;
    reopen.setInterval(1000);
    QObject::connect(&port, &TCommPortDriver::readFailed, &loop, [&](const QString &reason) {
        note(QStringLiteral("%1; trying to open %2 again every second").arg(reason, options.port));
        port.ClosePort();
        reopen.start();
    });
    QObject::connect(&reopen, &QTimer::timeout, &loop, [&] {
        if (!port.OpenPort())
            return;
        reopen.stop();
        note(QStringLiteral("reading %1 again").arg(options.port));
    });

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (options.seconds >= 0)
        deadline.start(int(std::min(std::llround(options.seconds * 1000.0), 0x7fffffffLL)));

    loop.exec();
    port.ClosePort();
    if (outputFailed || !out.flush())
        return cliFail(QStringLiteral("cannot write the output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    return 0;
}
