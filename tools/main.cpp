#include "tools/commands.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <QDir>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char MainHelp[] = R"(qm320-cli: the meter core of qm320 on the command line.

Usage: qm320-cli COMMAND [OPTIONS]

Commands:
  decode     decode captured or live meter data into JSON lines
  simulate   play a meter: write its frames to a pseudo-terminal or a file
  log        decode, log as the program does and save the table to a file
  show       print the rows of a saved table file as JSON lines
  report     render the Data Report of a table file to PDF

"qm320-cli COMMAND --help" explains each command. Numbers are read and
written with the decimal separator of the user's locale, as in the program.
)";

} // namespace

int cliFail(const QString &message)
{
    std::fprintf(stderr, "qm320-cli: %s\n", message.toLocal8Bit().constData());
    return 2;
}

bool takeValue(const QStringList &args, qsizetype &i, QString &value)
{
    if (i + 1 >= args.size())
        return false;
    value = args.at(++i);
    return true;
}

int main(int argc, char *argv[])
{
    const QByteArray command = argc > 1 ? QByteArray(argv[1]) : QByteArray();

    // Rendering a report needs fonts and a paint device; everything else only
    // the event loop. Both set the process locale from the environment.
    std::unique_ptr<QCoreApplication> app;
    if (command == "report") {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        // Outside a desktop session Qt warns about the missing runtime folder
        // on every run; give it a private one.
        if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
            const QByteArray dir = QDir::tempPath().toLocal8Bit() + "/qm320-runtime-" + QByteArray::number(::getuid());
            if (::mkdir(dir.constData(), 0700) == 0 || errno == EEXIST)
                qputenv("XDG_RUNTIME_DIR", dir);
        }
        app = std::make_unique<QGuiApplication>(argc, argv);
    } else {
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    QCoreApplication::setApplicationName(QStringLiteral("qm320-cli"));

    QStringList args = QCoreApplication::arguments().mid(2);
    if (command.isEmpty() || command == "--help" || command == "-h" || command == "help") {
        std::fputs(MainHelp, stdout);
        return command.isEmpty() ? 2 : 0;
    }
    if (command == "decode")
        return runDecode(args);
    if (command == "simulate")
        return runSimulate(args);
    if (command == "log")
        return runLog(args);
    if (command == "show")
        return runShow(args);
    if (command == "report")
        return runReport(args);
    return cliFail(QStringLiteral("unknown command '%1' (see qm320-cli --help)").arg(QString::fromLocal8Bit(command)));
}
