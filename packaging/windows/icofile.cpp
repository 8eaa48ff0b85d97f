// Writes the program's icon as a Windows icon file, painted by the code that
// paints the window's icon: one PNG image per size, which Windows reads from
// Vista on. The build runs it (under Wine when cross-compiling) and binds the
// file into qm320.exe, where Explorer, the Start menu and the installer find
// it.
//
// Usage: qm320-icofile FILE.ico

#include "app/toolicons.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>
#include <vector>

namespace {

constexpr int Sizes[] = {16, 20, 24, 32, 40, 48, 64, 256};

QByteArray pngOfSize(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintProgramIcon(painter, size);
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

void appendLittle16(QByteArray &out, int value)
{
    out.append(char(value & 0xFF)).append(char((value >> 8) & 0xFF));
}

void appendLittle32(QByteArray &out, qsizetype value)
{
    appendLittle16(out, int(value & 0xFFFF));
    appendLittle16(out, int((value >> 16) & 0xFFFF));
}

// The icon file: a directory of entries, then the images.
QByteArray iconFile()
{
    std::vector<QByteArray> images;
    for (int size : Sizes)
        images.push_back(pngOfSize(size));
    QByteArray out;
    appendLittle16(out, 0); // reserved
    appendLittle16(out, 1); // an icon, not a cursor
    appendLittle16(out, int(images.size()));
    qsizetype offset = 6 + 16 * qsizetype(images.size());
    for (std::size_t i = 0; i < images.size(); ++i) {
        const int size = Sizes[i];
        out.append(char(size >= 256 ? 0 : size)); // 0 stands for 256
        out.append(char(size >= 256 ? 0 : size));
        out.append(char(0)); // no palette
        out.append(char(0));
        appendLittle16(out, 1);  // colour planes
        appendLittle16(out, 32); // bits per pixel
        appendLittle32(out, images[i].size());
        appendLittle32(out, offset);
        offset += images[i].size();
    }
    for (const QByteArray &image : images)
        out += image;
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fprintf(stderr, "usage: qm320-icofile FILE.ico\n");
        return 2;
    }
    QFile file(args.at(1));
    if (!file.open(QIODevice::WriteOnly) || file.write(iconFile()) < 0 || !file.flush()) {
        std::fprintf(stderr, "qm320-icofile: cannot write %s: %s\n", qPrintable(args.at(1)),
                     qPrintable(file.errorString()));
        return 2;
    }
    return 0;
}
