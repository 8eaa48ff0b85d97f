#include "cli/commands.h"

#include "cli/decodeinput.h"
#include "cli/jsonwriter.h"
#include "cli/readingjson.h"
#include "session/metersession.h"
#include "shared/localeinfo.h"
#include "shared/optionparser.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char DecodeHelp[] = R"(Usage:
  qm320-cli decode [--hid] [--low X] [--high Y] [FILE]
  qm320-cli decode --port NAME [--frames N] [--seconds S] [--reconnect]
                   [--low X] [--high Y]
  qm320-cli decode --hid-device [PATH] [--frames N] [--seconds S] [--reconnect]
                   [--low X] [--high Y]

Runs meter data through the program's frame assembly and decoder and prints
one JSON object per decoded frame, one per line.

Input (FILE, or standard input when FILE is absent or "-"):
  without --hid   the raw bytes exactly as received on the COM link
  with --hid      text, one HID input report per line: hex bytes separated by
                  blanks, the report ID first, then the report's data bytes
                  (data byte 1 is the cable's count byte); blank lines and
                  lines starting with '#' are ignored

Live input:
  --port NAME         read a serial port: COM1..COM4 or a device path, at
                      2400 bit/s, 8N1, DTR raised, polled every 100 ms
  --hid-device [PATH] read the USB cable ("USB to Serial"; the one the program
                      selects when PATH is absent) after sending its set-up
                      report
  --frames N          stop after N decoded frames
  --seconds S         stop after S seconds
  --reconnect         when the port or the cable is lost, wait for the same
                      device and resume; the exit status is then 3 if the
                      link was lost during the run. Without it a lost link
                      ends the run with exit status 2. A cable that is not
                      plugged in yet is waited for too.

Options:
  --low X, --high Y   the limits of the Pass/Fail judgement, written with the
                      user locale's decimal separator (default -4000 and 4000);
                      with X above Y every reading is judged Fail, and a line
                      on standard error says so

The decoder starts from the program's start-up values: full scale 4000,
MAX -4001, MIN 4001, no previous mode, vertical axis -4000 to 4000.

Each line holds the keys:
  frame     the frame as hex text
  value     the display as text, with the user locale's decimal separator
  count     the four digits as a signed integer
  numeric   the count times the range factor
  function  DC, AC, OHM, CAP, Freq, DutyCycle, TMP, Diode, CTN or ""
  unit      V, mV, A, mA, uA, F, nF, uF, * (ohm), k*, M*, Hz, kHz, MHz, %,
            # (degC), ? (degF), ...
  range     AUTO or MANU
  judge     pass or Fail ("" until a frame is judged)
  flags     the annunciators that are set, from: auto dc ac rel hold scale4v
            max min lowbatt nano micro milli kilo mega continuity diode duty
            volt ampere ohm hertz farad celsius fahrenheit
  axis_min, axis_max   the chart's vertical axis after this frame
  min, max  the MIN and MAX displays of the current mode

Exit status: 0 on success; 2 when the input cannot be read, a --hid line is
malformed (the message names the file and line), a port cannot be opened, the
link is lost (without --reconnect), or the USB cable is missing, cannot be
read, sends nothing, or reports without meter data for about 19 seconds; 3
when the link was lost during the run and --reconnect waited for it.
)";


} // namespace

int runDecode(const QStringList &args)
{
    OptionParser parser(QStringLiteral("qm320-cli decode --help"));
    parser.addFlag({QStringLiteral("hid")});
    parser.addValueOption({QStringLiteral("low")}, QStringLiteral("--low needs a value"));
    parser.addValueOption({QStringLiteral("high")}, QStringLiteral("--high needs a value"));
    parser.addValueOption({QStringLiteral("port")},
                          QStringLiteral("--port needs a port name (COM1..COM4) or a device path"));
    parser.addOptionalValueOption(QStringLiteral("hid-device"));
    parser.addValueOption({QStringLiteral("frames")}, QStringLiteral("--frames needs a whole number of frames"));
    parser.addValueOption({QStringLiteral("seconds")}, QStringLiteral("--seconds needs a number of seconds"));
    parser.addFlag({QStringLiteral("reconnect")});
    if (const std::optional<int> done = parseCommand(parser, args, DecodeHelp))
        return *done;

    DecodeOptions options;
    options.hid = parser.isSet(QStringLiteral("hid"));
    if (parser.isSet(QStringLiteral("low")))
        options.low = parser.value(QStringLiteral("low"));
    if (parser.isSet(QStringLiteral("high")))
        options.high = parser.value(QStringLiteral("high"));
    options.port = parser.value(QStringLiteral("port"));
    if (parser.isSet(QStringLiteral("port")) && options.port.isEmpty())
        return cliFail(QStringLiteral("--port needs a port name (COM1..COM4) or a device path"));
    options.hidDevice = parser.isSet(QStringLiteral("hid-device"));
    options.hidDevicePath = parser.value(QStringLiteral("hid-device"));
    if (parser.isSet(QStringLiteral("frames"))) {
        bool ok = false;
        options.frames = parser.value(QStringLiteral("frames")).toLongLong(&ok);
        if (!ok || options.frames < 0)
            return cliFail(QStringLiteral("--frames needs a whole number of frames"));
    }
    if (parser.isSet(QStringLiteral("seconds"))) {
        bool ok = false;
        options.seconds = parser.value(QStringLiteral("seconds")).toDouble(&ok);
        if (!ok || options.seconds < 0)
            return cliFail(QStringLiteral("--seconds needs a number of seconds"));
    }
    options.reconnect = parser.isSet(QStringLiteral("reconnect"));

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return cliFail(QStringLiteral("decode reads one file; %1 is one too many").arg(files.at(1)));
    options.file = files.value(0);
    const bool live = !options.port.isEmpty() || options.hidDevice;
    if (!options.port.isEmpty() && options.hidDevice)
        return cliFail(QStringLiteral("--port and --hid-device read one link each; choose one"));
    if (live && !options.file.isEmpty())
        return cliFail(QStringLiteral("decode reads a live link or a file; %1 is one too many").arg(options.file));
    if (options.reconnect && !live)
        return cliFail(QStringLiteral("--reconnect needs a live link: --port NAME or --hid-device [PATH]"));

    const std::unique_ptr<LocaleInfo> locale = createSystemLocaleInfo();
    const QString separator = locale->userDecimalSeparator();
    if (const std::optional<int> failed = readLimits(options.low, options.high, separator))
        return *failed;

    // Only a live USB run touches the system's HID devices.
    MeterSession session(*locale, createSerialBackend(), options.hidDevice ? createHidBackend() : nullptr);
    session.setLimitTexts(options.high, options.low);
    JsonLineWriter out(stdout);
    QObject::connect(&session, &MeterSession::readingDecoded, &session,
                     [&](const DecodeResult &result) { writeReadingJson(out, session.lastFrame(), result); });

    if (!options.port.isEmpty())
        return decodeFromPort(options, session, out);
    if (options.hidDevice)
        return decodeFromHidDevice(options, session, out);

    const int result = decodeInputFile(options.file, options.hid, session);
    if (!out.flush() && result == 0)
        return cliFail(QStringLiteral("cannot write the output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    return result;
}
