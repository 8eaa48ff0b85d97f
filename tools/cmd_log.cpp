#include "tools/commands.h"

#include "log/logstatistics.h"
#include "log/logtable.h"
#include "log/tablefiles.h"
#include "meter/localeinfo.h"
#include "session/metersession.h"
#include "tools/decodeinput.h"
#include "tools/optionparser.h"
#include "transport/serialbackend.h"

#include <cstdio>
#include <limits>

namespace {

const char LogHelp[] = R"(Usage:
  qm320-cli log [--hid] [--no-repeat] [--limit N] [--low X --high Y] [--stats]
                --out FILE [INPUT]

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
                      user locale's decimal separator (default -4000 and 4000);
                      with X above Y every reading is judged Fail, and a line
                      on standard error says so
  --stats             after the summary line, the statistics of the logged
                      rows, one line per mode (function and unit), the mode
                      of the last row last (see Statistics below)

Each row holds the frame's number (No; with --no-repeat frames that were not
logged keep their numbers), the time of day when it was logged (hh:mm:ss),
the function, the displayed value, the unit and the judgement.

Statistics (--stats), for example
  statistics DC mV: n 120  min -1.234  max 3.999  mean 1.2346  sd 0.51  Pass 118  Fail 2
n counts the readings that are numbers (an over-range display is none); min,
max, mean and the sample standard deviation sd are in the unit of the mode's
last reading (readings in another range of the mode are converted), with
the user locale's decimal separator; sd needs two readings. Pass and Fail
count the rows so judged. A mode is a function with a unit of any range:
"DC mV" and "DC V" are one mode, "DC V" and "AC V" two.

Prints one line saying how many frames were decoded and how many rows were
saved. Exit status: 0 on success; 2 when the input cannot be read (nothing
is saved then) or the table cannot be saved.
)";

} // namespace

int runLog(const QStringList &args)
{
    OptionParser parser(QStringLiteral("qm320-cli log --help"));
    parser.addFlag({QStringLiteral("hid")});
    parser.addFlag({QStringLiteral("no-repeat")});
    parser.addFlag({QStringLiteral("stats")});
    parser.addValueOption({QStringLiteral("limit")}, QStringLiteral("--limit needs a whole number of rows"));
    parser.addValueOption({QStringLiteral("low")}, QStringLiteral("--low needs a value"));
    parser.addValueOption({QStringLiteral("high")}, QStringLiteral("--high needs a value"));
    parser.addValueOption({QStringLiteral("out")}, QStringLiteral("--out needs a file name"));
    if (const std::optional<int> done = parseCommand(parser, args, LogHelp))
        return *done;

    const bool hid = parser.isSet(QStringLiteral("hid"));
    const bool repeat = !parser.isSet(QStringLiteral("no-repeat"));
    qint32 limit = 10000;
    if (parser.isSet(QStringLiteral("limit"))) {
        bool ok = false;
        limit = parser.value(QStringLiteral("limit")).toInt(&ok);
        if (!ok || limit < 0)
            return cliFail(QStringLiteral("--limit needs a whole number of rows"));
    }
    QString low = QStringLiteral("-4000");
    QString high = QStringLiteral("4000");
    if (parser.isSet(QStringLiteral("low")))
        low = parser.value(QStringLiteral("low"));
    if (parser.isSet(QStringLiteral("high")))
        high = parser.value(QStringLiteral("high"));
    const QString out = parser.value(QStringLiteral("out"));
    if (parser.isSet(QStringLiteral("out")) && out.isEmpty())
        return cliFail(QStringLiteral("--out needs a file name"));
    const QStringList inputs = parser.positionalArguments();
    if (inputs.size() > 1)
        return cliFail(QStringLiteral("log reads one input; %1 is one too many").arg(inputs.at(1)));
    const QString input = inputs.value(0);
    if (out.isEmpty())
        return cliFail(QStringLiteral("log needs --out FILE (see qm320-cli log --help)"));

    const std::unique_ptr<LocaleInfo> locale = createSystemLocaleInfo();
    const QString separator = locale->userDecimalSeparator();
    if (const std::optional<int> failed = readLimits(low, high, separator))
        return *failed;

    MeterSession session(*locale, createSerialBackend(), nullptr);
    const LogStatistics statistics(session.log());
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
    if (parser.isSet(QStringLiteral("stats"))) {
        // The current mode last, so that a script reading the last line
        // reads the mode the meter ended in.
        const ModeStatistics *current = statistics.current();
        const auto print = [&](const ModeStatistics &mode) {
            std::printf("statistics %s: %s  %s\n", mode.modeText().toLocal8Bit().constData(),
                        mode.valuesText(separator).toLocal8Bit().constData(),
                        mode.judgementText().toLocal8Bit().constData());
        };
        for (const ModeStatistics &mode : statistics.modes()) {
            if (&mode != current)
                print(mode);
        }
        if (current)
            print(*current);
    }
    return std::fflush(stdout) == 0 ? 0 : 2;
}
