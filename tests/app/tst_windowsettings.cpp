#include "app/windowsettings.h"
#include "chart/chartpager.h"
#include "windowfixture.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include <unistd.h>

// The settings that stay between runs: the file, what a damaged or foreign
// file does, and the window that reads and writes them.
// Every field, for a failing comparison.
char *toString(const WindowSettings &s)
{
    return QTest::toString(QStringLiteral("port=%1 reconnect=%2 high=%3 low=%4 limit=%5 repeat=%6 sampling=%7 "
                                          "interval=%8 fill=%9 page=%10 logs=%11 charts=%12 size=%13x%14 maximized=%15 broker=%16")
                               .arg(s.port).arg(s.reconnect).arg(s.highLimit).arg(s.lowLimit).arg(s.recordLimit)
                               .arg(s.repeat).arg(s.sampling).arg(s.samplingSeconds).arg(s.fill).arg(s.pageSize)
                               .arg(s.logFolder, s.chartFolder)
                               .arg(s.windowSize.width()).arg(s.windowSize.height()).arg(s.maximized)
                               .arg(s.brokerAddress));
}

class TestWindowSettings : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip();
    void badValuesKeepTheirDefaults_data();
    void badValuesKeepTheirDefaults();
    void unusableFiles_data();
    void unusableFiles();
    void windowKeepsItsSettings();
    void windowSize_data();
    void windowSize();

private:
    QTemporaryDir m_dir;
};

namespace {

WindowSettings changedSettings()
{
    WindowSettings s;
    s.port = QStringLiteral("/dev/ttyUSB1");
    s.highLimit = 2.5;
    s.lowLimit = -0.1;
    s.recordLimit = 50000;
    s.repeat = false;
    s.sampling = true;
    s.samplingSeconds = 7;
    s.fill = false;
    s.pageSize = 250;
    s.logFolder = QStringLiteral("/home/me/logs");
    s.chartFolder = QStringLiteral("/home/me/pictures");
    s.reconnect = false;
    s.windowSize = QSize(900, 700);
    s.brokerAddress = QStringLiteral("mqtt://lab:1884/bench/3");
    return s;
}

void writeFile(const QString &file, const QByteArray &bytes)
{
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

} // namespace

void TestWindowSettings::roundTrip()
{
    // Into a folder that is not there yet, as on a first run.
    const QString file = m_dir.filePath(QStringLiteral("new/qm320/qm320.conf"));
    QString problem;
    QCOMPARE(WindowSettings::load(file, &problem), WindowSettings());
    QVERIFY(problem.isEmpty());
    QVERIFY(changedSettings().save(file));
    QCOMPARE(WindowSettings::load(file, &problem), changedSettings());
    QVERIFY(problem.isEmpty());
}

void TestWindowSettings::badValuesKeepTheirDefaults_data()
{
    QTest::addColumn<QByteArray>("lines");
    QTest::newRow("a port that is no port") << QByteArray("[link]\nport=COM9\n");
    QTest::newRow("a relative path") << QByteArray("[link]\nport=ttyUSB0\n");
    QTest::newRow("a limit that is no number") << QByteArray("[limits]\nhigh=abc\nlow=1e999\n");
    QTest::newRow("a record limit the menu lacks") << QByteArray("[log]\nrecordLimit=1234\n");
    QTest::newRow("no sampling interval") << QByteArray("[log]\nsamplingInterval=0\n");
    QTest::newRow("a sampling interval the timer cannot take") << QByteArray("[log]\nsamplingInterval=2147484\n");
    QTest::newRow("a page size of none") << QByteArray("[chart]\npageSize=-3\n");
    QTest::newRow("a page size beyond any log") << QByteArray("[chart]\npageSize=99999999999\n");
    QTest::newRow("a window wider than any screen") << QByteArray("[window]\nwidth=99999\nheight=700\n");
    QTest::newRow("a window of no height") << QByteArray("[window]\nwidth=900\nheight=0\n");
    QTest::newRow("a tick that is neither") << QByteArray("[log]\nrepeat=maybe\n[chart]\nfill=1\n");
}

void TestWindowSettings::badValuesKeepTheirDefaults()
{
    QFETCH(QByteArray, lines);
    const QString file = m_dir.filePath(QStringLiteral("bad.conf"));
    writeFile(file, "[qm320]\nformat=1\n" + lines);
    QString problem;
    QCOMPARE(WindowSettings::load(file, &problem), WindowSettings());
    QVERIFY(problem.isEmpty());
}

void TestWindowSettings::unusableFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("kind");   // "file", "unreadable" or "folder"
    const QByteArray ours("[qm320]\nformat=1\n[link]\nport=COM2\n");
    static constexpr char randomBytes[] = "\x00\xff\x13[[=\x01\nport=COM2\n";
    QTest::newRow("random bytes") << QByteArray(randomBytes, sizeof randomBytes - 1) << "file";
    QTest::newRow("another program's settings") << QByteArray("[link]\nport=COM2\n") << "file";
    QTest::newRow("a later format") << QByteArray("[qm320]\nformat=2\n[link]\nport=COM2\n") << "file";
    QTest::newRow("no permission to read") << ours << "unreadable";
    QTest::newRow("a folder in its place") << ours << "folder";
}

void TestWindowSettings::unusableFiles()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, kind);
    if (kind == u"unreadable" && geteuid() == 0)
        QSKIP("root reads any file");
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("qm320.conf"));
    if (kind == u"folder")
        QVERIFY(QDir().mkpath(file));
    else
        writeFile(file, bytes);
    if (kind == u"unreadable")
        QFile::setPermissions(file, QFileDevice::WriteOwner);
    QString problem;
    QCOMPARE(WindowSettings::load(file, &problem), WindowSettings());
    QVERIFY2(problem.startsWith("ignoring the settings in " + file + ": "), qPrintable(problem));
}

void TestWindowSettings::windowKeepsItsSettings()
{
    const QString file = m_dir.filePath(QStringLiteral("window.conf"));
    QVERIFY(changedSettings().save(file));
    {
        // The window starts as the last run left it, in the user's own
        // decimal separator.
        WindowFixture f(QStringLiteral(","), QStringLiteral(","), QStringLiteral("x86_64"), {}, file);
        QCOMPARE(f.session().serialPort(), QStringLiteral("/dev/ttyUSB1"));
        QCOMPARE(f.find<QWidget>("portButton")->property("text").toString(), QStringLiteral("ttyUSB1"));
        QCOMPARE(f.find<QLineEdit>("highLimitEdit")->text(), QStringLiteral("2,5"));
        QCOMPARE(f.find<QLineEdit>("lowLimitEdit")->text(), QStringLiteral("-0,1"));
        QVERIFY(f.find<QAction>("recordLimit50000Action")->isChecked());
        QCOMPARE(f.session().logger().recordLimit(), 50000);
        QVERIFY(!f.find<QCheckBox>("repeatCheck")->isChecked());
        QVERIFY(f.find<QCheckBox>("samplingCheck")->isChecked());
        QCOMPARE(f.session().samplingInterval(), 7000);
        QVERIFY(!f.find<QCheckBox>("fillCheck")->isChecked());
        QCOMPARE(f.window->chartPager().pageSize(), 250);
        QVERIFY(!f.find<QAction>("reconnectAction")->isChecked());
        QCOMPARE(f.window->size(), QSize(900, 700));

        // The dialogs start in the folders last used, and remember new ones.
        f.dialogs->names = {QString(), m_dir.filePath(QStringLiteral("chart.bmp"))};
        f.window->fileCommands().openLog();
        f.window->chartControls().saveChartPicture();
        QCOMPARE(f.dialogs->folders, QStringList({"/home/me/logs", "/home/me/pictures"}));

        // Changed in this run, kept for the next.
        f.window->selectNextPort();
        f.find<QLineEdit>("highLimitEdit")->setText(QStringLiteral("3,75"));
        f.find<QLineEdit>("lowLimitEdit")->setText(QStringLiteral("-"));   // being typed: the last number stays
        f.find<QAction>("recordLimitlessAction")->trigger();
        f.find<QCheckBox>("fillCheck")->setChecked(true);
        f.window->resize(1000, 750);
    }
    WindowSettings expected = changedSettings();
    expected.port = QStringLiteral("COM1");
    expected.highLimit = 3.75;
    expected.recordLimit = 10000000;
    expected.fill = true;
    expected.chartFolder = m_dir.path();
    expected.windowSize = QSize(1000, 750);
    QCOMPARE(WindowSettings::load(file), expected);
}

void TestWindowSettings::windowSize_data()
{
    QTest::addColumn<QSize>("kept");        // invalid: no settings yet
    QTest::addColumn<bool>("maximized");
    QTest::addColumn<QSize>("shown");       // invalid: the designed size
    QTest::newRow("first run: the designed size") << QSize() << false << QSize();
    QTest::newRow("smaller than designed") << QSize(300, 200) << false << QSize();
    QTest::newRow("larger") << QSize(1200, 800) << false << QSize(1200, 800);
    QTest::newRow("maximized keeps the size to restore") << QSize(1000, 700) << true << QSize(1000, 700);
}

void TestWindowSettings::windowSize()
{
    QFETCH(QSize, kept);
    QFETCH(bool, maximized);
    QFETCH(QSize, shown);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("qm320.conf"));
    if (kept.isValid()) {
        WindowSettings settings;
        settings.windowSize = kept;
        settings.maximized = maximized;
        QVERIFY(settings.save(file));
    }
    QSize designed;
    {
        WindowFixture f(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"), {}, file);
        designed = f.window->minimumSize();
        QCOMPARE(f.window->isMaximized(), maximized);
        const QSize normal = maximized ? f.window->normalGeometry().size() : f.window->size();
        QCOMPARE(normal, shown.isValid() ? shown : designed);
    }
    const WindowSettings saved = WindowSettings::load(file);
    QCOMPARE(saved.windowSize, shown.isValid() ? shown : designed);
    QCOMPARE(saved.maximized, maximized);
}

QTEST_MAIN(TestWindowSettings)
#include "tst_windowsettings.moc"
