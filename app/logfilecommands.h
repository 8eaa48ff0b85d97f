#pragma once

#include "log/tablefiles.h"

#include <QObject>
#include <QString>

#include <optional>

class LogStatistics;
class MeterSession;
class UserMessages;
class WindowDialogs;
class QWidget;

// The log's file commands and their questions: clear, open, save and print,
// export, and whether unsaved rows are to be saved before they could be lost.
// Readings wait while the user answers, so that a count asked about stays
// true.
class LogFileCommands : public QObject
{
    Q_OBJECT

public:
    LogFileCommands(QWidget &window, MeterSession &session, const LogStatistics &statistics, UserMessages &messages,
                    WindowDialogs &dialogs);

    // Asks whether to save unsaved rows before they could be lost; true when
    // the action may go on (saved, discarded, or nothing to lose).
    bool keepUnsavedRows();

    void clearLog();
    void openLog();
    void openLogFile(const QString &fileName, TableOpenMode mode = TableOpenMode::Append);
    bool saveLog();
    bool saveLogFile(const QString &fileName);
    void printLog();
    // Comma-separated values for other programs; the log stays unsaved.
    void exportCsv();
    bool exportCsvFile(const QString &fileName);

    QString logFolder() const { return m_logFolder; }
    void setLogFolder(const QString &folder) { m_logFolder = folder; }

signals:
    // A file's rows went into the log (after its rows or in their place).
    void logOpened();

private:
    // Before an open: whether the file's rows go after the log's or replace
    // them, asking when unsaved rows are at stake; nothing when the user
    // cancels.
    std::optional<TableOpenMode> askHowToOpen(const QString &fileName);

    QWidget &m_window;
    MeterSession &m_session;
    const LogStatistics &m_statistics;
    UserMessages &m_messages;
    WindowDialogs &m_dialogs;
    bool m_fileBusy = false;
    QString m_logFolder; // last folder of the log's file dialogs
};
