#include "tools/commands.h"

#include "session/metersession.h"
#include "tools/jsonwriter.h"
#include "tools/readingjson.h"
#include "transport/comportnames.h"

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

int decodeFromPort(const DecodeOptions &options, MeterSession &session, JsonLineWriter &out)
{
    if (deviceForPortName(options.port).isEmpty())
        return cliFail(QStringLiteral("'%1' is not a port: name COM1 to COM4 or a device path").arg(options.port));
    session.setSerialPort(options.port);

    QEventLoop loop;
    bool outputFailed = false;
    QString openError;

    // One batch may carry several frames; print exactly --frames of them,
    // each as soon as its batch arrives, so a reader sees them live.
    QObject::disconnect(&session, &MeterSession::readingDecoded, nullptr, nullptr);
    QObject::connect(&session, &MeterSession::readingDecoded, &loop, [&](const DecodeResult &result) {
        if (options.frames >= 0 && session.decodedFrames() > options.frames)
            return;
        writeReadingJson(out, session.lastFrame(), result);
        if (!out.flush()) {
            outputFailed = true;
            loop.quit();
        }
        if (options.frames >= 0 && session.decodedFrames() == options.frames)
            loop.quit();
    });

    // A pulled adapter or a stopped simulator ends the run, or with
    // --reconnect is waited for.
    bool lost = false;
    int result = 0;
    session.setReconnect(options.reconnect);
    QObject::connect(&session, &MeterSession::linkFailed, &loop, [&](const LinkFailure &failure) {
        if (failure.kind == LinkFailure::Kind::PortNotOpened) {
            openError = failure.detail;
            return;
        }
        if (failure.kind != LinkFailure::Kind::PortLost)
            return;
        lost = true;
        if (!failure.reconnecting) {
            result = cliFail(QStringLiteral("%1; the link is lost").arg(failure.detail));
            loop.quit();
            return;
        }
        note(QStringLiteral("%1; waiting for %2 to come back").arg(failure.detail, options.port));
    });
    QObject::connect(&session, &MeterSession::linkStateChanged, &loop, [&](LinkState state) {
        if (lost && state == LinkState::Serial)
            note(QStringLiteral("reading %1 again").arg(options.port));
    });

    if (!session.connectSerial())
        return cliFail(openError);
    if (options.frames == 0)
        return 0;

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (options.seconds >= 0)
        deadline.start(int(std::min(std::llround(options.seconds * 1000.0), 0x7fffffffLL)));

    loop.exec();
    session.disconnectLink();
    if (outputFailed || !out.flush())
        return cliFail(QStringLiteral("cannot write the output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    if (result)
        return result;
    // The run went on, but the link was lost on the way.
    return lost ? 3 : 0;
}
