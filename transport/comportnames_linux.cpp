#include "transport/comportnames.h"

#include <QDir>
#include <QFileInfo>

QString comPortDevice(int n)
{
    if (n < 1 || n > 4)
        return QString();
    const QString fromEnvironment = qEnvironmentVariable(QByteArray("QM320_COM" + QByteArray::number(n)).constData());
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    const QString usb = QStringLiteral("/dev/ttyUSB%1").arg(n - 1);
    if (QFileInfo::exists(usb))
        return usb;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}

QString deviceForPortName(const QString &name)
{
    if (const int n = comPortNumber(name))
        return comPortDevice(n);
    if (name.startsWith(u'/'))
        return name;
    return QString();
}

QString stableDevicePath(const QString &device, const QString &byIdFolder)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return device;
    const QDir folder(byIdFolder);
    for (const QFileInfo &link : folder.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name)) {
        if (link.isSymLink() && link.canonicalFilePath() == target)
            return link.absoluteFilePath();
    }
    return device;
}
