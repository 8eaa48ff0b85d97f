#include "app/toolicons.h"

#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

// The icon files that the package installs: every size there, and each the
// window's own icon, the scalable one included.
class TestIconFiles : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void pngs_data();
    void pngs();
    void svgIsTheSameDrawing_data();
    void svgIsTheSameDrawing();

private:
    QTemporaryDir m_dir;
};

namespace {

QImage painted(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    paintProgramIcon(painter, size);
    return image;
}

// The mean difference of two images of one size, per channel, 0..255.
double meanDifference(const QImage &a, const QImage &b)
{
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    double sum = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int column = 0; column < x.width(); ++column) {
            const QRgb p = x.pixel(column, row);
            const QRgb q = y.pixel(column, row);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q))
                 + std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * x.width() * x.height());
}

} // namespace

void TestIconFiles::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QProcess tool;
    tool.start(QStringLiteral(QM320_BINARY_DIR "/packaging/qm320-iconfiles"), {m_dir.path(), QStringLiteral("qm320")});
    QVERIFY(tool.waitForFinished(60000));
    QCOMPARE(tool.exitCode(), 0);
}

void TestIconFiles::pngs_data()
{
    QTest::addColumn<int>("size");
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        QTest::addRow("%dx%d", size, size) << size;
}

void TestIconFiles::pngs()
{
    QFETCH(int, size);
    const QImage png(m_dir.filePath(QStringLiteral("%1x%1/apps/qm320.png").arg(size)));
    QCOMPARE(png.size(), QSize(size, size));
    QCOMPARE(png.convertToFormat(QImage::Format_ARGB32), painted(size).convertToFormat(QImage::Format_ARGB32));
    // Transparent around the meter, opaque on it.
    QCOMPARE(qAlpha(png.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(png.pixel(size / 2, size / 2)), 255);
    // The window's icon, where it has this size.
    const QIcon window = programIcon();
    if (window.availableSizes().contains(QSize(size, size)))
        QCOMPARE(window.pixmap(size).toImage().convertToFormat(QImage::Format_ARGB32),
                 png.convertToFormat(QImage::Format_ARGB32));
}

void TestIconFiles::svgIsTheSameDrawing_data()
{
    QTest::addColumn<int>("size");
    QTest::newRow("32") << 32;
    QTest::newRow("256") << 256;
}

void TestIconFiles::svgIsTheSameDrawing()
{
    QFETCH(int, size);
    QSvgRenderer svg(m_dir.filePath(QStringLiteral("scalable/apps/qm320.svg")));
    QVERIFY(svg.isValid());
    QCOMPARE(svg.viewBox(), QRect(0, 0, 32, 32));
    QImage rendered(size, size, QImage::Format_ARGB32_Premultiplied);
    rendered.fill(Qt::transparent);
    QPainter painter(&rendered);
    svg.render(&painter);
    painter.end();
    // Edges are smoothed a little differently; the drawing is the same.
    const double difference = meanDifference(rendered, painted(size));
    QVERIFY2(difference < 0.5, qPrintable(QString::number(difference)));
    // A blank picture would differ by far more.
    QImage blank(size, size, QImage::Format_ARGB32_Premultiplied);
    blank.fill(Qt::transparent);
    QVERIFY(meanDifference(blank, painted(size)) > 20.0);
}

QTEST_MAIN(TestIconFiles)
#include "tst_iconfiles.moc"
