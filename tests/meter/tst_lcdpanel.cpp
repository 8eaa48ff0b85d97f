#include "shared/designfont.h"
#include "meter/framedecoder.h"
#include "meter/lcdart.h"
#include "meter/lcdelementwidget.h"
#include "meter/lcdpanel.h"
#include "meterframes.h"

#include <QDir>
#include <QtTest>

using namespace MeterBits;

namespace {

// Decodes a frame and shows it the way the window does.
bool showFrame(FrameDecoder &decoder, LcdPanel &panel, const QByteArray &frame)
{
    const DecodeResult *result = decoder.decode(assembledFrame(frame), QStringLiteral("."));
    if (!result)
        return false;
    panel.showState(lcdStateFor(result->reading));
    return true;
}

// Everything the frame can light at once; decoded before each case so that
// the case also proves what is hidden again.
QByteArray everythingFrame()
{
    return meterFrame('-', "8888", '7', Status{0xFF, 0xFF, 0xFF, 0xFF});
}

QStringList litNames(const LcdPanel &panel)
{
    QStringList names;
    for (const LcdElementInfo &info : lcdElements()) {
        if (info.art != LcdArt::Digit && panel.element(info.element)->isVisibleTo(&panel))
            names << QString::fromLatin1(info.objectName);
    }
    names.sort();
    return names;
}

QString artifactDir()
{
    const QString dir = QStringLiteral(QM320_BINARY_DIR "/artifacts");
    QDir().mkpath(dir);
    return dir;
}

} // namespace

class TestLcdPanel : public QObject
{
    Q_OBJECT

private slots:
    void designStateBeforeFirstFrame();
    void paintsFrame_data();
    void paintsFrame();
    void linkSymbolStaysAfterFirstFrame();
    void renderAtTwiceTheSize();
    void letteringIsBakedFromTheFont();
};

void TestLcdPanel::designStateBeforeFirstFrame()
{
    LcdPanel panel;
    QCOMPARE(panel.shownState(), lcdDesignState());
    QCOMPARE(litNames(panel), QStringList{QStringLiteral("minusSign")});
    QCOMPARE(panel.findChild<LcdElementWidget *>(QStringLiteral("digit1"))->glyph(), QChar(u'3'));
    QCOMPARE(panel.shownState().digitText(), QStringLiteral("3999"));
}

void TestLcdPanel::paintsFrame_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QStringList>("lit");
    QTest::addColumn<QString>("digits");

    auto names = [](const char *list) {
        QStringList n = QString::fromLatin1(list).split(u' ', Qt::SkipEmptyParts);
        n << QStringLiteral("linkSymbol");
        n.sort();
        return n;
    };

    QTest::newRow("auto DC volts 1.234")
        << meterFrame('+', "1234", '1', {Auto | Dc, 0, 0, Volt}) << names("point1 autoSymbol dcSymbol voltSymbol") << "1234";
    QTest::newRow("negative AC millivolts, point after digit 3")
        << meterFrame('-', "0123", '4', {Ac, 0, Milli, Volt}) << names("minusSign point3 acSymbol milliSymbol voltSymbol") << "0123";
    QTest::newRow("point code 2")
        << meterFrame('+', "4000", '2', {Dc, 0, Milli, Volt}) << names("point2 dcSymbol milliSymbol voltSymbol") << "4000";
    QTest::newRow("point code 3 sets no point")
        << meterFrame('+', "0750", '3', {Ac, 0, 0, Volt}) << names("acSymbol voltSymbol") << "0750";
    QTest::newRow("over-range kilo-ohm shows 0.L")
        << meterFrame('+', "?000", '2', {Auto, 0, Kilo, Ohm}) << names("point2 autoSymbol kiloSymbol ohmSymbol") << " 0L ";
    QTest::newRow("negative over-range lights the minus sign")
        << meterFrame('-', "?000", '0', {Dc, 0, 0, Volt}) << names("minusSign dcSymbol voltSymbol") << " 0L ";
    QTest::newRow("diode lights the V")
        << meterFrame('+', "0512", '1', {0, 0, Diode, 0}) << names("point1 diodeSymbol voltSymbol") << "0512";
    QTest::newRow("continuity ohms")
        << meterFrame('+', "0001", '4', {0, 0, Continuity, Ohm}) << names("point3 continuitySymbol ohmSymbol") << "0001";
    QTest::newRow("hold, REL, MAX, MIN, low battery")
        << meterFrame('+', "1000", '0', {Hold | Rel, Max | Min | LowBatt, 0, Volt})
        << names("holdSymbol relSymbol maxSymbol minSymbol lowBatterySymbol voltSymbol") << "1000";
    QTest::newRow("nanofarad") << meterFrame('+', "2200", '2', {0, Nano, 0, Farad}) << names("point2 nanoSymbol faradSymbol") << "2200";
    QTest::newRow("microampere")
        << meterFrame('+', "0350", '4', {Dc, 0, Micro, Ampere}) << names("point3 dcSymbol microSymbol ampereSymbol") << "0350";
    QTest::newRow("megahertz") << meterFrame('+', "1000", '1', {0, 0, Mega, Hertz}) << names("point1 megaSymbol hertzSymbol") << "1000";
    QTest::newRow("duty cycle") << meterFrame('+', "0500", '4', {0, 0, Duty, 0}) << names("point3 percentSymbol") << "0500";
    QTest::newRow("Celsius") << meterFrame('+', "0023", '0', {0, 0, 0, Celsius}) << names("celsiusSymbol") << "0023";
    QTest::newRow("Fahrenheit") << meterFrame('-', "0004", '0', {0, 0, 0, Fahrenheit}) << names("minusSign fahrenheitSymbol") << "0004";
    QTest::newRow("the 4 V scale bit has no symbol") << meterFrame('+', "0000", '0', {0, Scale4V, 0, 0}) << names("")
                                                     << "0000";
}

void TestLcdPanel::paintsFrame()
{
    QFETCH(QByteArray, frame);
    QFETCH(QStringList, lit);
    QFETCH(QString, digits);

    LcdPanel panel;
    FrameDecoder decoder;
    QVERIFY(showFrame(decoder, panel, everythingFrame()));
    QVERIFY(showFrame(decoder, panel, frame));

    QCOMPARE(litNames(panel), lit);
    QCOMPARE(panel.shownState().digitText(), digits);
    // The widgets show exactly the state they were given.
    QCOMPARE(panel.shownState(), lcdStateFor(decoder.lastResult().reading));
}

void TestLcdPanel::linkSymbolStaysAfterFirstFrame()
{
    LcdPanel panel;
    FrameDecoder decoder;
    QVERIFY(!panel.element(LcdElement::Link)->isVisibleTo(&panel));
    QVERIFY(showFrame(decoder, panel, meterFrame('+', "1234", '1', {Dc, 0, 0, Volt})));
    QVERIFY(panel.element(LcdElement::Link)->isVisibleTo(&panel));
    QVERIFY(showFrame(decoder, panel, meterFrame('+', "0000", '0', {0, 0, 0, 0})));
    QVERIFY(panel.element(LcdElement::Link)->isVisibleTo(&panel));
}

void TestLcdPanel::renderAtTwiceTheSize()
{
    LcdPanel panel;
    auto render = [&](const QString &name) {
        QPixmap pixmap(panel.size() * 2);
        pixmap.setDevicePixelRatio(2);
        panel.render(&pixmap);
        const QString path = artifactDir() + u'/' + name;
        if (!pixmap.save(path))
            qWarning("could not write %s", qPrintable(path));
        return pixmap.toImage();
    };
    const QImage design = render(QStringLiteral("lcd-design-2x.png"));

    LcdState all;
    all.lit.set();
    all.digits = {u'8', u'8', u'8', u'8'};
    panel.showState(all);
    const QImage lit = render(QStringLiteral("lcd-all-segments-2x.png"));
    QVERIFY(design != lit);

    FrameDecoder decoder;
    QVERIFY(showFrame(decoder, panel, meterFrame('+', "?000", '2', {Auto, 0, Mega, Ohm})));
    render(QStringLiteral("lcd-over-range-2x.png"));
    QVERIFY(showFrame(decoder, panel, meterFrame('-', "1234", '1', {Auto | Dc | Hold, Max, Milli, Volt})));
    render(QStringLiteral("lcd-dc-millivolts-2x.png"));
}

// The panel draws its words and symbols from outlines baked into the
// program from the design font's file; a word added or changed without
// baking it again would be laid out at run time.
void TestLcdPanel::letteringIsBakedFromTheFont()
{
    if (designFontSource(DesignFontFile::SansBold).isEmpty())
        QSKIP("the design font file is not installed (fonts-liberation)");
    qreal fontCapHeight = 0, bakedCapHeight = 0;
    for (const QString &text : lcdLetteringTexts()) {
        const QPainterPath baked = lcdBakedLettering(text, &bakedCapHeight);
        const QPainterPath font = lcdLetteringFromFont(text, &fontCapHeight);
        const QByteArray what = "\"" + text.toUtf8() + "\" differs from the font: run qm320-bakelettering";
        QVERIFY2(baked.elementCount() == font.elementCount(), what.constData());
        QCOMPARE(baked.fillRule(), font.fillRule());
        for (int i = 0; i < font.elementCount(); ++i) {
            const QPainterPath::Element b = baked.elementAt(i), f = font.elementAt(i);
            QVERIFY2(b.type == f.type && qAbs(b.x - f.x) < 1e-3 && qAbs(b.y - f.y) < 1e-3, what.constData());
        }
    }
    QVERIFY(qAbs(bakedCapHeight - fontCapHeight) < 1e-3);
}

QTEST_MAIN(TestLcdPanel)
#include "tst_lcdpanel.moc"
