#include "log/tablefiles.h"

#include "log/logcsvwriter.h"
#include "log/logdating.h"
#include "log/logtable.h"
#include "log/logtextreader.h"
#include "log/logtextwriter.h"
#include "log/logwriting.h"
#include "log/logxmlreader.h"
#include "log/logxmlwriter.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

// A device or a pipe (/dev/null, /dev/stdout, a FIFO) is written as it
// stands: a temporary file renamed over it would replace the device node
// with a plain file.
TableFileResult saveIntoSpecialFile(LogTable &table, const QString &fileName, TableFileFormat format,
                                    const TableFileProgress &progress)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return LogWriting::writeFailed(file, "the file cannot be opened");
    return writeTableFile(table, format, file, progress);
}

TableFileResult saveThrough(LogTable &table, const QString &fileName, TableFileFormat format,
                            const TableFileProgress &progress)
{
    const QFileInfo target(fileName);
    if (target.exists() && !target.isFile() && !target.isDir())
        return saveIntoSpecialFile(table, fileName, format, progress);

    QSaveFile file(fileName);
    // Writing straight into the target when no temporary file can be made
    // beside it would destroy the old file on a failure; refuse instead.
    file.setDirectWriteFallback(false);
    // The writers hand over large pieces; unbuffered, a failing write(2)
    // is seen at once, with its errno.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return LogWriting::writeFailed(file, "the file cannot be made");
    TableFileResult result = writeTableFile(table, format, file, progress);
    if (!result) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit())
        return LogWriting::writeFailed(file, "the file cannot be completed");
    return result;
}

} // namespace

TableFileFormat tableFileFormat(const QString &fileName)
{
    const qsizetype slash = fileName.lastIndexOf(u'/');
    const qsizetype dot = fileName.lastIndexOf(u'.');
    if (dot > slash && QStringView(fileName).mid(dot) == u".xml")
        return TableFileFormat::Xml;
    return TableFileFormat::Text;
}

QString saveSucceededMessage(const QString &fileName)
{
    return QStringLiteral("Save table to specified file: ") + fileName + QStringLiteral(" Scuss!");
}

QString textSaveFailedMessage(const QString &fileName)
{
    return QStringLiteral("Could not save table to specified file: ") + fileName;
}

QString saveFailedMessage(const QString &fileName, const TableFileResult &result)
{
    return textSaveFailedMessage(fileName) + QStringLiteral("\n\n") + result.reason;
}

QString loadFailedMessage(const QString &fileName, const TableFileResult &result)
{
    return QStringLiteral("%1\n\n%2: %3").arg(QLatin1String(LoadFailedMessage), fileName, result.reason);
}

TableFileResult writeTableFile(LogTable &table, TableFileFormat format, QIODevice &out,
                               const TableFileProgress &progress)
{
    if (format == TableFileFormat::Csv) {
        LogCsvWriter writer(table);
        writer.setProgress(progress);
        return writer.write(out);
    }
    if (format == TableFileFormat::Xml) {
        LogXmlWriter writer(table);
        writer.setProgress(progress);
        return writer.write(out);
    }
    LogTextWriter writer(table);
    writer.setProgress(progress);
    const std::uint64_t generation = table.generation();
    TableFileResult result = writer.write(out);
    // The save walks the table to its end, where the current row stays.
    if (table.generation() == generation && !table.isEmpty())
        table.setCurrentRow(table.rowCount() - 1);
    return result;
}

TableFileResult saveTableFile(LogTable &table, const QString &fileName, const TableFileProgress &progress)
{
    return saveThrough(table, fileName, tableFileFormat(fileName), progress);
}

TableFileResult saveTableText(LogTable &table, const QString &fileName, const TableFileProgress &progress)
{
    return saveThrough(table, fileName, TableFileFormat::Text, progress);
}

TableFileResult saveTableXml(LogTable &table, const QString &fileName, const TableFileProgress &progress)
{
    return saveThrough(table, fileName, TableFileFormat::Xml, progress);
}

TableFileResult saveTableCsv(LogTable &table, const QString &fileName, const TableFileProgress &progress)
{
    return saveThrough(table, fileName, TableFileFormat::Csv, progress);
}

TableFileResult readTableFile(QIODevice &in, TableFileFormat format, LogTable &table, TableOpenMode mode,
                              const TableFileProgress &progress)
{
    if (format == TableFileFormat::Csv)
        return TableFileResult::failed(QStringLiteral("CSV is written for other programs and not read back"));
    if (format == TableFileFormat::Xml) {
        LogXmlReader reader(table);
        reader.setProgress(progress);
        return reader.read(in);
    }
    if (mode == TableOpenMode::Append) {
        LogTextReader reader(table);
        reader.setProgress(progress);
        return reader.read(in);
    }
    // Read aside, so that a failure leaves the old rows.
    LogTable rows;
    LogTextReader reader(rows);
    reader.setProgress(progress);
    TableFileResult result = reader.read(in);
    if (result)
        table.replaceWith(rows);
    return result;
}

TableFileResult loadTableFile(const QString &fileName, LogTable &table, TableOpenMode mode,
                              const TableFileProgress &progress)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return TableFileResult::failed(file.errorString());
    // The file keeps the times of day only: the rows it gave get their
    // dates from when it was last written.
    LogDating::Evidence evidence;
    if (const QDateTime written = QFileInfo(file).lastModified(); written.isValid())
        evidence.notAfter = written.toMSecsSinceEpoch();
    const TableFileFormat format = tableFileFormat(fileName);
    const int firstNew = format == TableFileFormat::Text && mode == TableOpenMode::Append ? table.rowCount() : 0;
    TableFileResult result = readTableFile(file, format, table, mode, progress);
    if (result)
        LogDating::dateRows(table, firstNew, evidence);
    return result;
}
