#include "shared/designfont.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>
#include <QtEndian>

#include <array>
#include <cstring>

namespace {

const QString SansFamily = QStringLiteral("qm320 Sans");
const QString MonoFamily = QStringLiteral("qm320 Mono");

struct LoadedFaces
{
    std::array<QString, 3> sources; // by DesignFontFile
    bool sans = false;
    bool mono = false;
};

// Loads one file under `family`; its application font id, or -1.
int loadFace(DesignFontFile file, const QString &family)
{
    const QString path = designFontFilePath(file);
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        qWarning("the design font %s cannot be read (%s); the system's fonts stand in", qPrintable(path),
                 qPrintable(in.errorString()));
        return -1;
    }
    const QByteArray font = fontWithFamilyName(in.readAll(), family);
    const int id = font.isEmpty() ? -1 : QFontDatabase::addApplicationFontFromData(font);
    if (id < 0)
        qWarning("the design font %s is not a font this program can use; the system's fonts stand in",
                 qPrintable(path));
    return id;
}

LoadedFaces loadFaces()
{
    LoadedFaces faces;
    // Regular and bold come as a pair: a bold face made up from the regular
    // one would look like neither.
    const int regular = loadFace(DesignFontFile::Sans, SansFamily);
    const int bold = regular < 0 ? -1 : loadFace(DesignFontFile::SansBold, SansFamily);
    if (regular >= 0 && bold < 0)
        QFontDatabase::removeApplicationFont(regular);
    faces.sans = regular >= 0 && bold >= 0;
    if (faces.sans) {
        faces.sources[std::size_t(DesignFontFile::Sans)] = designFontFilePath(DesignFontFile::Sans);
        faces.sources[std::size_t(DesignFontFile::SansBold)] = designFontFilePath(DesignFontFile::SansBold);
    }
    faces.mono = loadFace(DesignFontFile::Mono, MonoFamily) >= 0;
    if (faces.mono)
        faces.sources[std::size_t(DesignFontFile::Mono)] = designFontFilePath(DesignFontFile::Mono);
    return faces;
}

// The faces, loaded at the first call; nothing before a QGuiApplication
// exists, since the toolkit's font database needs one.
const LoadedFaces *loadedFaces()
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return nullptr;
    static const LoadedFaces faces = loadFaces();
    return &faces;
}

QString installedFamily(std::initializer_list<const char *> candidates, const char *otherwise)
{
    const QStringList installed = QFontDatabase::families();
    for (const char *candidate : candidates) {
        if (installed.contains(QLatin1String(candidate)))
            return QString::fromLatin1(candidate);
    }
    return QString::fromLatin1(otherwise);
}

// Font files are big-endian.
quint16 read16(const char *p)
{
    return qFromBigEndian<quint16>(p);
}
quint32 read32(const char *p)
{
    return qFromBigEndian<quint32>(p);
}
void append16(QByteArray &out, quint16 v)
{
    char b[2];
    qToBigEndian(v, b);
    out.append(b, 2);
}

// The sum of a table's big-endian 32-bit words, as the table directory and
// the head table's checkSumAdjustment count them.
quint32 checksum(const char *data, qsizetype size)
{
    quint32 sum = 0;
    qsizetype i = 0;
    for (; i + 4 <= size; i += 4)
        sum += read32(data + i);
    if (i < size) {
        char last[4] = {0, 0, 0, 0};
        std::memcpy(last, data + i, std::size_t(size - i));
        sum += read32(last);
    }
    return sum;
}

} // namespace

QString designFamily(DesignFace face)
{
    const LoadedFaces *faces = loadedFaces();
    if (face == DesignFace::Mono)
        return faces && faces->mono ? MonoFamily
                                    : installedFamily({"DejaVu Sans Mono", "Liberation Mono"}, "Monospace");
    return faces && faces->sans ? SansFamily : installedFamily({"Liberation Sans", "DejaVu Sans"}, "Sans Serif");
}

QString designFamily(const char *family)
{
    // The window, its grid and its chart ask for every font under the family
    // really used, not under the design's name: the toolkit works out
    // fallbacks and sets up each size once per family name, so one font
    // known by two names would be paid for twice while the window starts.
    for (const char *sans : {"MS Sans Serif", "Arial", "Calibri"}) {
        if (std::strcmp(family, sans) == 0)
            return designFamily(DesignFace::Sans);
    }
    return QString::fromLatin1(family);
}

QFont designFont(const char *family, int pixelSize)
{
    QFont font(designFamily(family));
    font.setPixelSize(pixelSize);
    return font;
}

QFont designFont(const char *family, int pixelSize, bool bold)
{
    QFont font = designFont(family, pixelSize);
    font.setBold(bold);
    return font;
}

QString designFontSource(DesignFontFile file)
{
    const LoadedFaces *faces = loadedFaces();
    return faces ? faces->sources[std::size_t(file)] : QString();
}

QByteArray fontWithFamilyName(const QByteArray &font, const QString &family)
{
    // The table directory: the number of tables at byte 4, then 16 bytes per
    // table from byte 12 (tag, checksum, offset, length).
    const char *const d = font.constData();
    const qsizetype size = font.size();
    if (size < 12)
        return {};
    const int tables = read16(d + 4);
    if (12 + 16 * qsizetype(tables) > size)
        return {};
    int nameEntry = -1, headEntry = -1;
    for (int i = 0; i < tables; ++i) {
        const char *tag = d + 12 + 16 * i;
        if (std::memcmp(tag, "name", 4) == 0)
            nameEntry = i;
        else if (std::memcmp(tag, "head", 4) == 0)
            headEntry = i;
    }
    if (nameEntry < 0 || headEntry < 0)
        return {};
    const qsizetype nameOffset = read32(d + 12 + 16 * nameEntry + 8);
    const qsizetype nameLength = read32(d + 12 + 16 * nameEntry + 12);
    const qsizetype headOffset = read32(d + 12 + 16 * headEntry + 8);
    if (nameOffset > size || nameLength > size - nameOffset || nameLength < 6 || headOffset > size - 12)
        return {};

    // The name table (format 0): count and string storage offset, then 12
    // bytes per name (platform, encoding, language, name id, length, offset).
    const char *const name = d + nameOffset;
    const int count = read16(name + 2);
    const qsizetype storage = read16(name + 4);
    if (read16(name) != 0 || 6 + 12 * qsizetype(count) > nameLength || storage > nameLength)
        return {};
    QByteArray utf16(family.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < family.size(); ++i)
        qToBigEndian<quint16>(family.at(i).unicode(), utf16.data() + 2 * i);
    const QByteArray macRoman = family.toLatin1();

    QByteArray records, strings;
    for (int i = 0; i < count; ++i) {
        const char *r = name + 6 + 12 * i;
        const quint16 platform = read16(r), nameId = read16(r + 6), length = read16(r + 8), offset = read16(r + 10);
        if (storage + offset + length > nameLength)
            return {};
        QByteArray text(name + storage + offset, length);
        // Family, typographic family, WWS family: every name a family is
        // known by. Macintosh names are 8-bit, the others UTF-16.
        if (nameId == 1 || nameId == 16 || nameId == 21)
            text = platform == 1 ? macRoman : utf16;
        records.append(r, 8);
        append16(records, quint16(text.size()));
        append16(records, quint16(strings.size()));
        strings += text;
        if (strings.size() > 0xFFFF)
            return {};
    }
    QByteArray table;
    append16(table, 0);
    append16(table, quint16(count));
    append16(table, quint16(6 + records.size()));
    table += records + strings;

    // The new table goes at the end, on a four-byte boundary; the directory
    // points to it.
    QByteArray out = font;
    out.append(QByteArray((4 - out.size() % 4) % 4, '\0'));
    const qsizetype newOffset = out.size();
    out += table;
    out.append(QByteArray((4 - out.size() % 4) % 4, '\0'));
    char *entry = out.data() + 12 + 16 * nameEntry;
    qToBigEndian<quint32>(checksum(table.constData(), table.size()), entry + 4);
    qToBigEndian<quint32>(quint32(newOffset), entry + 8);
    qToBigEndian<quint32>(quint32(table.size()), entry + 12);
    // The whole file sums to a fixed number through head's checkSumAdjustment.
    char *adjustment = out.data() + headOffset + 8;
    qToBigEndian<quint32>(0, adjustment);
    qToBigEndian<quint32>(0xB1B0AFBAu - checksum(out.constData(), out.size()), adjustment);
    return out;
}
