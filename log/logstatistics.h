#pragma once

#include "log/logtable.h"
#include "log/runningstatistics.h"

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <vector>

// The statistics of one mode of the meter: a function and a base unit ("DC"
// volts, "OHM" ohms). Readings of one mode in different ranges ("mV" and
// "V") count together, in the base unit; they are shown in the unit of the
// mode's latest reading.
struct ModeStatistics
{
    QString function;         // as logged: "DC", "OHM", …
    QString unit;             // the unit of the latest reading, as logged: "mV", "k*", …
    double unitFactor = 1;    // of that unit against the base unit
    RunningStatistics values; // the readings that are numbers, in the base unit
    qint64 rows = 0;          // every row of the mode, over-range displays included
    qint64 pass = 0;
    qint64 fail = 0;

    // In the unit of the latest reading.
    double minimum() const { return values.minimum() / unitFactor; }
    double maximum() const { return values.maximum() / unitFactor; }
    double mean() const { return values.mean() / unitFactor; }
    std::optional<double> standardDeviation() const;

    // "DC mV" with the unit's real symbols ("OHM kΩ").
    QString modeText() const;
    // "n 1234  min -1.234  max 3.999  mean 1.2346  sd 0.0123", numbers with
    // the given decimal separator; "n 0" when no reading was a number.
    QString valuesText(const QString &decimalSeparator) const;
    // "Pass 1200  Fail 34".
    QString judgementText() const;
    // The compact line: "DC mV  n 1234  min … sd 0.0123  Pass 1200  Fail 34".
    QString summaryText(const QString &decimalSeparator) const;
};

// Count, minimum, maximum, mean, standard deviation and the Pass and Fail
// counts of the log's rows, kept per mode as the rows come, at a constant
// cost per row; the mode of the latest row is the current one. Emptying the
// log (Clear, an XML file replacing it) starts them afresh.
//
// Kept per mode rather than restarted at a change of mode: a bench user who
// turns the dial to check a resistor and back finds the voltage statistics
// as they were. Rows opened from a table file count like logged ones: the
// statistics describe the log as it stands, as the report does.
class LogStatistics : public LogTableListener
{
public:
    // Counts the rows the table holds already, then follows it.
    explicit LogStatistics(LogTable &table);
    ~LogStatistics() override;
    LogStatistics(const LogStatistics &) = delete;
    LogStatistics &operator=(const LogStatistics &) = delete;

    // The mode of the latest row that has one (a function or a unit); null
    // while there is none.
    const ModeStatistics *current() const;
    // Every mode met since the log was emptied, in the order first met.
    const std::vector<ModeStatistics> &modes() const { return m_modes; }
    // Over all rows.
    qint64 passCount() const { return m_pass; }
    qint64 failCount() const { return m_fail; }

    void rowsAppended(int first, int last) override;
    void tableAboutToBeEmptied() override { }
    void tableEmptied() override;

private:
    void addRow(int row);
    int modeIndex(QStringView function, QStringView baseUnit);

    LogTable &m_table;
    std::vector<ModeStatistics> m_modes;
    std::vector<QString> m_baseUnits; // per mode
    int m_current = -1;
    qint64 m_pass = 0;
    qint64 m_fail = 0;
};
