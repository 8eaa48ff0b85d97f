#include "tools/commands.h"

#include "log/logtable.h"
#include "log/tablefiles.h"
#include "tools/jsonwriter.h"
#include "tools/optionparser.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char ShowHelp[] = R"(Usage:
  qm320-cli show FILE

Opens a table file with the program's reader (an XML data packet when FILE
ends in exactly ".xml", tab-separated text otherwise) and prints each row as
one JSON object per line, with the keys "No", "Time", "DC/AC", "Value",
"Unit", "Auto" and "NVal". No and NVal are numbers, the others texts; a
field without a value is null. A text file's "NULL" cell stands for an empty
one: an empty text, or null for No and NVal.

An open is all or nothing, as in the program: when the file cannot be
opened nothing is printed but "Failed to Load File!" and the file with the
reason on standard error, and the exit status is 2.
)";

void writeRow(JsonLineWriter &out, const LogTable &table, int row)
{
    static const char *const keys[LogFieldCount] = {"No", "Time", "DC/AC", "Value", "Unit", "Auto", "NVal"};
    out.beginObject();
    for (int f = 0; f < LogFieldCount; ++f) {
        if (!table.hasValue(row, f))
            out.nullField(keys[f]);
        else if (LogTable::fieldType(f) == LogFieldType::Integer)
            out.field(keys[f], static_cast<long long>(*table.integer(row, f)));
        else
            out.field(keys[f], table.text(row, f));
    }
    out.endObject();
}

} // namespace

int runShow(const QStringList &args)
{
    OptionParser parser(QStringLiteral("qm320-cli show --help"));
    if (const std::optional<int> done = parseCommand(parser, args, ShowHelp))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return cliFail(QStringLiteral("show reads one file; %1 is one too many").arg(files.at(1)));
    const QString file = files.value(0);
    if (file.isEmpty())
        return cliFail(QStringLiteral("show needs a table file (see qm320-cli show --help)"));

    LogTable table;
    const TableFileResult loaded = loadTableFile(file, table);
    if (!loaded) {
        std::fprintf(stderr, "%s\n", LoadFailedMessage);
        return cliFail(QStringLiteral("%1: %2").arg(file, loaded.reason));
    }
    JsonLineWriter out(stdout);
    for (int row = 0; row < table.rowCount(); ++row)
        writeRow(out, table, row);
    if (!out.flush())
        return cliFail(QStringLiteral("cannot write the output: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    return 0;
}
