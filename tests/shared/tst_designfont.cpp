#include "shared/designfont.h"

#include <QtTest>
#include <QtWidgets>

namespace {

// The outlines a font draws with: the same for a face and the file it was
// loaded from, different between two versions of a family.
QByteArray outlines(const QRawFont &font)
{
    const QByteArray glyphs = font.fontTable("glyf");
    return glyphs.isEmpty() ? font.fontTable("CFF ") : glyphs;
}

} // namespace

// The design's fonts come from the program's own font files, whatever other
// fonts the machine has, and leave the weight to the widget unless the
// design gives one.
class TestDesignFont : public QObject
{
    Q_OBJECT
private slots:
    void family_data();
    void family();
    void facesAreDrawnFromTheirFiles_data();
    void facesAreDrawnFromTheirFiles();
    void renaming_data();
    void renaming();
    void weight_data();
    void weight();
};

void TestDesignFont::family_data()
{
    QTest::addColumn<QString>("design");
    QTest::addColumn<bool>("sans");
    QTest::newRow("the window's MS Sans Serif") << "MS Sans Serif" << true;
    QTest::newRow("Arial") << "Arial" << true;
    QTest::newRow("the report's Calibri") << "Calibri" << true;
    QTest::newRow("a family the design does not name stays itself") << "DejaVu Serif" << false;
}

void TestDesignFont::family()
{
    QFETCH(QString, design);
    QFETCH(bool, sans);
    const QByteArray name = design.toLatin1();
    const QString used = sans ? designFamily(DesignFace::Sans) : design;
    QCOMPARE(designFamily(name.constData()), used);
    QCOMPARE(designFont(name.constData(), 13).family(), used);
    QCOMPARE(designFont(name.constData(), 13).pixelSize(), 13);
}

void TestDesignFont::facesAreDrawnFromTheirFiles_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<int>("file");
    QTest::newRow("the window's face") << designFont("MS Sans Serif", 11) << int(DesignFontFile::Sans);
    QTest::newRow("the LCD lettering, bold") << designFont("Arial", 21, true) << int(DesignFontFile::SansBold);
    QTest::newRow("the report's fixed pitch") << QFont(designFamily(DesignFace::Mono)) << int(DesignFontFile::Mono);
}

// With fonts-liberation2 installed, "Liberation Sans" is a newer font with
// other outlines; what is drawn must still come from the program's file.
void TestDesignFont::facesAreDrawnFromTheirFiles()
{
    QFETCH(QFont, font);
    QFETCH(int, file);
    const QString path = designFontFilePath(DesignFontFile(file));
    if (!QFile::exists(path))
        QSKIP("the design font files are not installed (fonts-liberation, fonts-dejavu-core)");
    QCOMPARE(designFontSource(DesignFontFile(file)), path);
    const QByteArray drawn = outlines(QRawFont::fromFont(font));
    QVERIFY(!drawn.isEmpty());
    QVERIFY2(drawn == outlines(QRawFont(path, 12)), qPrintable(QRawFont::fromFont(font).familyName()));
}

void TestDesignFont::renaming_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("renamed");
    const QString path = designFontFilePath(DesignFontFile::Sans);
    QFile file(path);
    const QByteArray font = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (!font.isEmpty()) {
        QTest::newRow("a font file") << font << true;
        QTest::newRow("cut short in its table directory") << font.left(40) << false;
    }
    QTest::newRow("not a font") << QByteArray("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n") << false;
    QTest::newRow("nothing") << QByteArray() << false;
}

// The family is renamed in the file's data; the outlines stay.
void TestDesignFont::renaming()
{
    QFETCH(QByteArray, data);
    QFETCH(bool, renamed);
    const QByteArray result = fontWithFamilyName(data, QStringLiteral("Renamed Family"));
    QCOMPARE(!result.isEmpty(), renamed);
    if (!renamed)
        return;
    const QRawFont before(data, 12), after(result, 12);
    QVERIFY(after.isValid());
    QCOMPARE(after.familyName(), QStringLiteral("Renamed Family"));
    QCOMPARE(after.styleName(), before.styleName());
    QCOMPARE(outlines(after), outlines(before));
}

void TestDesignFont::weight_data()
{
    QTest::addColumn<int>("given");   // -1: none
    QTest::addColumn<bool>("bold");
    // The grid's titles take the window's bold.
    QTest::newRow("none given: the parent's") << -1 << true;
    QTest::newRow("regular given") << 0 << false;
    QTest::newRow("bold given") << 1 << true;
}

void TestDesignFont::weight()
{
    QFETCH(int, given);
    QFETCH(bool, bold);
    QWidget window;
    QFont windowFont = window.font();
    windowFont.setBold(true);
    window.setFont(windowFont);
    QWidget part(&window);
    part.setFont(given < 0 ? designFont("Arial", 11) : designFont("Arial", 11, given == 1));
    QCOMPARE(part.font().bold(), bold);
}

QTEST_MAIN(TestDesignFont)
#include "tst_designfont.moc"
