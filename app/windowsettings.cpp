#include "app/windowsettings.h"

#include "session/linksupervisor.h"

#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Marks a file as this program's; a file without it is someone else's.
const char FormatKey[] = "qm320/format";
constexpr int Format = 1;
constexpr qint32 LargestWindowSide = 16384;

// Each reader leaves `value` alone when the stored text is missing or not
// one the window could take.
void readBool(const QSettings &s, const char *key, bool &value)
{
    const QString text = s.value(QLatin1String(key)).toString();
    if (text == u"true")
        value = true;
    else if (text == u"false")
        value = false;
}

void readInteger(const QSettings &s, const char *key, qint32 &value, qint32 lowest, qint32 highest)
{
    bool ok = false;
    const qint64 read = s.value(QLatin1String(key)).toString().toLongLong(&ok);
    if (ok && read >= lowest && read <= highest)
        value = qint32(read);
}

void readNumber(const QSettings &s, const char *key, double &value)
{
    bool ok = false;
    const double read =
        s.value(QLatin1String(key)).toString().toDouble(&ok); // C locale: the file is the same everywhere
    if (ok && std::isfinite(read))
        value = read;
}

void readText(const QSettings &s, const char *key, QString &value)
{
    const QVariant read = s.value(QLatin1String(key));
    if (read.isValid())
        value = read.toString();
}

} // namespace

QString WindowSettings::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
           + QStringLiteral("/qm320/qm320.conf");
}

WindowSettings WindowSettings::load(const QString &file, QString *problem)
{
    WindowSettings settings;
    const auto refuse = [&](const QString &why) {
        if (problem)
            *problem = QStringLiteral("ignoring the settings in %1: %2").arg(file, why);
        return WindowSettings();
    };
    const QFileInfo info(file);
    if (!info.exists())
        return settings;
    if (!info.isFile() || !info.isReadable())
        return refuse(QStringLiteral("the file cannot be read"));

    const QSettings s(file, QSettings::IniFormat);
    if (s.status() != QSettings::NoError || s.value(QLatin1String(FormatKey)).toString() != QString::number(Format))
        return refuse(QStringLiteral("it is not a settings file of qm320"));

    QString port;
    readText(s, "link/port", port);
    if (LinkSupervisor::isPortName(port))
        settings.port = port;
    readBool(s, "link/reconnect", settings.reconnect);
    readNumber(s, "limits/high", settings.highLimit);
    readNumber(s, "limits/low", settings.lowLimit);

    qint32 limit = 0;
    readInteger(s, "log/recordLimit", limit, 1, std::numeric_limits<qint32>::max());
    if (std::any_of(RecordLimitChoices.begin(), RecordLimitChoices.end(),
                    [limit](const RecordLimitChoice &choice) { return choice.limit == limit; }))
        settings.recordLimit = limit;
    readBool(s, "log/repeat", settings.repeat);
    readBool(s, "log/sampling", settings.sampling);
    // Seconds the sampling timer can count in milliseconds.
    readInteger(s, "log/samplingInterval", settings.samplingSeconds, 1, std::numeric_limits<qint32>::max() / 1000);

    readBool(s, "chart/fill", settings.fill);
    readInteger(s, "chart/pageSize", settings.pageSize, 1, RecordLimitChoices.back().limit);

    // A size no screen has is not taken: a damaged file opens no window
    // wider than the desktop can show.
    qint32 width = 0;
    qint32 height = 0;
    readInteger(s, "window/width", width, 1, LargestWindowSide);
    readInteger(s, "window/height", height, 1, LargestWindowSide);
    if (width > 0 && height > 0)
        settings.windowSize = QSize(width, height);
    readBool(s, "window/maximized", settings.maximized);

    readText(s, "publish/broker", settings.brokerAddress);
    readText(s, "folders/log", settings.logFolder);
    readText(s, "folders/chart", settings.chartFolder);
    return settings;
}

bool WindowSettings::save(const QString &file) const
{
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return false;
    QSettings s(file, QSettings::IniFormat);
    s.clear();
    s.setValue(QLatin1String(FormatKey), Format);
    s.setValue(QStringLiteral("link/port"), port);
    s.setValue(QStringLiteral("link/reconnect"), reconnect);
    // Shortest text that reads back the same number.
    s.setValue(QStringLiteral("limits/high"), QString::number(highLimit, 'g', QLocale::FloatingPointShortest));
    s.setValue(QStringLiteral("limits/low"), QString::number(lowLimit, 'g', QLocale::FloatingPointShortest));
    s.setValue(QStringLiteral("log/recordLimit"), recordLimit);
    s.setValue(QStringLiteral("log/repeat"), repeat);
    s.setValue(QStringLiteral("log/sampling"), sampling);
    s.setValue(QStringLiteral("log/samplingInterval"), samplingSeconds);
    s.setValue(QStringLiteral("chart/fill"), fill);
    s.setValue(QStringLiteral("chart/pageSize"), pageSize);
    if (windowSize.isValid()) {
        s.setValue(QStringLiteral("window/width"), windowSize.width());
        s.setValue(QStringLiteral("window/height"), windowSize.height());
    }
    s.setValue(QStringLiteral("window/maximized"), maximized);
    s.setValue(QStringLiteral("publish/broker"), brokerAddress);
    s.setValue(QStringLiteral("folders/log"), logFolder);
    s.setValue(QStringLiteral("folders/chart"), chartFolder);
    s.sync();
    return s.status() == QSettings::NoError;
}
