#include "app/programstyle.h"
#include "app/toolicons.h"

#include <QtTest>
#include <QtWidgets>

// The speed buttons' icons are drawn when first shown, at the size and
// resolution shown, and look as the 16-pixel pictures they replace did.
class TestToolIcons : public QObject
{
    Q_OBJECT
private slots:
    void drawnSize_data();
    void drawnSize();
    void disabledIsGreyedByTheStyle();
    void styleDrawsTheOverflowIcons_data();
    void styleDrawsTheOverflowIcons();
};

void TestToolIcons::drawnSize_data()
{
    QTest::addColumn<QSize>("requested");
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QSize>("pixels");
    QTest::newRow("16 on a plain screen") << QSize(16, 16) << 1.0 << QSize(16, 16);
    // The chart's enlarge buttons ask for 20: the picture is not stretched.
    QTest::newRow("20 on a plain screen") << QSize(20, 20) << 1.0 << QSize(16, 16);
    QTest::newRow("12 on a plain screen") << QSize(12, 12) << 1.0 << QSize(12, 12);
    QTest::newRow("16 on a double-density screen") << QSize(16, 16) << 2.0 << QSize(32, 32);
}

void TestToolIcons::drawnSize()
{
    QFETCH(QSize, requested);
    QFETCH(qreal, ratio);
    QFETCH(QSize, pixels);
    const QIcon icon = toolIcon(ToolIcon::Print);
    QCOMPARE(icon.availableSizes(), QList<QSize>{QSize(16, 16)});
    const QPixmap pixmap = icon.pixmap(requested, ratio);
    QCOMPARE(pixmap.size(), pixels);
    QCOMPARE(pixmap.devicePixelRatio(), ratio);
    // Drawn, not blank: the printer's body is opaque at the centre.
    QCOMPARE(qAlpha(pixmap.toImage().pixel(pixels.width() / 2, pixels.height() / 2)), 255);
}

void TestToolIcons::disabledIsGreyedByTheStyle()
{
    const QIcon icon = toolIcon(ToolIcon::SaveData);
    const QPixmap normal = icon.pixmap(16, QIcon::Normal);
    const QPixmap disabled = icon.pixmap(16, QIcon::Disabled);
    QStyleOption option;
    option.palette = QGuiApplication::palette();
    const QPixmap greyed = QApplication::style()->generatedIconPixmap(QIcon::Disabled, normal, &option);
    QVERIFY(disabled.toImage() != normal.toImage());
    QCOMPARE(disabled.toImage(), greyed.toImage());
}

void TestToolIcons::styleDrawsTheOverflowIcons_data()
{
    QTest::addColumn<int>("standard");
    QTest::addColumn<int>("drawn");
    QTest::newRow("menu bar") << int(QStyle::SP_ToolBarHorizontalExtensionButton) << int(ToolIcon::MoreRight);
    QTest::newRow("vertical tool bar") << int(QStyle::SP_ToolBarVerticalExtensionButton) << int(ToolIcon::MoreBelow);
}

void TestToolIcons::styleDrawsTheOverflowIcons()
{
    QFETCH(int, standard);
    QFETCH(int, drawn);
    ProgramStyle style;
    const QIcon icon = style.standardIcon(QStyle::StandardPixmap(standard));
    QCOMPARE(icon.pixmap(16).toImage(), toolIcon(ToolIcon(drawn)).pixmap(16).toImage());
    // Every other icon is still the style's own.
    QVERIFY(!style.standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32).isNull());
}

QTEST_MAIN(TestToolIcons)
#include "tst_toolicons.moc"
