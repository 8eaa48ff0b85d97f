#include "transport/devicelock.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

// The lock that keeps a device to one program: taken for real on a file, and
// the holder found in the system's lock table.
class TestDeviceLock : public QObject
{
    Q_OBJECT
private slots:
    void holderInLockTable_data();
    void holderInLockTable();
    void secondTakeNamesTheHolder();
};

void TestDeviceLock::holderInLockTable_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<qint64>("holder");   // -1: none
    // The file looked for: device 0:5 (devtmpfs), inode 1021.
    const QByteArray ours("2: FLOCK  ADVISORY  WRITE 4711 00:05:1021 0 EOF\n");
    QTest::newRow("held") << ours << qint64(4711);
    QTest::newRow("among other locks")
        << QByteArray("1: POSIX  ADVISORY  WRITE 812 08:01:1021 0 EOF\n"
                      "3: FLOCK  ADVISORY  WRITE 99 00:05:10210 0 EOF\n")
               + ours + "4: OFDLCK ADVISORY  READ  -1 00:05:1021 0 EOF\n"
        << qint64(4711);
    QTest::newRow("a waiter's line is not the holder")
        << QByteArray("2: -> FLOCK  ADVISORY  WRITE 5000 00:05:1021 0 EOF\n") + ours << qint64(4711);
    QTest::newRow("another device, same inode") << QByteArray("2: FLOCK  ADVISORY  WRITE 4711 00:06:1021 0 EOF\n")
                                                << qint64(-1);
    QTest::newRow("a record lock is not a claim")
        << QByteArray("2: POSIX  ADVISORY  WRITE 4711 00:05:1021 0 EOF\n") << qint64(-1);
    QTest::newRow("empty table") << QByteArray() << qint64(-1);
    QTest::newRow("cut short") << QByteArray("2: FLOCK  ADVISORY  WRITE") << qint64(-1);
}

void TestDeviceLock::holderInLockTable()
{
    QFETCH(QByteArray, table);
    QFETCH(qint64, holder);
    const std::optional<std::int64_t> found = flockHolder(table, makedev(0, 5), 1021);
    QCOMPARE(found.value_or(-1), holder);
}

void TestDeviceLock::secondTakeNamesTheHolder()
{
    QTemporaryDir dir;
    const QString node = dir.filePath(QStringLiteral("hidraw7"));
    QFile file(node);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    QString why;
    std::unique_ptr<DeviceLock> first = DeviceLock::take(node, why);
    QVERIFY2(first, qPrintable(why));
    // A second open of the node is refused, and told who holds it: here,
    // this very test program.
    QVERIFY(!DeviceLock::take(node, why));
    const QString self = QStringLiteral("%1 (process %2) holds it")
                             .arg(QCoreApplication::applicationName().left(15))
                             .arg(QCoreApplication::applicationPid());
    QCOMPARE(why, self);
    // Let go, it is free again.
    first.reset();
    QVERIFY(DeviceLock::take(node, why));

    QVERIFY(!DeviceLock::take(dir.filePath(QStringLiteral("missing")), why));
    QVERIFY2(why.startsWith(QLatin1String("it cannot be opened: ")), qPrintable(why));
}

QTEST_GUILESS_MAIN(TestDeviceLock)
#include "tst_devicelock.moc"
