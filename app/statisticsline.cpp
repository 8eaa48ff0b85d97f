#include "app/statisticsline.h"

#include "log/logstatistics.h"

namespace {

QString number(double value, const QString &decimalSeparator)
{
    // One digit more than the display shows, for the mean.
    return QString::number(value, 'g', 5).replace(u'.', decimalSeparator);
}

} // namespace

QString statisticsLineText(const LogStatistics &statistics, const QString &decimalSeparator)
{
    const QString judgements =
        QStringLiteral("Pass %1  Fail %2").arg(statistics.passCount()).arg(statistics.failCount());
    const ModeStatistics *mode = statistics.current();
    if (!mode)
        return QStringLiteral("n 0\n") + judgements;
    const RunningStatistics &values = mode->values;
    QString first = mode->modeText() + QStringLiteral("  n %1").arg(values.count());
    QString second;
    if (values.count() > 0) {
        first += QStringLiteral("  min %1  max %2")
                     .arg(number(mode->minimum(), decimalSeparator), number(mode->maximum(), decimalSeparator));
        second = QStringLiteral("mean ") + number(mode->mean(), decimalSeparator) + QStringLiteral("  ");
        if (const std::optional<double> deviation = mode->standardDeviation())
            second += QStringLiteral("sd ") + number(*deviation, decimalSeparator) + QStringLiteral("  ");
    }
    return first + u'\n' + second + judgements;
}
