#include "log/tablefiles.h"

#include "log/logcsvwriter.h"
#include "log/logdating.h"
#include "log/logtable.h"
#include "log/logtextreader.h"
#include "log/logtextwriter.h"
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
template<typename Writer>
TableFileResult saveIntoSpecialFile(const QString &fileName, Writer &writer)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return TableFileResult::failed(QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
    TableFileResult result = writer.write(file);
    if (result && !file.flush())
        return TableFileResult::failed(QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
    return result;
}

template<typename Writer>
TableFileResult saveThrough(const QString &fileName, Writer &writer)
{
    const QFileInfo target(fileName);
    if (target.exists() && !target.isFile() && !target.isDir())
        return saveIntoSpecialFile(fileName, writer);

    QSaveFile file(fileName);
    // Writing straight into the target when no temporary file can be made
    // beside it would destroy the old file on a failure; refuse instead.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly))
        return TableFileResult::failed(QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
    TableFileResult result = writer.write(file);
    if (!result) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit())
        return TableFileResult::failed(QStringLiteral("cannot write %1: %2").arg(fileName, file.errorString()));
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

TableFileResult saveTableFile(LogTable &table, const QString &fileName, const TableFileProgress &progress)
{
    if (tableFileFormat(fileName) == TableFileFormat::Xml)
        return saveTableXml(table, fileName, progress);
    return saveTableText(table, fileName, progress);
}

TableFileResult saveTableText(LogTable &table, const QString &fileName, const TableFileProgress &progress)
{
    LogTextWriter writer(table);
    writer.setProgress(progress);
    const std::uint64_t generation = table.generation();
    TableFileResult result = saveThrough(fileName, writer);
    // The save walks the table to its end, where the current row stays.
    if (table.generation() == generation && !table.isEmpty())
        table.setCurrentRow(table.rowCount() - 1);
    return result;
}

TableFileResult saveTableXml(const LogTable &table, const QString &fileName, const TableFileProgress &progress)
{
    LogXmlWriter writer(table);
    writer.setProgress(progress);
    return saveThrough(fileName, writer);
}

TableFileResult saveTableCsv(const LogTable &table, const QString &fileName, const TableFileProgress &progress)
{
    LogCsvWriter writer(table);
    writer.setProgress(progress);
    return saveThrough(fileName, writer);
}

TableFileResult loadTableFile(const QString &fileName, LogTable &table, const TableFileProgress &progress)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return TableFileResult::failed(file.errorString()); // callers name the file
    // The file keeps the times of day only: the rows it gave get their
    // dates from when it was last written, also those read before a
    // failing line.
    LogDating::Evidence evidence;
    if (const QDateTime written = QFileInfo(file).lastModified(); written.isValid())
        evidence.notAfter = written.toMSecsSinceEpoch();
    if (tableFileFormat(fileName) == TableFileFormat::Xml) {
        LogXmlReader reader(table);
        reader.setProgress(progress);
        const TableFileResult result = reader.read(file);
        LogDating::dateRows(table, 0, evidence);
        return result;
    }
    const int before = table.rowCount();
    LogTextReader reader(table);
    reader.setProgress(progress);
    const TableFileResult result = reader.read(file);
    LogDating::dateRows(table, before, evidence);
    return result;
}
