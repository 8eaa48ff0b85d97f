#include "cli/commands.h"

#include "cli/hidreportfile.h"
#include "cli/simulateport.h"
#include "shared/optionparser.h"
#include "simulator/metersimulator.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char SimulateHelp[] = R"(Usage:
  qm320-cli simulate [--scenario NAME] [--interval MS] [--frames N]
  qm320-cli simulate --out FILE [--scenario NAME] [--frames N]
  qm320-cli simulate --hid-out FILE [--scenario NAME] [--frames N] [--interval MS]
  qm320-cli simulate --list

Plays a meter. Without --out or --hid-out it opens a pseudo-terminal, prints
its device and the QM320_COM1 setting that lets the program read it as COM1,
and sends the meter's frames there at the meter's pace: bytes at 2400 bit/s,
one frame every 400 ms, until stopped with Ctrl+C or after --frames N.
In another terminal:

  QM320_COM1=/dev/pts/N qm320-cli decode --port COM1

Options:
  --scenario NAME  what the meter measures (see --list); "all", the default,
                   plays every scenario in turn
  --interval MS    milliseconds from one frame to the next (default 400); a
                   frame itself takes 58 ms at 2400 bit/s, so 0 sends frames
                   back to back
  --frames N       stop after N frames; with --out and --hid-out the default
                   is one pass through the scenario
  --out FILE       write the byte stream to FILE at once ("-": standard
                   output), the input of "qm320-cli decode"; it starts with
                   the LF of the frame before, so every frame decodes
  --hid-out FILE   write the stream as the USB cable's HID input reports, one
                   per line (report ID 0, then 8 data bytes: the count byte
                   and up to 7 payload bytes), with reports without payload
                   between frames: the input of "qm320-cli decode --hid"
  --list           list the scenarios
)";

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

struct Output
{
    std::FILE *file = nullptr;
    bool owned = false;
};

bool openOutput(const QString &name, Output &out)
{
    if (name == QLatin1String("-")) {
        out.file = stdout;
        return true;
    }
    out.file = std::fopen(QFile::encodeName(name).constData(), "wb");
    out.owned = out.file != nullptr;
    return out.file != nullptr;
}

bool closeOutput(Output &out)
{
    bool ok = std::fflush(out.file) == 0 && !std::ferror(out.file);
    if (out.owned)
        ok = std::fclose(out.file) == 0 && ok;
    return ok;
}

int writeSerialFile(MeterSimulator &meter, long long frames, const QString &name)
{
    Output out;
    if (!openOutput(name, out))
        return cliFail(QStringLiteral("cannot write %1: %2").arg(name, systemError()));
    // A capture begins in the meter's stream: the LF that ended the frame
    // before comes first, so that the first frame decodes too.
    std::fputc('\n', out.file);
    for (long long i = 0; i < frames; ++i) {
        const FrameBytes f = meter.nextFrame();
        std::fwrite(f.data(), 1, f.size(), out.file);
    }
    if (!closeOutput(out))
        return cliFail(QStringLiteral("cannot write %1: %2").arg(name, systemError()));
    return 0;
}

int writeHidFile(MeterSimulator &meter, long long frames, int intervalMs, const QString &name)
{
    Output out;
    if (!openOutput(name, out))
        return cliFail(QStringLiteral("cannot write %1: %2").arg(name, systemError()));
    std::fprintf(out.file, "# qm320-cli simulate: the USB cable's reports of %lld meter frames, one every 10 ms\n",
                 frames);
    for (long long i = 0; i < frames; ++i) {
        for (const HidReport &report : hidReportsForFrame(meter.nextFrame(), intervalMs)) {
            const QByteArray line = formatHidReportLine(report[0], report.data() + 1, int(report.size()) - 1);
            std::fwrite(line.constData(), 1, std::size_t(line.size()), out.file);
        }
    }
    if (!closeOutput(out))
        return cliFail(QStringLiteral("cannot write %1: %2").arg(name, systemError()));
    return 0;
}

} // namespace

int runSimulate(const QStringList &args)
{
    OptionParser parser(QStringLiteral("qm320-cli simulate --help"));
    parser.addFlag({QStringLiteral("list")});
    parser.addValueOption({QStringLiteral("scenario")},
                          QStringLiteral("--scenario needs a name (see qm320-cli simulate --list)"));
    parser.addValueOption({QStringLiteral("out")}, QStringLiteral("--out needs a file name"));
    parser.addValueOption({QStringLiteral("hid-out")}, QStringLiteral("--hid-out needs a file name"));
    parser.addValueOption({QStringLiteral("frames")}, QStringLiteral("--frames needs a whole number of frames"));
    parser.addValueOption({QStringLiteral("interval")},
                          QStringLiteral("--interval needs a whole number of milliseconds"));
    if (const std::optional<int> done = parseCommand(parser, args, SimulateHelp))
        return *done;
    if (!parser.positionalArguments().isEmpty())
        return cliFail(QStringLiteral("simulate takes only options; %1 is not one (see qm320-cli simulate --help)")
                           .arg(parser.positionalArguments().first()));
    if (parser.isSet(QStringLiteral("list"))) {
        std::printf("%-12s %s\n", MeterSimulator::AllScenarios, "every scenario in turn (the default)");
        for (const MeterSimulator::ScenarioInfo &s : MeterSimulator::scenarios())
            std::printf("%-12s %s\n", s.name.toLocal8Bit().constData(), s.description.toLocal8Bit().constData());
        return 0;
    }

    QString scenario = QString::fromLatin1(MeterSimulator::AllScenarios);
    if (parser.isSet(QStringLiteral("scenario")))
        scenario = parser.value(QStringLiteral("scenario"));
    const QString out = parser.value(QStringLiteral("out"));
    const QString hidOut = parser.value(QStringLiteral("hid-out"));
    for (const char *option : {"out", "hid-out"}) {
        if (parser.isSet(QLatin1String(option)) && parser.value(QLatin1String(option)).isEmpty())
            return cliFail(QStringLiteral("--%1 needs a file name").arg(QLatin1String(option)));
    }
    long long frames = -1;
    if (parser.isSet(QStringLiteral("frames"))) {
        bool ok = false;
        frames = parser.value(QStringLiteral("frames")).toLongLong(&ok);
        if (!ok || frames < 0)
            return cliFail(QStringLiteral("--frames needs a whole number of frames"));
    }
    int intervalMs = 400;
    if (parser.isSet(QStringLiteral("interval"))) {
        bool ok = false;
        intervalMs = parser.value(QStringLiteral("interval")).toInt(&ok);
        if (!ok || intervalMs < 0)
            return cliFail(QStringLiteral("--interval needs a whole number of milliseconds"));
    }
    if (!out.isEmpty() && !hidOut.isEmpty())
        return cliFail(QStringLiteral("--out and --hid-out write one stream each; run simulate twice"));

    MeterSimulator meter(scenario);
    if (!meter.isValid())
        return cliFail(QStringLiteral("there is no scenario '%1' (see qm320-cli simulate --list)").arg(scenario));

    if (!out.isEmpty())
        return writeSerialFile(meter, frames < 0 ? meter.cycleLength() : frames, out);
    if (!hidOut.isEmpty())
        return writeHidFile(meter, frames < 0 ? meter.cycleLength() : frames, intervalMs, hidOut);
    return playOnPseudoTerminal(meter, scenario, frames, intervalMs);
}
