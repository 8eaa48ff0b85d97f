#include "meter/designfont.h"

#include <QtTest>
#include <QtWidgets>

// The design's fonts are asked for under the family in use, and leave the
// weight to the widget unless the design gives one.
class TestDesignFont : public QObject
{
    Q_OBJECT
private slots:
    void family_data();
    void family();
    void weight_data();
    void weight();
};

void TestDesignFont::family_data()
{
    QTest::addColumn<QString>("design");
    QTest::addColumn<QString>("used");
    QTest::newRow("a Windows font stands in") << "MS Sans Serif" << "Liberation Sans";
    QTest::newRow("an installed font is itself") << "DejaVu Sans" << "DejaVu Sans";
}

void TestDesignFont::family()
{
    QFETCH(QString, design);
    QFETCH(QString, used);
    if (!QFontDatabase::families().contains(QStringLiteral("Liberation Sans")))
        QSKIP("Liberation Sans is not installed");
    const QByteArray name = design.toLatin1();
    QCOMPARE(designFamily(name.constData()), used);
    QCOMPARE(designFont(name.constData(), 13).family(), used);
    QCOMPARE(designFont(name.constData(), 13).pixelSize(), 13);
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
