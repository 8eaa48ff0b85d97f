// The HID backend on Windows: the instance keys that tell a re-plugged cable
// from one that stayed, the claim that keeps a cable to one copy of the
// program, what the system's error codes mean, the feature report's buffer,
// the overlapped read of input reports, and the system's own listing and
// opening under whatever HID devices this system has (Wine on a build machine
// shows none). The overlapped read runs on a message-mode pipe, which hands
// over whole messages as the HID class driver hands over whole reports.

#include "transport/hidbackend.h"
#include "transport/hidhandle_win.h"
#include "transport/hidinstancekeys_win.h"
#include "transport/systemerror_win.h"

#include <QCoreApplication>
#include <QTest>

#include <windows.h>

#include <array>

namespace {

const QString CablePath = QStringLiteral("\\\\?\\hid#vid_1a86&pid_e008#7&1c2d3e4f&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}");

// The cable's input report: the report ID, then a length byte and up to
// seven bytes of the meter's line.
constexpr int ReportLength = 9;

// A pipe whose reading end is opened as the backend opens an interface for
// its read thread: overlapped, and reading whole messages.
class ReportPipe
{
public:
    ReportPipe()
    {
        static int count = 0;
        const std::wstring name = QStringLiteral("\\\\.\\pipe\\qm320-test-%1-%2")
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(++count)
                                      .toStdWString();
        m_writer = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_OUTBOUND | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                    PIPE_TYPE_MESSAGE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
        m_reader = CreateFileW(name.c_str(), GENERIC_READ | FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                               FILE_FLAG_OVERLAPPED, nullptr);
        DWORD mode = PIPE_READMODE_MESSAGE;
        if (m_reader != INVALID_HANDLE_VALUE)
            SetNamedPipeHandleState(m_reader, &mode, nullptr, nullptr);
    }
    ~ReportPipe()
    {
        closeWriter();
        if (m_reader != INVALID_HANDLE_VALUE)
            CloseHandle(m_reader);
    }
    bool isOpen() const { return m_writer != INVALID_HANDLE_VALUE && m_reader != INVALID_HANDLE_VALUE; }
    HANDLE reader() const { return m_reader; }

    bool send(const QByteArray &report)
    {
        DWORD written = 0;
        return WriteFile(m_writer, report.constData(), DWORD(report.size()), &written, nullptr)
               && written == DWORD(report.size());
    }
    // As a cable that is pulled: the other end is gone.
    void closeWriter()
    {
        if (m_writer != INVALID_HANDLE_VALUE)
            CloseHandle(m_writer);
        m_writer = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_writer = INVALID_HANDLE_VALUE;
    HANDLE m_reader = INVALID_HANDLE_VALUE;
};

QByteArray report(char first)
{
    QByteArray bytes(ReportLength, '\0');
    for (int i = 1; i < ReportLength; ++i)
        bytes[i] = char(first + i);
    return bytes;
}

// What a read handed over.
QByteArray readBytes(HidOverlappedReader &reader, int capacity, int timeoutMs, HidRead &result)
{
    std::array<std::uint8_t, 64> buffer{};
    result = reader.read(buffer.data(), capacity, timeoutMs);
    return result.status == HidRead::Status::Data
               ? QByteArray(reinterpret_cast<const char *>(buffer.data()), result.size)
               : QByteArray();
}

} // namespace

Q_DECLARE_METATYPE(HidError)

class TestHidBackendWin : public QObject
{
    Q_OBJECT

private slots:
    void instanceKeys_data();
    void instanceKeys();
    void claimKeepsOthersAway();
    void failures_data();
    void failures();
    void featureReportBuffer_data();
    void featureReportBuffer();
    void readKeepsItsRequestAcrossTimeouts();
    void readEndsWhenTheDeviceGoes();
    void cancelledReadTakesNothing();
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
    HidFailure why;
    std::unique_ptr<HidClaim> first = backend->claim(CablePath, why);
    QVERIFY2(first, qPrintable(why.reason));
    // A second claim, in any spelling of the path, is told who holds it:
    // here, this very test program.
    const QString self = QStringLiteral("%1 (process %2) holds it")
                             .arg(QCoreApplication::applicationName())
                             .arg(QCoreApplication::applicationPid());
    QVERIFY(!backend->claim(CablePath, why));
    QCOMPARE(why.error, HidError::InUse);
    QCOMPARE(why.reason, self);
    QVERIFY(!createHidBackend()->claim(CablePath.toUpper(), why));
    QCOMPARE(why.reason, self);
    // Another cable is free; let go, this one is free again.
    QVERIFY(backend->claim(CablePath + QStringLiteral("B"), why));
    first.reset();
    QVERIFY2(backend->claim(CablePath, why), qPrintable(why.reason));
}

void TestHidBackendWin::failures_data()
{
    QTest::addColumn<uint>("code");
    QTest::addColumn<HidError>("kind");
    QTest::addColumn<QString>("notTheWords");   // what the code would say as an errno value

    QTest::newRow("no such interface") << uint(ERROR_FILE_NOT_FOUND) << HidError::NoSuchDevice << "";
    QTest::newRow("a path that leads nowhere") << uint(ERROR_PATH_NOT_FOUND) << HidError::NoSuchDevice << "";
    QTest::newRow("the cable pulled during a read") << uint(ERROR_DEVICE_NOT_CONNECTED) << HidError::NoSuchDevice
                                                    << "";
    QTest::newRow("a device removed from the system") << uint(ERROR_DEV_NOT_EXIST) << HidError::NoSuchDevice << "";
    QTest::newRow("a keyboard the system keeps to itself") << uint(ERROR_ACCESS_DENIED) << HidError::PermissionDenied
                                                           << "";
    QTest::newRow("opened elsewhere without sharing") << uint(ERROR_SHARING_VIOLATION) << HidError::InUse << "";
    QTest::newRow("a request the driver does not know") << uint(ERROR_INVALID_FUNCTION) << HidError::Unsupported
                                                        << "";
    QTest::newRow("a device that stopped working") << uint(ERROR_GEN_FAILURE) << HidError::Io << "";
    // 13 is EACCES, 28 ENOSPC: the words are the system's for the code.
    QTest::newRow("invalid data") << uint(ERROR_INVALID_DATA) << HidError::Io << "Permission denied";
    QTest::newRow("out of paper") << uint(ERROR_OUT_OF_PAPER) << HidError::Io << "No space left on device";
}

void TestHidBackendWin::failures()
{
    QFETCH(uint, code);
    QFETCH(HidError, kind);
    QFETCH(QString, notTheWords);
    const HidFailure failure = hidFailureFor(code);
    QCOMPARE(failure.error, kind);
    QCOMPARE(failure.reason, windowsErrorText(code));
    QVERIFY2(!failure.reason.isEmpty() && !failure.reason.endsWith(u'.'), qPrintable(failure.reason));
    QVERIFY2(notTheWords.isEmpty() || failure.reason != notTheWords, qPrintable(failure.reason));
}

void TestHidBackendWin::featureReportBuffer_data()
{
    QTest::addColumn<int>("featureLength");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray setup("\x00\x60\x09\x00\x00\x03\x00\x00\x00\x00", 10);
    QTest::newRow("the driver does not say: as it is") << 0 << setup;
    QTest::newRow("as long as the driver's") << 10 << setup;
    QTest::newRow("shorter than the driver's: zeros after it") << 33 << setup + QByteArray(23, '\0');
    QTest::newRow("longer than the driver's: the driver cuts it") << 5 << setup;
}

void TestHidBackendWin::featureReportBuffer()
{
    QFETCH(int, featureLength);
    QFETCH(QByteArray, expected);
    const QByteArray setup("\x00\x60\x09\x00\x00\x03\x00\x00\x00\x00", 10);
    QCOMPARE(::featureReportBuffer(setup, featureLength), expected);
}

void TestHidBackendWin::readKeepsItsRequestAcrossTimeouts()
{
    ReportPipe pipe;
    QVERIFY(pipe.isOpen());
    HidOverlappedReader reader(pipe.reader(), ReportLength);
    HidRead result;

    // Nothing yet: the wait times out, and the request stays.
    QVERIFY(readBytes(reader, ReportLength, 0, result).isEmpty());
    QCOMPARE(result.status, HidRead::Status::Timeout);
    QVERIFY(readBytes(reader, ReportLength, 20, result).isEmpty());
    QCOMPARE(result.status, HidRead::Status::Timeout);

    // The report that completes it is the next call's, whole.
    QVERIFY(pipe.send(report('a')));
    QCOMPARE(readBytes(reader, ReportLength, 5000, result), report('a'));
    QCOMPARE(result.status, HidRead::Status::Data);

    // Reports that wait come one by one, in order.
    QVERIFY(pipe.send(report('b')));
    QVERIFY(pipe.send(report('c')));
    QCOMPARE(readBytes(reader, ReportLength, 5000, result), report('b'));
    QCOMPARE(readBytes(reader, ReportLength, 5000, result), report('c'));

    // A caller's buffer shorter than the report takes its beginning.
    QVERIFY(pipe.send(report('d')));
    QCOMPARE(readBytes(reader, 4, 5000, result), report('d').left(4));
    QCOMPARE(result.size, 4);
}

void TestHidBackendWin::readEndsWhenTheDeviceGoes()
{
    // Gone while a request waits, and gone before one starts: both fail,
    // with the system's words, rather than time out for ever.
    for (const bool waiting : {true, false}) {
        ReportPipe pipe;
        QVERIFY(pipe.isOpen());
        HidOverlappedReader reader(pipe.reader(), ReportLength);
        HidRead result;
        if (waiting) {
            readBytes(reader, ReportLength, 0, result);
            QCOMPARE(result.status, HidRead::Status::Timeout);
        }
        pipe.closeWriter();
        readBytes(reader, ReportLength, 5000, result);
        QCOMPARE(result.status, HidRead::Status::Failed);
        QVERIFY(!result.failure.reason.isEmpty());
    }
}

void TestHidBackendWin::cancelledReadTakesNothing()
{
    // A reader destroyed with its request pending (the link stopped) lets go
    // of it: the report that comes next is whole for the next reader.
    ReportPipe pipe;
    QVERIFY(pipe.isOpen());
    HidRead result;
    {
        HidOverlappedReader first(pipe.reader(), ReportLength);
        readBytes(first, ReportLength, 0, result);
        QCOMPARE(result.status, HidRead::Status::Timeout);
    }
    QVERIFY(pipe.send(report('e')));
    HidOverlappedReader second(pipe.reader(), ReportLength);
    QCOMPARE(readBytes(second, ReportLength, 5000, result), report('e'));
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

    // A path that is not there is no such device, in the system's words,
    // for each access.
    for (HidAccess access : {HidAccess::ReadWrite, HidAccess::QueryOnly, HidAccess::Read}) {
        HidFailure why;
        QVERIFY(!backend->open(CablePath, access, why));
        QCOMPARE(why.error, HidError::NoSuchDevice);
        QVERIFY(!why.reason.isEmpty());
    }

    // Notices are asked for and let go on the main thread, twice over.
    int notices = 0;
    backend->watchDeviceChanges([&notices] { ++notices; });
    backend->watchDeviceChanges([&notices] { ++notices; });
    QCoreApplication::processEvents();
    backend->watchDeviceChanges({});
    QCOMPARE(notices, 0);

    HidFailure why;
    QVERIFY(!backend->resetUsbDevice(CablePath, why));
    QCOMPARE(why.error, HidError::PermissionDenied);
    QVERIFY(why.reason.startsWith(CablePath));
}

QTEST_GUILESS_MAIN(TestHidBackendWin)
#include "tst_hidbackend_win.moc"
