#include "tools/commands.h"

#include "log/logtable.h"
#include "log/tablefiles.h"
#include "tools/optionparser.h"

namespace {

const char ExportHelp[] = R"(Usage:
  qm320-cli export FILE --csv OUT.csv

Opens the table file FILE with the program's reader (an XML data packet when
the name ends in exactly ".xml", tab-separated text otherwise) and writes its
rows to OUT.csv as comma-separated values (RFC 4180): UTF-8, a header line,
CR LF line ends, a cell in double quotes when it holds a comma, a quote or a
line break. pandas (read_csv) reads it as it is. LibreOffice takes every
column as it is too, but shows the unit symbols only when its import is told
the character set UTF-8: without options it assumes Windows-1252.

Columns:
  timestamp  when the row was logged: local date and time with the time
             zone's offset, ISO 8601, such as 2024-05-01T22:15:03.000+02:00
  seconds    seconds since the first row with a timestamp
  value      the displayed number in its unit, with a point as the decimal
             separator; empty when the display was no number (over range)
  unit       with its symbols: V, mV, A, mA, µA, Ω, kΩ, MΩ, F, nF, µF, Hz,
             kHz, MHz, %, °C, °F
  function   DC, AC, OHM, CAP, Freq, DutyCycle, TMP, Diode or CTN
  judgement  pass or Fail
  frame      the row's number (No)

A text from the file that begins with "=", "+", "-" or "@" is written after
an apostrophe, so that no spreadsheet takes it for a formula.

Dates: a table file keeps only the time of day of each row. The dates are
worked out from the file's modification time: its last row is taken to be
logged on the day the file was last written (or the day before, when the
row's time of day is later than the file's), and wherever the time of day
goes back by more than an hour from one row to the next a midnight is
counted (a smaller step back is the clock being set back, as at the end of
daylight saving time). So a file copied without its modification time, or a
log that stood still for a whole day or more, gets dates that are too late
before that point. A row whose time is no time of day gets no timestamp.

OUT.csv is replaced only once it was written completely.

Exit status: 0 when OUT.csv was written; 2 when FILE cannot be opened
("Failed to Load File!", with the reason; nothing is written) or OUT.csv
cannot be written.
)";

} // namespace

int runExport(const QStringList &args)
{
    OptionParser parser(QStringLiteral("qm320-cli export --help"));
    parser.addValueOption({QStringLiteral("csv")}, QStringLiteral("--csv needs the name of the CSV file to write"));
    if (const std::optional<int> done = parseCommand(parser, args, ExportHelp))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return cliFail(QStringLiteral("export reads one table file; %1 is one too many").arg(files.at(1)));
    const QString file = files.value(0);
    const QString csv = parser.value(QStringLiteral("csv"));
    if (file.isEmpty() || csv.isEmpty())
        return cliFail(QStringLiteral("export needs a table file and --csv OUT.csv (see qm320-cli export --help)"));

    LogTable table;
    const TableFileResult loaded = loadTableFile(file, table);
    if (!loaded)
        return cliFail(QStringLiteral("%1 (%2: %3)").arg(QLatin1String(LoadFailedMessage), file, loaded.reason));
    const TableFileResult saved = saveTableCsv(table, csv);
    if (!saved)
        return cliFail(QStringLiteral("%1: %2").arg(csv, saved.reason));
    return 0;
}
