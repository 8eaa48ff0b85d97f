#include "log/logstatistics.h"

#include "log/loggedvalue.h"
#include "log/unitsymbols.h"

namespace {

QString number(double value, const QString &decimalSeparator)
{
    // Five significant digits: one more than the display has, for the mean.
    QString text = QString::number(value, 'g', 5);
    if (decimalSeparator != QLatin1String("."))
        text.replace(QLatin1Char('.'), decimalSeparator);
    return text;
}

} // namespace

std::optional<double> ModeStatistics::standardDeviation() const
{
    const std::optional<double> deviation = values.standardDeviation();
    if (!deviation)
        return std::nullopt;
    return *deviation / unitFactor;
}

QString ModeStatistics::modeText() const
{
    const QString shownUnit = lcdUnitText(unit);
    if (function.isEmpty())
        return shownUnit;
    return shownUnit.isEmpty() ? function : function + QLatin1Char(' ') + shownUnit;
}

QString ModeStatistics::valuesText(const QString &decimalSeparator) const
{
    QString text = QStringLiteral("n %1").arg(values.count());
    if (values.count() == 0)
        return text;
    text += QStringLiteral("  min ") + number(minimum(), decimalSeparator);
    text += QStringLiteral("  max ") + number(maximum(), decimalSeparator);
    text += QStringLiteral("  mean ") + number(mean(), decimalSeparator);
    if (const std::optional<double> deviation = standardDeviation())
        text += QStringLiteral("  sd ") + number(*deviation, decimalSeparator);
    return text;
}

QString ModeStatistics::judgementText() const
{
    return QStringLiteral("Pass %1  Fail %2").arg(pass).arg(fail);
}

QString ModeStatistics::summaryText(const QString &decimalSeparator) const
{
    return modeText() + QStringLiteral("  ") + valuesText(decimalSeparator) + QStringLiteral("  ") + judgementText();
}

LogStatistics::LogStatistics(LogTable &table)
    : m_table(table)
{
    for (int row = 0; row < table.rowCount(); ++row)
        addRow(row);
    m_table.addListener(this);
}

LogStatistics::~LogStatistics()
{
    m_table.removeListener(this);
}

const ModeStatistics *LogStatistics::current() const
{
    return m_current < 0 ? nullptr : &m_modes[std::size_t(m_current)];
}

void LogStatistics::rowsAppended(int first, int last)
{
    for (int row = first; row <= last; ++row)
        addRow(row);
}

void LogStatistics::tableEmptied()
{
    m_modes.clear();
    m_baseUnits.clear();
    m_current = -1;
    m_pass = 0;
    m_fail = 0;
}

int LogStatistics::modeIndex(QStringView function, QStringView baseUnit)
{
    // Rows come in long runs of one mode: the current one is tried first.
    if (m_current >= 0 && m_modes[std::size_t(m_current)].function == function
        && m_baseUnits[std::size_t(m_current)] == baseUnit)
        return m_current;
    for (std::size_t i = 0; i < m_modes.size(); ++i) {
        if (m_modes[i].function == function && m_baseUnits[i] == baseUnit)
            return int(i);
    }
    ModeStatistics mode;
    mode.function = function.toString();
    m_modes.push_back(mode);
    m_baseUnits.push_back(baseUnit.toString());
    return int(m_modes.size() - 1);
}

void LogStatistics::addRow(int row)
{
    const QStringView unit = m_table.text(row, int(LogField::Unit));
    const QStringView function = m_table.text(row, int(LogField::DcAc));
    const QStringView judgement = m_table.text(row, int(LogField::Auto));
    const bool pass = judgement == u"pass";
    const bool fail = judgement == u"Fail";
    m_pass += pass;
    m_fail += fail;
    // A row of a file without function and unit is a reading of no mode.
    if (function.isEmpty() && unit.isEmpty())
        return;
    const UnitScale scale = unitScale(unit);
    m_current = modeIndex(function, scale.base);
    ModeStatistics &mode = m_modes[std::size_t(m_current)];
    if (mode.unit != unit) {
        mode.unit = unit.toString();
        mode.unitFactor = scale.factor;
    }
    ++mode.rows;
    if (const std::optional<double> value = loggedValue(m_table.text(row, int(LogField::Value))))
        mode.values.add(*value * scale.factor);
    mode.pass += pass;
    mode.fail += fail;
}
