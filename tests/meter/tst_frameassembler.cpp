#include "meter/frameassembler.h"
#include "meter/historylist.h"
#include "meterframes.h"

#include <QtTest>


namespace {


class RecordingHost : public AssemblyHost
{
public:
    void decodeFrame(const FrameText &frame) override { frames.append(frame.toHex()); }
    void addReportLine(const QString &line) override { lines.append(line); }
    void showNibbleTrace(const QString &text) override { traces.append(text); }

    QStringList frames;
    QStringList lines;
    QStringList traces;
};

const QByteArray Dc1234 = meterFrame('+', "1234", '1', {MeterBits::Auto | MeterBits::Dc, 0, 0, MeterBits::Volt});
const QByteArray Neg0400 = meterFrame('-', "0400", '2', {MeterBits::Dc, 0, MeterBits::Milli, MeterBits::Volt});

QString hexOf(const QByteArray &frame) { return QString::fromLatin1(frame.left(13).toHex().toUpper()); }

void feedSerial(FrameAssembler &a, const QByteArray &bytes)
{
    a.RECEIVE_COM_Data(reinterpret_cast<const std::uint8_t *>(bytes.constData()), int(bytes.size()));
}

const std::uint8_t *bytesOf(const QByteArray &b) { return reinterpret_cast<const std::uint8_t *>(b.constData()); }

// A report: its first byte is the report ID, the rest the data bytes.
void feedReport(FrameAssembler &a, const QByteArray &report)
{
    a.HidReportQM330(std::uint8_t(report.at(0)), bytesOf(report) + 1, int(report.size()) - 1);
}

// The cable's way of carrying a frame: reports of a count byte and up to
// `chunk` payload bytes, then one report without payload.
const QByteArray EmptyReport(10, '\0');

QList<QByteArray> hidBurst(const QByteArray &frame, int chunk)
{
    QList<QByteArray> reports;
    for (int at = 0; at < frame.size(); at += chunk) {
        const int n = int(std::min<qsizetype>(chunk, frame.size() - at));
        QByteArray r(2, '\0');
        r[1] = char(n);
        r += frame.mid(at, n);
        r.resize(10, '\0');   // the cable's reports: a count byte and 8 more
        reports.append(r);
    }
    reports.append(EmptyReport);
    return reports;
}

} // namespace

class TestFrameAssembler : public QObject
{
    Q_OBJECT
private slots:
    void serialSplitAtEveryByte_data();
    void serialSplitAtEveryByte();
    void serialBuffers_data();
    void serialBuffers();
    void serialStreamWithGarbage();

    void hidBursts_data();
    void hidBursts();
    void hidCountByte_data();
    void hidCountByte();
    void hidReportLinesAndEmptyCount();
    void nibbleTraces();
    void historyKeepsNewestLines();
};

void TestFrameAssembler::serialSplitAtEveryByte_data()
{
    QTest::addColumn<int>("split");
    const QByteArray stream = serialStream({Dc1234, Neg0400});
    for (int split = 0; split <= stream.size(); ++split)
        QTest::addRow("split after byte %d", split) << split;
}

void TestFrameAssembler::serialSplitAtEveryByte()
{
    QFETCH(int, split);
    const QByteArray stream = serialStream({Dc1234, Neg0400});
    RecordingHost host;
    FrameAssembler a(host);
    feedSerial(a, stream.left(split));
    feedSerial(a, stream.mid(split));
    QCOMPARE(host.frames, QStringList({hexOf(Dc1234), hexOf(Neg0400)}));
}

void TestFrameAssembler::serialBuffers_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("decoded");

    const QByteArray shortFrame = Dc1234.left(11) + "\r\n";   // CR right after status byte 4
    QTest::newRow("LF then frame") << serialStream({Dc1234}) << QStringList{hexOf(Dc1234)};
    QTest::newRow("any other leading byte") << ("\xAA" + Dc1234) << QStringList{hexOf(Dc1234)};
    QTest::newRow("no leading byte: the sign is dropped") << Dc1234 << QStringList{};
    QTest::newRow("short frame on COM") << ("\n" + shortFrame)
                                       << QStringList{QString::fromLatin1(shortFrame.left(12).toHex().toUpper())};
    QTest::newRow("two leading bytes") << ("\n\n" + Dc1234) << QStringList{};
    QTest::newRow("wrong sign byte") << ("\n" + QByteArray(Dc1234).replace(0, 1, "*")) << QStringList{};

    // A status byte of 0x0D ends the buffer early: both pieces fail.
    const QByteArray crInside = meterFrame('+', "1234", '1', {0x0D, 0, 0, MeterBits::Volt});
    QTest::newRow("CR inside a frame") << serialStream({crInside}) << QStringList{};
    QTest::newRow("CR inside, then a good frame")
        << serialStream({crInside, Dc1234}) << QStringList{hexOf(Dc1234)};
    QTest::newRow("port opened mid-frame") << (Dc1234.mid(5) + Neg0400) << QStringList{hexOf(Neg0400)};
}

void TestFrameAssembler::serialBuffers()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, decoded);
    RecordingHost host;
    FrameAssembler a(host);
    feedSerial(a, bytes);
    QCOMPARE(host.frames, decoded);
}

void TestFrameAssembler::serialStreamWithGarbage()
{
    // A long run without CR must neither grow without bound nor leave
    // anything behind that spoils the next frame.
    RecordingHost host;
    FrameAssembler a(host);
    feedSerial(a, QByteArray(1 << 20, '+'));
    feedSerial(a, "\r" + serialStream({Dc1234}));
    QCOMPARE(host.frames, QStringList{hexOf(Dc1234)});
}

void TestFrameAssembler::hidBursts_data()
{
    QTest::addColumn<QList<QByteArray>>("reports");
    QTest::addColumn<QStringList>("decoded");

    const QString dc = QString::fromLatin1(Dc1234.toHex().toUpper());
    for (int chunk = 1; chunk <= 8; ++chunk)
        QTest::addRow("%d payload bytes per report", chunk) << hidBurst(Dc1234, chunk) << QStringList{dc};

    QList<QByteArray> twoEmpty = hidBurst(Dc1234, 2);
    twoEmpty.append(EmptyReport);
    QTest::newRow("second empty report decodes nothing") << twoEmpty << QStringList{dc};

    QList<QByteArray> two = hidBurst(Dc1234, 8);
    two += hidBurst(Neg0400, 8);
    QTest::newRow("two frames") << two
                                << QStringList{dc, QString::fromLatin1(Neg0400.toHex().toUpper())};

    // A burst of two frames is one frame text; the decoder reads its first.
    QTest::newRow("two frames in one burst")
        << hidBurst(Dc1234 + Neg0400, 8) << QStringList{QString::fromLatin1((Dc1234 + Neg0400).toHex().toUpper())};

    const QByteArray shortFrame = Dc1234.left(11) + "\r\n";
    QTest::newRow("short frame over USB") << hidBurst(shortFrame, 8) << QStringList{};

    // Without the empty report the burst never ends.
    QList<QByteArray> open = hidBurst(Dc1234, 8);
    open.removeLast();
    QTest::newRow("no burst end") << open << QStringList{};
}

void TestFrameAssembler::hidBursts()
{
    QFETCH(QList<QByteArray>, reports);
    QFETCH(QStringList, decoded);
    RecordingHost host;
    FrameAssembler a(host);
    for (const QByteArray &r : reports)
        feedReport(a, r);
    QCOMPARE(host.frames, decoded);
}

void TestFrameAssembler::hidCountByte_data()
{
    // The low nibble of data byte 1 counts the payload: 1..9 carry data,
    // 0 and A..F end the burst like an empty report.
    QTest::addColumn<int>("countByte");
    QTest::addColumn<bool>("carriesData");
    for (int n = 0; n <= 0xF; ++n)
        QTest::addRow("count %X", n) << (0xF0 | n) << (n >= 1 && n <= 9);
}

void TestFrameAssembler::hidCountByte()
{
    QFETCH(int, countByte);
    QFETCH(bool, carriesData);
    RecordingHost host;
    FrameAssembler a(host);
    feedReport(a, hidBurst(Dc1234.left(7), 7).first());
    QVERIFY(a.HidBurstOpen);
    // The report under test carries the other seven bytes of the frame; a
    // count that takes at least six of them (up to the CR) completes it.
    QByteArray r(1, '\0');
    r.append(char(countByte));
    r += Dc1234.mid(7);
    feedReport(a, r);
    QCOMPARE(a.HidBurstOpen, carriesData);
    feedReport(a, EmptyReport);
    const bool complete = carriesData && (countByte & 0x0F) >= 6;
    QCOMPARE(host.frames.size(), complete ? 1 : 0);
}

void TestFrameAssembler::hidReportLinesAndEmptyCount()
{
    RecordingHost host;
    FrameAssembler a(host);
    const std::uint8_t data[] = {0x02, 0x2B, 0x31, 0xAB};
    a.HidReportQM330(0x00, data, 4);
    QCOMPARE(host.lines, QStringList{QStringLiteral("R 00  02 2B 31 AB ")});

    // Count 9 in a report of 5 data bytes takes the 4 that are present.
    const std::uint8_t nine[] = {0x09, 0x30, 0x31, 0x32, 0x33};
    a.HidReportQM330(0x01, nine, 5);
    QCOMPARE(host.lines.last(), QStringLiteral("R 01  09 30 31 32 33 "));

    QCOMPARE(a.EmptyReportCount, 0);
    const std::uint8_t empty[] = {0x00, 0x00};
    a.HidReportQM330(0, empty, 2);
    a.HidReportQM330(0, empty, 2);
    a.HidReportQM330(0, nullptr, 0);   // no data byte at all is not counted
    QCOMPARE(a.EmptyReportCount, 2);
    QCOMPARE(host.lines.size(), 2);     // only data-carrying reports are listed
    a.HidReportQM330(0, data, 4);
    QCOMPARE(a.EmptyReportCount, 0);
}

void TestFrameAssembler::nibbleTraces()
{
    RecordingHost host;
    FrameAssembler a(host);
    for (const QByteArray &r : hidBurst(Dc1234, 8))
        a.HidReportQM610(0, bytesOf(r) + 1, int(r.size()) - 1);
    for (const QByteArray &r : hidBurst(Dc1234, 8))
        a.HidReportQM520(0, bytesOf(r) + 1, int(r.size()) - 1);
    QVERIFY(host.frames.isEmpty());
    // Low nibbles of "+1234 1" 30 00 00 80 00 0D 0A; the 11-digit trace
    // moves its eleventh digit to the front.
    QCOMPARE(host.traces, QStringList({QStringLiteral("B12340100000DA"), QStringLiteral("0B123401000")}));
}

void TestFrameAssembler::historyKeepsNewestLines()
{
    HistoryList history;
    for (int i = 1; i <= HistoryList::MaxLines + 5; ++i)
        history.addLine(QString::number(i));
    QCOMPARE(history.rowCount(), HistoryList::MaxLines);
    QCOMPARE(history.line(0), QStringLiteral("6"));
    QCOMPARE(history.line(history.rowCount() - 1), QString::number(HistoryList::MaxLines + 5));
    QCOMPARE(history.selectedRow(), history.rowCount() - 1);
}

QTEST_GUILESS_MAIN(TestFrameAssembler)
#include "tst_frameassembler.moc"
