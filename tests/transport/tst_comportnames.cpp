#include "transport/comportnames.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestComPortNames : public QObject
{
    Q_OBJECT

private slots:
    void portNames_data();
    void portNames();
    void stableDevicePath();
};

void TestComPortNames::portNames_data()
{
    QTest::addColumn<QByteArray>("com2");      // QM320_COM2; null: unset
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("devices");  // any of these; empty: none

    const QStringList com2Default{QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyS1")};
    QTest::newRow("QM320_COM2 names the device") << QByteArray("/dev/pts/9") << "COM2" << QStringList{"/dev/pts/9"};
    QTest::newRow("port names in any case") << QByteArray("/dev/pts/9") << "com2" << QStringList{"/dev/pts/9"};
    QTest::newRow("without QM320_COM2: adapter, else mainboard port") << QByteArray() << "COM2" << com2Default;
    QTest::newRow("an empty QM320_COM2 counts as unset") << QByteArray("") << "COM2" << com2Default;
    QTest::newRow("QM320_COM2 leaves COM1 alone") << QByteArray("/dev/pts/9") << "COM1"
                                                  << QStringList{"/dev/ttyUSB0", "/dev/ttyS0"};
    QTest::newRow("a device path as is") << QByteArray() << "/dev/serial/by-id/usb-meter" << QStringList{"/dev/serial/by-id/usb-meter"};
    QTest::newRow("COM5 is no port") << QByteArray() << "COM5" << QStringList();
    QTest::newRow("COM10 is no port") << QByteArray() << "COM10" << QStringList();
    QTest::newRow("a bare device name is no port") << QByteArray() << "ttyS0" << QStringList();
}

void TestComPortNames::portNames()
{
    QFETCH(QByteArray, com2);
    QFETCH(QString, name);
    QFETCH(QStringList, devices);

    if (com2.isNull())
        qunsetenv("QM320_COM2");
    else
        qputenv("QM320_COM2", com2);
    qunsetenv("QM320_COM1");
    const QString device = ::deviceForPortName(name);
    if (devices.isEmpty())
        QVERIFY2(device.isEmpty(), qPrintable(device));
    else
        QVERIFY2(devices.contains(device), qPrintable(device));
    if (const int n = comPortNumber(name))
        QCOMPARE(comPortDevice(n), device);
}

void TestComPortNames::stableDevicePath()
{
    // An adapter's by-id link follows it to another ttyUSB number.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString device = dir.filePath(QStringLiteral("ttyUSB3"));
    QFile node(device);
    QVERIFY(node.open(QIODevice::WriteOnly));
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("by-id"))));
    const QString link = dir.filePath(QStringLiteral("by-id/usb-FTDI_FT232R_A1B2-if00-port0"));
    QVERIFY(QFile::link(device, link));
    QVERIFY(QFile::link(dir.filePath(QStringLiteral("elsewhere")), dir.filePath(QStringLiteral("by-id/usb-other"))));

    QCOMPARE(::stableDevicePath(device, dir.filePath(QStringLiteral("by-id"))), link);
    // A device without a link, and a folder that is not there, keep the device.
    const QString plain = dir.filePath(QStringLiteral("ttyS0"));
    QFile other(plain);
    QVERIFY(other.open(QIODevice::WriteOnly));
    QCOMPARE(::stableDevicePath(plain, dir.filePath(QStringLiteral("by-id"))), plain);
    QCOMPARE(::stableDevicePath(device, dir.filePath(QStringLiteral("none"))), device);
}

QTEST_GUILESS_MAIN(TestComPortNames)
#include "tst_comportnames.moc"
