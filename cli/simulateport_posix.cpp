// The simulator's live play on a pseudo-terminal: POSIX only.

#include "cli/simulateport.h"

#include "cli/commands.h"
#include "simulator/metersimulator.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

void addNanoseconds(timespec &t, long long ns)
{
    ns += t.tv_nsec;
    t.tv_sec += time_t(ns / 1000000000LL);
    t.tv_nsec = long(ns % 1000000000LL);
}

void sleepUntil(const timespec &t)
{
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &t, nullptr) == EINTR) { }
}

} // namespace

int playOnPseudoTerminal(MeterSimulator &meter, const QString &scenario, long long frames, int intervalMs)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char device[128] = {};
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, device, sizeof device) != 0)
        return cliFail(QStringLiteral("cannot open a pseudo-terminal: %1").arg(systemError()));
    // Raw until a reader sets its own line: no echo, no line editing of the
    // meter's bytes. Settings made on the master apply to the terminal side.
    termios t{};
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    // A meter sends whether anybody listens: bytes that find no room are lost.
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    std::printf("Meter simulator on %s (scenario \"%s\", a frame every %d ms). Ctrl+C stops it.\n"
                "QM320_COM1=%s\n"
                "Read it from another terminal with:\n"
                "  QM320_COM1=%s qm320-cli decode --port COM1\n",
                device, scenario.toLocal8Bit().constData(), intervalMs, device, device);
    std::fflush(stdout);

    const long long byteNs = std::llround(ByteTimeMs * 1e6);
    const long long frameNs = std::max<long long>(intervalMs * 1000000LL, 14 * byteNs);
    timespec frameStart{};
    clock_gettime(CLOCK_MONOTONIC, &frameStart);
    for (long long n = 0; frames < 0 || n < frames; ++n) {
        const FrameBytes f = meter.nextFrame();
        for (std::size_t i = 0; i < f.size(); ++i) {
            // Each byte leaves when its last bit is on the line.
            timespec due = frameStart;
            addNanoseconds(due, byteNs * (long long)(i + 1));
            sleepUntil(due);
            if (::write(master, &f[i], 1) < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
                return cliFail(
                    QStringLiteral("cannot write to %1: %2").arg(QString::fromLocal8Bit(device), systemError()));
        }
        addNanoseconds(frameStart, frameNs);
        sleepUntil(frameStart);
    }
    // Give a reader polling every 100 ms time for the last bytes before the
    // terminal goes away.
    timespec linger{};
    clock_gettime(CLOCK_MONOTONIC, &linger);
    addNanoseconds(linger, 500000000LL);
    sleepUntil(linger);
    ::close(master);
    return 0;
}
