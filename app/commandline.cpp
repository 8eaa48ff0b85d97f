#include "app/commandline.h"

#include "publish/brokeraddress.h"
#include "session/linksupervisor.h"
#include "shared/optionparser.h"

namespace {

const char Help[] = R"(Usage: qm320 [--port NAME | --usb [PATH]] [--mqtt URL] [FILE]

Reads a 4000-count digital multimeter over a serial port or its USB interface
cable, shows its display, judges every reading Pass or Fail against your
limits and logs it into a table and a chart.

Options:
  --port NAME    connect the serial port NAME on start: COM1..COM4 or a
                 device path such as /dev/ttyUSB1. COMn is the device that
                 the environment variable QM320_COMn names, else
                 /dev/ttyUSB(n-1) when it exists, else /dev/ttyS(n-1)
  --usb [PATH]   connect the USB interface cable ("USB to Serial") on start:
                 the one at PATH (a /dev/hidraw device), or the one the
                 program selects; the argument after --usb is PATH unless it
                 starts with '-', so write FILE before --usb
  --mqtt URL     publish every reading to the MQTT broker at URL,
                 mqtt://[USER[:PASSWORD]@]HOST[:PORT][/TOPIC], as
                 Connection > Publish to a Broker does (and kept, as there)
  FILE           open this saved log on start: tab-separated text (.xls,
                 .txt) or an XML data packet (.xml)
  -h, --help     show this help and exit
  -v, --version  show the version and exit

Qt's own options (-platform NAME, -style NAME, -reverse ...) go to Qt.

Exit status: 0 when the window is closed; 2 with one line on standard error
when the command line is wrong.
)";

// Qt reads these itself when the application object is made; a value
// option's value is the argument after it.
struct QtOption
{
    const char *name;
    bool hasValue;
};
constexpr QtOption QtOptions[] = {
    {"platform", true},     {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"style", true},        {"stylesheet", true},         {"session", true},       {"display", true},
    {"geometry", true},     {"qwindowgeometry", true},    {"qwindowicon", true},   {"qwindowtitle", true},
    {"title", true},        {"reverse", false},           {"nograb", false},       {"dograb", false},
    {"widgetcount", false},
};

StartCommand failed(const QString &reason)
{
    StartCommand command;
    command.action = StartCommand::Action::Fail;
    command.text = reason;
    command.exitCode = 2;
    return command;
}

StartCommand printed(const QString &text)
{
    StartCommand command;
    command.action = StartCommand::Action::Print;
    command.text = text;
    return command;
}

} // namespace

QString startHelpText()
{
    return QString::fromUtf8(Help);
}

StartCommand parseStartCommand(const QStringList &arguments)
{
    OptionParser parser(QStringLiteral("qm320 --help"));
    parser.addFlag({QStringLiteral("h"), QStringLiteral("help")});
    parser.addFlag({QStringLiteral("v"), QStringLiteral("version")});
    parser.addValueOption({QStringLiteral("port")},
                          QStringLiteral("--port needs a port name (COM1..COM4) or a device path"));
    parser.addOptionalValueOption(QStringLiteral("usb"));
    parser.addValueOption({QStringLiteral("mqtt")},
                          QStringLiteral("--mqtt needs the broker's address, mqtt://HOST[:PORT][/TOPIC]"));
    for (const QtOption &option : QtOptions)
        parser.addPassedOption(QString::fromLatin1(option.name), option.hasValue);

    const bool parsed = parser.parse(arguments);
    if (parser.isSet(QStringLiteral("help")))
        return printed(startHelpText());
    if (!parsed)
        return failed(parser.errorText());
    if (parser.isSet(QStringLiteral("version"))) {
        if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty())
            return failed(QStringLiteral("--version takes no argument; %1 is one too many").arg(extra.first()));
        return printed(QStringLiteral("qm320 %1\n").arg(QStringLiteral(QM320_VERSION)));
    }

    StartCommand command;
    StartOptions &options = command.options;
    if (parser.isSet(QStringLiteral("port"))) {
        const QString port = parser.value(QStringLiteral("port"));
        if (const int n = LinkSupervisor::comPortNumber(port))
            options.serialPort = QStringLiteral("COM%1").arg(n);
        else if (LinkSupervisor::isPortName(port))
            options.serialPort = port;
        else
            return failed(QStringLiteral("'%1' is not a port: name COM1 to COM4 or a device path").arg(port));
    }
    options.usb = parser.isSet(QStringLiteral("usb"));
    options.usbDevicePath = parser.value(QStringLiteral("usb"));
    if (options.usb && !options.serialPort.isEmpty())
        return failed(QStringLiteral("--port and --usb connect one link each; choose one"));

    if (parser.isSet(QStringLiteral("mqtt"))) {
        QString why;
        options.brokerAddress = parser.value(QStringLiteral("mqtt"));
        if (!BrokerAddress::parse(options.brokerAddress, &why))
            return failed(why);
    }

    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return failed(QStringLiteral("one FILE opens on start; %1 is one too many").arg(files.at(1)));
    options.logFile = files.value(0);
    return command;
}
