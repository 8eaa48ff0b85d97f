#include "app/logfilecommands.h"

#include "app/usermessages.h"
#include "app/windowdialogs.h"
#include "log/logstatistics.h"
#include "log/reportbuilder.h"
#include "session/metersession.h"

#include <QFileInfo>
#include <QWidget>

LogFileCommands::LogFileCommands(QWidget &window, MeterSession &session, const LogStatistics &statistics,
                                 UserMessages &messages, WindowDialogs &dialogs)
    : m_window(window)
    , m_session(session)
    , m_statistics(statistics)
    , m_messages(messages)
    , m_dialogs(dialogs)
{ }

bool LogFileCommands::keepUnsavedRows()
{
    const int unsaved = m_session.unsavedRows();
    if (unsaved == 0)
        return true;
    const QString question =
        QStringLiteral("The log holds %1 readings that are not saved. Save them first?").arg(unsaved);
    switch (m_messages.askToSave(&m_window, question)) {
    case UserMessages::SaveChoice::Save:
        return saveLog();
    case UserMessages::SaveChoice::Discard:
        m_session.discardUnsaved();
        return true;
    case UserMessages::SaveChoice::Cancel:
        break;
    }
    return false;
}

void LogFileCommands::clearLog()
{
    // Readings that arrive while the user answers are not emptied with rows
    // the question did not count: they go to the log the answer leaves.
    m_session.holdReadings();
    if (m_session.unsavedRows() > 0
            ? keepUnsavedRows()
            : m_messages.confirm(&m_window, QStringLiteral("Do you want to empty the logged data?")))
        m_session.clearLog();
    m_session.releaseReadings();
}

bool LogFileCommands::saveLog()
{
    const QString name = m_dialogs.saveTableFileName(&m_window, m_logFolder);
    if (name.isEmpty())
        return false;
    m_logFolder = QFileInfo(name).absolutePath();
    return saveLogFile(name);
}

bool LogFileCommands::saveLogFile(const QString &fileName)
{
    if (m_fileBusy)
        return false;
    m_fileBusy = true;
    // Rows logged while the file is written are not in it.
    const int rowsSaved = m_session.log().rowCount();
    const TableFileResult result = saveTableFile(
        m_session.log(), fileName, progressDialogFor(&m_window, QStringLiteral("Saving %1").arg(fileName)));
    m_fileBusy = false;
    if (!result) {
        m_messages.error(&m_window, saveFailedMessage(fileName, result));
        return false;
    }
    m_session.markSaved(m_session.log().rowCount() - rowsSaved);
    m_messages.information(&m_window, saveSucceededMessage(fileName));
    return true;
}

void LogFileCommands::openLog()
{
    const QString name = m_dialogs.openTableFileName(&m_window, m_logFolder);
    if (name.isEmpty())
        return;
    m_logFolder = QFileInfo(name).absolutePath();
    // Readings wait while the user answers, so that the count asked about
    // stays true; they are logged after the file's rows.
    m_session.holdReadings();
    const std::optional<TableOpenMode> mode = askHowToOpen(name);
    if (mode)
        openLogFile(name, *mode);
    m_session.releaseReadings();
}

std::optional<TableOpenMode> LogFileCommands::askHowToOpen(const QString &fileName)
{
    // An XML file replaces the log; a text file adds its rows after the
    // log's unless the user says to replace them.
    const bool xml = tableFileFormat(fileName) == TableFileFormat::Xml;
    const int unsaved = m_session.unsavedRows();
    if (unsaved == 0)
        return xml ? TableOpenMode::Replace : TableOpenMode::Append;
    if (!xml) {
        const QString question = QStringLiteral("The log holds %1 readings that are not saved.\n\n"
                                                "Add the rows of %2 after them, or replace the log with the file?")
                                     .arg(unsaved)
                                     .arg(fileName);
        switch (m_messages.askHowToOpen(&m_window, question)) {
        case UserMessages::OpenChoice::Add:
            return TableOpenMode::Append;
        case UserMessages::OpenChoice::Replace:
            break;
        case UserMessages::OpenChoice::Cancel:
            return std::nullopt;
        }
    }
    // The unsaved rows would go: they are saved first, or given up once the
    // file has opened (a failed open leaves them unsaved).
    const QString question = QStringLiteral("Opening %1 replaces the log, which holds %2 readings that are not saved. "
                                            "Save them first?")
                                 .arg(fileName)
                                 .arg(unsaved);
    switch (m_messages.askToSave(&m_window, question)) {
    case UserMessages::SaveChoice::Save:
        if (!saveLog())
            return std::nullopt;
        return TableOpenMode::Replace;
    case UserMessages::SaveChoice::Discard:
        return TableOpenMode::Replace;
    case UserMessages::SaveChoice::Cancel:
        break;
    }
    return std::nullopt;
}

void LogFileCommands::openLogFile(const QString &fileName, TableOpenMode mode)
{
    if (m_fileBusy)
        return;
    m_fileBusy = true;
    m_session.holdReadings();
    const TableFileResult result = loadTableFile(
        fileName, m_session.log(), mode, progressDialogFor(&m_window, QStringLiteral("Opening %1").arg(fileName)));
    m_fileBusy = false;
    // A failed open left the log as it was.
    if (result) {
        m_session.noteLogOpened(mode == TableOpenMode::Replace || tableFileFormat(fileName) == TableFileFormat::Xml);
        emit logOpened();
    }
    // Readings held meanwhile follow.
    m_session.releaseReadings();
    if (!result)
        m_messages.error(&m_window, loadFailedMessage(fileName, result));
}

void LogFileCommands::printLog()
{
    // The report holds the rows of this moment and reads them from the log
    // as its pages are drawn; rows logged while the preview is open go into
    // the next one.
    LogTable &log = m_session.log();
    ReportBuilder report(log);
    // The first page tells the limits in force and the statistics the
    // window shows.
    ReportSummary summary = report.summary();
    summary.highLimit = m_session.highLimitText();
    summary.lowLimit = m_session.lowLimitText();
    summary.decimalSeparator = m_session.decimalSeparator();
    summary.takeStatistics(m_statistics);
    report.setSummary(summary);
    if (!log.isEmpty())
        log.setCurrentRow(log.rowCount() - 1);
    m_dialogs.previewReport(&m_window, report);
    m_window.update();
}

void LogFileCommands::exportCsv()
{
    const QString name = m_dialogs.saveCsvFileName(&m_window, m_logFolder);
    if (name.isEmpty())
        return;
    m_logFolder = QFileInfo(name).absolutePath();
    exportCsvFile(name);
}

bool LogFileCommands::exportCsvFile(const QString &fileName)
{
    if (m_fileBusy)
        return false;
    m_fileBusy = true;
    const TableFileResult result = saveTableCsv(
        m_session.log(), fileName, progressDialogFor(&m_window, QStringLiteral("Exporting %1").arg(fileName)));
    m_fileBusy = false;
    if (!result) {
        m_messages.error(&m_window, saveFailedMessage(fileName, result));
        return false;
    }
    m_messages.information(&m_window, QStringLiteral("The log is exported to %1.").arg(fileName));
    return true;
}
