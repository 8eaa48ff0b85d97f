#pragma once

#include "log/readinglogger.h"

#include <QSize>
#include <QString>

// What the window keeps from one run to the next. Every value has its
// start-up default; a value read back that the window could not take keeps
// its default rather than reaching a widget.
struct WindowSettings
{
    QString port = QStringLiteral("COM1"); // COM1..COM4 or a device path
    double highLimit = 4000;
    double lowLimit = -4000;
    qint32 recordLimit = DefaultRecordLimit; // one of the Record menu's limits
    bool repeat = true;
    bool sampling = false;
    qint32 samplingSeconds = 1;
    bool fill = true;
    qint32 pageSize = 100;
    QString logFolder;   // last folder of the log's file dialogs
    QString chartFolder; // last folder of the chart picture's dialog
    bool reconnect = true;
    QSize windowSize; // without its frame; invalid: the designed size
    bool maximized = false;
    QString brokerAddress; // where readings are published; empty: nowhere

    // $XDG_CONFIG_HOME/qm320/qm320.conf, normally ~/.config/qm320/qm320.conf.
    static QString defaultFile();

    // The settings in `file`. A missing file gives the defaults quietly; one
    // that cannot be read or is not a settings file of this program gives the
    // defaults and says why in `problem`.
    static WindowSettings load(const QString &file, QString *problem = nullptr);
    // Writes them to `file` (its folder is made when missing); false when
    // they could not be written.
    bool save(const QString &file) const;

    bool operator==(const WindowSettings &) const = default;
};
