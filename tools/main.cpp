#include "meter/limits.h"
#include "meter/localenumber.h"
#include "tools/commands.h"
#include "tools/optionparser.h"
#include "tools/runtimefolder.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <memory>

namespace {

const char MainHelp[] = R"(qm320-cli: the meter core of qm320 on the command line.

Usage: qm320-cli COMMAND [OPTIONS]
  or:  qm320-cli --help | --version

Commands:
  decode     decode captured or live meter data into JSON lines
  simulate   play a meter: write its frames to a pseudo-terminal or a file
  log        decode, log as the program does and save the table to a file
  show       print the rows of a saved table file as JSON lines
  report     render the Data Report of a table file to PDF
  export     write the rows of a table file as CSV for other programs

"qm320-cli COMMAND --help" explains each command. Numbers are read and
written with the decimal separator of the user's locale, as in the program.

Exit status: 0 on success; 2 with one line on standard error saying why
otherwise ("decode --reconnect" adds 3, see decode --help).
)";

const QString HelpOption = QStringLiteral("help");

} // namespace

int cliFail(const QString &message)
{
    std::fprintf(stderr, "qm320-cli: %s\n", message.toLocal8Bit().constData());
    return 2;
}

std::optional<int> readLimits(QString &low, QString &high, const QString &separator)
{
    for (QString *limit : {&low, &high}) {
        *limit = rewriteLimitText(*limit, separator);
        if (localeNumberOrSentinel(*limit, separator) == NotANumber)
            return cliFail(QStringLiteral("'%1' is not a limit: write a number with '%2' as decimal separator")
                               .arg(*limit, separator));
    }
    if (localeNumberOrSentinel(low, separator) > localeNumberOrSentinel(high, separator))
        std::fprintf(stderr, "qm320-cli: --low %s is above --high %s: every reading will be judged Fail\n",
                     low.toLocal8Bit().constData(), high.toLocal8Bit().constData());
    return std::nullopt;
}

std::optional<int> parseCommand(OptionParser &parser, const QStringList &args, const char *help)
{
    parser.addFlag({QStringLiteral("h"), HelpOption});
    const bool parsed = parser.parse(args);
    if (parser.isSet(HelpOption)) {
        std::fputs(help, stdout);
        return 0;
    }
    if (!parsed)
        return cliFail(parser.errorText());
    return std::nullopt;
}

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    // The program's own options come before the command; the command reads
    // everything after its name.
    OptionParser parser(QStringLiteral("qm320-cli --help"));
    parser.addFlag({QStringLiteral("v"), QStringLiteral("version")});
    parser.stopAtFirstArgument();
    if (const std::optional<int> done = parseCommand(parser, arguments, MainHelp))
        return *done;
    const QStringList positional = parser.positionalArguments();
    if (parser.isSet(QStringLiteral("version"))) {
        if (!positional.isEmpty())
            return cliFail(QStringLiteral("--version takes no argument; %1 is one too many").arg(positional.first()));
        std::printf("qm320-cli %s\n", QM320_VERSION);
        return 0;
    }
    const QString command = positional.value(0);
    const QStringList args = positional.mid(1);
    if (command.isEmpty())
        return cliFail(QStringLiteral("usage: qm320-cli COMMAND [OPTIONS] (see qm320-cli --help)"));
    if (command == QLatin1String("help")) {
        std::fputs(MainHelp, stdout);
        return 0;
    }

    // Rendering a report needs fonts and a paint device; everything else only
    // the event loop. Both set the process locale from the environment.
    std::unique_ptr<QCoreApplication> app;
    if (command == QLatin1String("report")) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        provideRuntimeFolder();
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("qm320-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QM320_VERSION));

    if (command == QLatin1String("decode"))
        return runDecode(args);
    if (command == QLatin1String("simulate"))
        return runSimulate(args);
    if (command == QLatin1String("log"))
        return runLog(args);
    if (command == QLatin1String("show"))
        return runShow(args);
    if (command == QLatin1String("report"))
        return runReport(args);
    if (command == QLatin1String("export"))
        return runExport(args);
    return cliFail(QStringLiteral("unknown command '%1' (see qm320-cli --help)").arg(command));
}
