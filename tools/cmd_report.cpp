#include "tools/commands.h"

#include "log/logtable.h"
#include "log/reportbuilder.h"
#include "log/reportrow.h"
#include "log/tablefiles.h"
#include "tools/optionparser.h"

#include <cstdio>

namespace {

const char ReportHelp[] = R"(Usage:
  qm320-cli report FILE --pdf OUT.pdf

Opens the table file FILE with the program's reader (an XML data packet when
the name ends in exactly ".xml", tab-separated text otherwise) and renders its
"Data Report" to the PDF file OUT.pdf with the code the print preview uses:
A4 portrait, 10 mm margins, 37 rows a page, title, column titles and footer on
every page.

OUT.pdf is replaced only once the whole report was written.

Exit status: 0 when the PDF was written; 2 when FILE cannot be opened
("Failed to Load File!", with the reason), when it holds no rows (an empty
table has no report, so nothing is written) or when OUT.pdf cannot be written.
)";

} // namespace

int runReport(const QStringList &args)
{
    OptionParser parser(QStringLiteral("qm320-cli report --help"));
    parser.addValueOption({QStringLiteral("pdf")}, QStringLiteral("--pdf needs the name of the PDF file to write"));
    if (const std::optional<int> done = parseCommand(parser, args, ReportHelp))
        return *done;
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return cliFail(QStringLiteral("report reads one table file; %1 is one too many").arg(files.at(1)));
    const QString file = files.value(0);
    const QString pdf = parser.value(QStringLiteral("pdf"));
    if (file.isEmpty() || pdf.isEmpty())
        return cliFail(QStringLiteral("report needs a table file and --pdf OUT.pdf (see qm320-cli report --help)"));

    LogTable table;
    const TableFileResult loaded = loadTableFile(file, table);
    if (!loaded)
        return cliFail(QStringLiteral("%1 (%2: %3)").arg(QLatin1String(LoadFailedMessage), file, loaded.reason));
    if (table.isEmpty())
        return cliFail(QStringLiteral("%1 holds no rows: an empty table has no report, nothing written").arg(file));

    ReportBuilder report(reportRowsOf(table));
    if (!report.writePdf(pdf))
        return cliFail(report.errorString());
    return 0;
}
