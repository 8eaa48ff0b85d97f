#include "cli/commands.h"

#include "cli/decodeinput.h"
#include "cli/jsonwriter.h"
#include "cli/readingjson.h"
#include "publish/brokeraddress.h"
#include "publish/messagepublisher.h"
#include "publish/readingmessage.h"
#include "session/metersession.h"
#include "shared/localeinfo.h"
#include "shared/optionparser.h"
#include "transport/hidbackend.h"
#include "transport/serialbackend.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char DecodeHelp[] = R"(Usage:
  qm320-cli decode [--hid] [--low X] [--high Y] [--mqtt URL] [FILE]
  qm320-cli decode --port NAME [--frames N] [--seconds S] [--reconnect]
                   [--low X] [--high Y] [--mqtt URL]
  qm320-cli decode --hid-device [PATH] [--frames N] [--seconds S] [--reconnect]
                   [--low X] [--high Y] [--mqtt URL]

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
  --mqtt URL          publish every reading to an MQTT broker as well (see
                      Publishing below)

Publishing (--mqtt mqtt://[USER[:PASSWORD]@]HOST[:PORT][/TOPIC]):
  Each decoded reading goes to the broker at HOST (port 1883 by default) as
  one JSON message, with QoS 1 (the broker acknowledges each):
    {"time":"2024-05-01T22:15:03.250+02:00","frame":123,"value":-1.234,
     "unit":"mV","function":"DC","judgement":"pass","display":"-1.234"}
  time is when the frame was decoded (local time with the zone's offset),
  frame the frame's number from 1, value the displayed number in its unit
  (null when the display is no number, as over range), unit with its
  symbols (V, mV, µA, kΩ, °C, ...), function and judgement as in the lines
  above, display the digits as shown.
  The topic is TOPIC, or else qm320/MACHINE/METER: this machine's host name
  and the meter's link (the port's name such as ttyUSB0 or COM1, usb-hidraw0
  for the cable, the file's name without its extension, stdin), with every
  character but letters, digits, ".", "_" and "-" written as "_".
  The connection is made in the background and made again whenever it is
  lost. While the broker is away readings wait in a queue of 100000 (about
  eleven hours of a meter); beyond that the oldest are dropped and counted.
  Publishing never holds up decoding of a live link. A FILE is published
  whole: the run waits up to 10 seconds for the broker at the start, waits
  for room in the queue when the broker is slower than the file, and at the
  end waits until the broker has every reading.
  At the end one line on standard error tells how many readings were
  published and acknowledged, in how long, and how many were dropped:
    mqtt: 5000 readings published to qm320/bench/capture at
    mqtt://127.0.0.1:1883 in 0.812 s (6158 a second), 0 dropped, 0 not
    delivered
  (on one line). Without a broker at the start of a FILE, or with readings
  of a FILE dropped or not delivered, the exit status is 2.

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

// How long a FILE waits for the broker: at the start, for room in the
// queue, and at the end for the last acknowledgements.
constexpr int BrokerWaitMs = 10000;

// The meter's part of the default topic: what the readings come from.
QString meterName(const DecodeOptions &options)
{
    if (!options.port.isEmpty())
        return QFileInfo(options.port).fileName();
    if (options.hidDevice)
        return options.hidDevicePath.isEmpty() ? QStringLiteral("usb")
                                               : QStringLiteral("usb-") + QFileInfo(options.hidDevicePath).fileName();
    if (options.file.isEmpty() || options.file == QLatin1String("-"))
        return QStringLiteral("stdin");
    return QFileInfo(options.file).completeBaseName();
}

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
    parser.addValueOption({QStringLiteral("mqtt")},
                          QStringLiteral("--mqtt needs a broker address, mqtt://host:port/topic"));
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

    // The broker is reached in the background while the input is opened.
    std::unique_ptr<MessagePublisher> mqtt;
    BrokerAddress broker;
    QString topic;
    if (parser.isSet(QStringLiteral("mqtt"))) {
        QString why;
        const std::optional<BrokerAddress> address = BrokerAddress::parse(parser.value(QStringLiteral("mqtt")), &why);
        if (!address)
            return cliFail(why);
        broker = *address;
        mqtt = createMessagePublisher();
        if (!mqtt)
            return cliFail(
                QStringLiteral("this qm320-cli was built without MQTT (libmosquitto): --mqtt cannot publish"));
        topic = broker.topic.isEmpty() ? BrokerAddress::defaultTopic(QSysInfo::machineHostName(), meterName(options))
                                       : broker.topic;
        if (!mqtt->start(broker, topic, &why))
            return cliFail(QStringLiteral("%1: %2").arg(broker.displayText(), why));
        if (!live && !mqtt->waitForConnection(BrokerWaitMs))
            return cliFail(QStringLiteral("%1: %2").arg(broker.displayText(), mqtt->status().problem));
    }

    // Only a live USB run touches the system's HID devices.
    MeterSession session(*locale, createSerialBackend(), options.hidDevice ? createHidBackend() : nullptr);
    session.setLimitTexts(options.high, options.low);
    JsonLineWriter out(stdout);
    ReadingMessage message;
    QElapsedTimer publishing;
    QObject::connect(&session, &MeterSession::readingDecoded, &session, [&](const DecodeResult &result) {
        writeReadingJson(out, session.lastFrame(), result);
        if (!mqtt)
            return;
        if (!publishing.isValid())
            publishing.start();
        // A file waits for the broker; a live meter does not.
        if (!live)
            mqtt->waitForRoom(BrokerWaitMs);
        mqtt->publish(message.messageFor(result.reading, session.decodedFrames(), QDateTime::currentMSecsSinceEpoch()));
    });

    int result = 0;
    if (!options.port.isEmpty()) {
        result = decodeFromPort(options, session, out);
    } else if (options.hidDevice) {
        result = decodeFromHidDevice(options, session, out);
    } else {
        result = decodeInputFile(options.file, options.hid, session);
        if (!out.flush() && result == 0)
            return cliFail(
                QStringLiteral("cannot write the output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (!mqtt)
        return result;

    mqtt->waitUntilDelivered(BrokerWaitMs);
    const PublisherStatus status = mqtt->status();
    const double seconds = publishing.isValid() ? double(publishing.nsecsElapsed()) / 1e9 : 0;
    std::fprintf(
        stderr,
        "mqtt: %lld readings published to %s at %s in %.3f s (%.0f a second), %lld dropped, %lld not delivered\n",
        status.delivered, topic.toLocal8Bit().constData(), broker.displayText().toLocal8Bit().constData(), seconds,
        seconds > 0 ? double(status.delivered) / seconds : 0.0, status.dropped, status.waiting);
    if (!live && result == 0 && (status.dropped > 0 || status.waiting > 0))
        return cliFail(QStringLiteral("%1: not every reading reached the broker (%2)")
                           .arg(broker.displayText(),
                                status.problem.isEmpty() ? QStringLiteral("it was too slow") : status.problem));
    return result;
}
