#pragma once

#include <QString>

class LogStatistics;

// The compact statistics under the log grid, in two short lines that fit
// the grid's width: the current mode with its count, minimum and maximum,
// then its mean and standard deviation and the Pass and Fail counts of all
// rows since the log was last emptied. Numbers in the user's decimal
// separator.
QString statisticsLineText(const LogStatistics &statistics, const QString &decimalSeparator);
