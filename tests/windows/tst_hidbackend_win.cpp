// The HID backend on Windows: the instance keys that tell a re-plugged cable
// from one that stayed, the claim that keeps a cable to one copy of the
// program, and the system's own listing and opening under whatever HID
// devices this system has (Wine on a build machine shows none).

#include "transport/hidbackend.h"
#include "transport/hidinstancekeys_win.h"

#include <QCoreApplication>
#include <QTest>

#include <windows.h>

namespace {

const QString CablePath = QStringLiteral("\\\\?\\hid#vid_1a86&pid_e008#7&1c2d3e4f&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");

} // namespace

class TestHidBackendWin : public QObject
{
    Q_OBJECT

private slots:
    void instanceKeys_data();
    void instanceKeys();
    void claimKeepsOthersAway();
    void systemListsAndOpens();
};

void TestHidBackendWin::instanceKeys_data()
{
    // Steps: "list A B" lists those paths; "removed A" is the system's
    // removal notice. `same` says which keys of the last listing equal
    // those of the first.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<bool>>("same");

    QTest::newRow("listed again, nothing happened") << QStringList{"list A B", "list A B"} << QList<bool>{true, true};
    QTest::newRow("pulled and plugged in between two listings")
        << QStringList{"list A B", "removed A", "list A B"} << QList<bool>{false, true};
    QTest::newRow("a listing that missed it") << QStringList{"list A B", "list B", "list A B"} << QList<bool>{false, true};
    QTest::newRow("a notice and a listing count one removal")
        << QStringList{"list A B", "removed A", "list B", "list A B"} << QList<bool>{false, true};
    QTest::newRow("a notice for a path never listed") << QStringList{"list A B", "removed C", "list A B"}
                                                     << QList<bool>{true, true};
    QTest::newRow("letter case does not make another device")
        << QStringList{"list A B", "removed a", "list A B"} << QList<bool>{false, true};
}

void TestHidBackendWin::instanceKeys()
{
    QFETCH(QStringList, steps);
    QFETCH(QList<bool>, same);

    HidInstanceKeys keys;
    std::vector<QString> first;
    std::vector<QString> last;
    for (const QString &step : steps) {
        QStringList words = step.split(u' ');
        const QString verb = words.takeFirst();
        if (verb == u"removed") {
            keys.removed(CablePath + words.first());
            continue;
        }
        std::vector<QString> paths;
        for (const QString &w : words)
            paths.push_back(CablePath + w);
        last = keys.keysFor(paths);
        QCOMPARE(last.size(), paths.size());
        if (first.empty())
            first = last;
    }
    QCOMPARE(last.size(), first.size());
    for (std::size_t i = 0; i < last.size(); ++i)
        QVERIFY2((last[i] == first[i]) == same.at(int(i)), qPrintable(last[i] + QStringLiteral(" vs ") + first[i]));
    // Keys of different paths never meet.
    QVERIFY(last.front() != last.back());
}

void TestHidBackendWin::claimKeepsOthersAway()
{
    const std::unique_ptr<HidBackend> backend = createHidBackend();
    QString why;
    std::unique_ptr<HidClaim> first = backend->claim(CablePath, why);
    QVERIFY2(first, qPrintable(why));
    // A second claim, in any spelling of the path, is told who holds it:
    // here, this very test program.
    const QString self = QStringLiteral("%1 (process %2) holds it")
                             .arg(QCoreApplication::applicationName())
                             .arg(QCoreApplication::applicationPid());
    QVERIFY(!backend->claim(CablePath, why));
    QCOMPARE(why, self);
    QVERIFY(!createHidBackend()->claim(CablePath.toUpper(), why));
    QCOMPARE(why, self);
    // Another cable is free; let go, this one is free again.
    QVERIFY(backend->claim(CablePath + QStringLiteral("B"), why));
    first.reset();
    QVERIFY2(backend->claim(CablePath, why), qPrintable(why));
}

void TestHidBackendWin::systemListsAndOpens()
{
    const std::unique_ptr<HidBackend> backend = createHidBackend();
    QVERIFY(backend->isAvailable());
    const std::vector<HidInterfaceInfo> listed = backend->listInterfaces();
    for (const HidInterfaceInfo &info : listed) {
        QVERIFY(info.path.startsWith(QLatin1String("\\\\")));
        QVERIFY(info.instanceKey.startsWith(info.path.toUpper()));
    }
    // The same listing again, the same keys.
    const std::vector<HidInterfaceInfo> again = backend->listInterfaces();
    QCOMPARE(again.size(), listed.size());
    for (std::size_t i = 0; i < listed.size(); ++i)
        QCOMPARE(again[i].instanceKey, listed[i].instanceKey);

    // A path that is not there fails with the system's code, for each access.
    for (HidAccess access : {HidAccess::ReadWrite, HidAccess::QueryOnly, HidAccess::Read}) {
        std::uint32_t error = 0;
        QVERIFY(!backend->open(CablePath, access, error));
        QVERIFY2(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND, qPrintable(QString::number(error)));
    }

    // Notices are asked for and let go on the main thread, twice over.
    int notices = 0;
    backend->watchDeviceChanges([&notices](int) { ++notices; });
    backend->watchDeviceChanges([&notices](int) { ++notices; });
    QCoreApplication::processEvents();
    backend->watchDeviceChanges(nullptr);
    QCOMPARE(notices, 0);

    QString detail;
    QCOMPARE(backend->resetUsbDevice(CablePath, detail), HidBackend::ResetResult::NotPermitted);
    QVERIFY(!detail.isEmpty());
    QCOMPARE(hidDeviceGoneError(), std::uint32_t(ERROR_DEVICE_NOT_CONNECTED));
}

QTEST_GUILESS_MAIN(TestHidBackendWin)
#include "tst_hidbackend_win.moc"
