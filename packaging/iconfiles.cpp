// Writes the program's icon as the files a desktop installation wants, all
// painted by the code that paints the window's icon:
//
//   OUTDIR/scalable/apps/NAME.svg
//   OUTDIR/NxN/apps/NAME.png   for N = 16, 22, 24, 32, 48, 64, 128 and 256
//
// Usage: qm320-iconfiles OUTDIR NAME. Runs on the offscreen platform when no
// other is set, so a build needs no display.

#include "app/toolicons.h"

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

namespace {

constexpr int PngSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
// The drawing is made in a 32-unit square.
constexpr int SvgSize = 32;

bool writePng(const QString &folder, const QString &name, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintProgramIcon(painter, size);
    painter.end();
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(folder).arg(size);
    return QDir().mkpath(dir) && image.save(dir + u'/' + name + QStringLiteral(".png"));
}

bool writeSvg(const QString &folder, const QString &name)
{
    const QString dir = folder + QStringLiteral("/scalable/apps");
    if (!QDir().mkpath(dir))
        return false;
    QSvgGenerator svg;
    svg.setFileName(dir + u'/' + name + QStringLiteral(".svg"));
    svg.setSize(QSize(SvgSize, SvgSize));
    svg.setViewBox(QRect(0, 0, SvgSize, SvgSize));
    svg.setTitle(name);
    svg.setDescription(QStringLiteral("A handheld multimeter"));
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    paintProgramIcon(painter, SvgSize);
    return painter.end();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: qm320-iconfiles OUTDIR NAME\n");
        return 2;
    }
    const QString folder = args.at(1);
    const QString name = args.at(2);
    bool ok = writeSvg(folder, name);
    for (int size : PngSizes)
        ok = writePng(folder, name, size) && ok;
    if (!ok) {
        std::fprintf(stderr, "qm320-iconfiles: cannot write the icon files to %s\n", qPrintable(folder));
        return 2;
    }
    return 0;
}
