#include "cli/commands.h"

#include "log/logstatistics.h"
#include "log/logtable.h"
#include "log/reportbuilder.h"
#include "log/tablefiles.h"
#include "shared/localeinfo.h"
#include "shared/optionparser.h"

#include <QPageRanges>
#include <QRegularExpression>

#include <cstdio>

namespace {

const char ReportHelp[] = R"(Usage:
  qm320-cli report FILE --pdf OUT.pdf [--pages FROM-TO] [--low X --high Y]

Opens the table file FILE with the program's reader (an XML data packet when
the name ends in exactly ".xml", tab-separated text otherwise) and renders its
"Data Report" to the PDF file OUT.pdf with the code the print preview uses:
A4 portrait, 10 mm margins, 37 rows a page, title, column titles and footer on
every page.

--pages FROM-TO renders only pages FROM to TO of the report, counted from 1
and both included; a range that runs past the last page ends there.

Every page's foot names the page ("Page 2 of 7") and when the report was
made ("Printed 2024-05-01 10:15"). The first page's title line holds, left
of the title, the limits in force and the Pass and Fail counts, and right of
it the statistics of the mode of the last row (as "qm320-cli log --stats"
prints them). A table file does not keep the limits its rows were judged
against: --low X --high Y name them (with the user locale's decimal
separator); without them the report says "Limits not known".

OUT.pdf is replaced only once the whole report was written.

Exit status: 0 when the PDF was written; 2 when FILE cannot be opened
("Failed to Load File!", with the reason), when it holds no rows (an empty
table has no report, so nothing is written), when --pages is not a range
FROM-TO or holds no page of the report, or when OUT.pdf cannot be written.
)";

// "FROM-TO" with 1 <= FROM <= TO; empty when the text is anything else.
QPageRanges pageRangeOf(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([0-9]+)-([0-9]+)$"));
    const QRegularExpressionMatch match = form.match(text);
    bool fromOk = false;
    bool toOk = false;
    const int from = match.captured(1).toInt(&fromOk);
    const int to = match.captured(2).toInt(&toOk);
    QPageRanges pages;
    if (fromOk && toOk && from >= 1 && from <= to)
        pages.addRange(from, to);
    return pages;
}

} // namespace

int runReport(const QStringList &args)
{
    OptionParser parser(QStringLiteral("qm320-cli report --help"));
    parser.addValueOption({QStringLiteral("pdf")}, QStringLiteral("--pdf needs the name of the PDF file to write"));
    parser.addValueOption({QStringLiteral("pages")}, QStringLiteral("--pages needs a page range FROM-TO, such as 3-7"));
    parser.addValueOption({QStringLiteral("low")}, QStringLiteral("--low needs a value"));
    parser.addValueOption({QStringLiteral("high")}, QStringLiteral("--high needs a value"));
    if (const std::optional<int> done = parseCommand(parser, args, ReportHelp))
        return *done;
    QPageRanges pages;
    if (parser.isSet(QStringLiteral("pages"))) {
        pages = pageRangeOf(parser.value(QStringLiteral("pages")));
        if (pages.isEmpty())
            return cliFail(QStringLiteral("--pages %1 is not a page range FROM-TO with 1 <= FROM <= TO")
                               .arg(parser.value(QStringLiteral("pages"))));
    }
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return cliFail(QStringLiteral("report reads one table file; %1 is one too many").arg(files.at(1)));
    const QString file = files.value(0);
    const QString pdf = parser.value(QStringLiteral("pdf"));
    if (file.isEmpty() || pdf.isEmpty())
        return cliFail(QStringLiteral("report needs a table file and --pdf OUT.pdf (see qm320-cli report --help)"));

    QString low = parser.value(QStringLiteral("low"));
    QString high = parser.value(QStringLiteral("high"));
    if (parser.isSet(QStringLiteral("low")) != parser.isSet(QStringLiteral("high")))
        return cliFail(QStringLiteral("--low and --high name the limits together; give both or neither"));
    const std::unique_ptr<LocaleInfo> locale = createSystemLocaleInfo();
    const QString separator = locale->userDecimalSeparator();
    if (parser.isSet(QStringLiteral("low"))) {
        if (const std::optional<int> failed = readLimits(low, high, separator))
            return *failed;
    }

    LogTable table;
    const TableFileResult loaded = loadTableFile(file, table);
    if (!loaded)
        return cliFail(QStringLiteral("%1 (%2: %3)").arg(QLatin1String(LoadFailedMessage), file, loaded.reason));
    if (table.isEmpty())
        return cliFail(QStringLiteral("%1 holds no rows: an empty table has no report, nothing written").arg(file));

    ReportBuilder report(table);
    ReportSummary summary = report.summary();
    summary.lowLimit = low;
    summary.highLimit = high;
    summary.decimalSeparator = separator.isEmpty() ? QStringLiteral(".") : separator;
    const LogStatistics statistics(table);
    summary.takeStatistics(statistics);
    report.setSummary(summary);
    if (!report.writePdf(pdf, pages))
        return cliFail(report.errorString());
    return 0;
}
