#pragma once

#include <QList>
#include <QString>

class LogTable;

// One row of the log table as the Data Report prints it: every field already
// in its printed form (No in decimal), a field without a value as an empty
// text. NVal is never printed, so it has no place here.
struct ReportRow
{
    QString number;     // No
    QString time;
    QString function;   // DC/AC
    QString value;
    QString unit;
    QString judgement;  // Auto
};

using ReportRows = QList<ReportRow>;

// The rows the table holds now, in table order: the report's snapshot, taken
// when the print command starts so that rows logged while the preview is open
// are not in it.
ReportRows reportRowsOf(const LogTable &table);
