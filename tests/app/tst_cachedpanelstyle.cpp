#include "app/cachedpanelstyle.h"

#include <QLineEdit>
#include <QtTest>

// A line edit drawn with the copied panel looks exactly as one drawn by the
// style, through changes of text, size and colour.
class TestCachedPanelStyle : public QObject
{
    Q_OBJECT
private slots:
    void sameAsTheStyle_data();
    void sameAsTheStyle();
};

void TestCachedPanelStyle::sameAsTheStyle_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QColor>("base");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("values on the start colour") << QStringList{"1.234", "-0.001", "0.L"} << QColor(Qt::cyan)
                                                << QSize(133, 33) << true;
    QTest::newRow("green, then another size") << QStringList{"4000"} << QColor(0, 128, 0) << QSize(60, 20) << true;
    QTest::newRow("disabled") << QStringList{"12"} << QColor(Qt::red) << QSize(133, 33) << false;
}

void TestCachedPanelStyle::sameAsTheStyle()
{
    QFETCH(QStringList, texts);
    QFETCH(QColor, base);
    QFETCH(QSize, size);
    QFETCH(bool, enabled);
    CachedPanelStyle style;
    QLineEdit cached;
    QLineEdit plain;
    cached.setStyle(&style);
    for (QLineEdit *edit : {&cached, &plain}) {
        edit->setReadOnly(true);
        edit->resize(size);
        edit->setEnabled(enabled);
        QFont font = edit->font();
        font.setPixelSize(21);
        font.setBold(true);
        edit->setFont(font);
    }
    // The panel is copied again and again, and redrawn when its colours change.
    for (const QColor &colour : {QColor(Qt::white), base}) {
        for (QLineEdit *edit : {&cached, &plain}) {
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Base, colour);
            edit->setPalette(palette);
        }
        for (const QString &text : texts) {
            cached.setText(text);
            plain.setText(text);
            QCOMPARE(cached.grab().toImage(), plain.grab().toImage());
            QCOMPARE(cached.grab().toImage(), plain.grab().toImage());
        }
    }
}

QTEST_MAIN(TestCachedPanelStyle)
#include "tst_cachedpanelstyle.moc"
