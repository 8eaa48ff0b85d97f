#include "tools/commands.h"

#include "log/logtable.h"
#include "log/tablefiles.h"
#include "meter/limits.h"
#include "meter/localeinfo.h"
#include "meter/localenumber.h"
#include "session/metersession.h"
#include "tools/decodeinput.h"
#include "transport/serialbackend.h"

#include <cstdio>
#include <limits>

namespace {

const char LogHelp[] = R"(Usage:
  qm320-cli log [--hid] [--no-repeat] [--limit N] [--low X --high Y] --out FILE [INPUT]

Decodes captured meter data as "qm320-cli decode" does, logs the readings
into the log table as the program does with every decoded frame, and saves
the table to FILE with the program's writer.

Input (INPUT, or standard input when INPUT is absent or "-"):
  without --hid   the raw bytes exactly as received on the COM link
  with --hid      text, one HID input report per line (see decode --help)

Options:
  --out FILE          the table file to write: an XML data packet when FILE
                      ends in exactly ".xml", tab-separated text otherwise
                      (.xls, .txt); an existing FILE is replaced only once
                      the new one is completely written
  --no-repeat         log a reading only when it differs from the last one
                      logged ("Repeat" not ticked); by default every frame
                      is logged
  --limit N           stop logging after N rows (the Record menu's limit;
                      default 10000)
  --low X, --high Y   the limits of the Pass/Fail judgement, written with the
                      user locale's decimal separator (default -4000 and 4000)

Each row holds the frame's number (No; with --no-repeat frames that were not
logged keep their numbers), the time of day when it was logged (hh:mm:ss),
the function, the displayed value, the unit and the judgement.

Prints one line saying how many frames were decoded and how many rows were
saved. Exit status: 0 on success; 2 when the input cannot be read (nothing
is saved then) or the table cannot be saved.
)";

} // namespace

int runLog(const QStringList &args)
{
    bool hid = false;
    bool repeat = true;
    qint32 limit = 10000;
    QString low = QStringLiteral("-4000");
    QString high = QStringLiteral("4000");
    QString out;
    QString input;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args.at(i);
        QString value;
        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            std::fputs(LogHelp, stdout);
            return 0;
        } else if (arg == QLatin1String("--hid")) {
            hid = true;
        } else if (arg == QLatin1String("--no-repeat")) {
            repeat = false;
        } else if (arg == QLatin1String("--limit")) {
            bool ok = false;
            if (takeValue(args, i, value))
                limit = value.toInt(&ok);
            if (!ok || limit < 0)
                return cliFail(QStringLiteral("--limit needs a whole number of rows"));
        } else if (arg == QLatin1String("--low") || arg == QLatin1String("--high")) {
            if (!takeValue(args, i, value))
                return cliFail(QStringLiteral("%1 needs a value").arg(arg));
            (arg == QLatin1String("--low") ? low : high) = value;
        } else if (arg == QLatin1String("--out")) {
            if (!takeValue(args, i, out) || out.isEmpty())
                return cliFail(QStringLiteral("--out needs a file name"));
        } else if (arg.startsWith(QLatin1String("--"))) {
            return cliFail(QStringLiteral("unknown option %1 (see qm320-cli log --help)").arg(arg));
        } else if (input.isEmpty()) {
            input = arg;
        } else {
            return cliFail(QStringLiteral("log reads one input; %1 is one too many").arg(arg));
        }
    }
    if (out.isEmpty())
        return cliFail(QStringLiteral("log needs --out FILE (see qm320-cli log --help)"));

    const std::unique_ptr<LocaleInfo> locale = createSystemLocaleInfo();
    const QString separator = locale->userDecimalSeparator();
    for (QString *text : {&low, &high}) {
        *text = rewriteLimitText(*text, separator);
        if (localeNumberOrSentinel(*text, separator) == NotANumber)
            return cliFail(QStringLiteral("'%1' is not a limit: write a number with '%2' as decimal separator")
                               .arg(*text, separator));
    }

    MeterSession session(*locale, createSerialBackend(), nullptr);
    session.setLimitTexts(high, low);
    session.setRepeat(repeat);
    session.setRecordLimit(limit);

    if (const int failed = decodeInputFile(input, hid, session))
        return failed;

    const TableFileResult saved = saveTableFile(session.log(), out);
    if (!saved)
        return cliFail(textSaveFailedMessage(out) + QStringLiteral(" (") + saved.reason + QLatin1Char(')'));
    std::printf("%lld frames decoded, %d rows saved to %s\n", session.decodedFrames(), session.log().rowCount(),
                out.toLocal8Bit().constData());
    return std::fflush(stdout) == 0 ? 0 : 2;
}
