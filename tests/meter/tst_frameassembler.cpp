#include "meter/frameassembler.h"
#include "meter/historylist.h"
#include "meterframes.h"

#include <QtTest>


namespace {

const QByteArray Dc1234 = meterFrame('+', "1234", '1', {MeterBits::Auto | MeterBits::Dc, 0, 0, MeterBits::Volt});
const QByteArray Neg0400 = meterFrame('-', "0400", '2', {MeterBits::Dc, 0, MeterBits::Milli, MeterBits::Volt});

QString hexOf(const QByteArray &frame) { return QString::fromLatin1(frame.left(13).toHex().toUpper()); }

// The hex text of every frame the bytes complete.
QStringList feedSerial(FrameAssembler &a, const QByteArray &bytes)
{
    QStringList frames;
    QByteArrayView rest(bytes);
    while (const std::optional<MeterFrame> frame = a.takeSerialFrame(rest))
        frames.append(frame->toHex());
    // Nothing is left over: the bytes after the last frame are buffered.
    if (!rest.isEmpty())
        frames.append(QStringLiteral("(unconsumed)"));
    return frames;
}

// A report: its first byte is the report ID, the rest the data bytes. The hex
// text of the frame it completes, if any, goes into `frames`.
FrameAssembler::ReportResult feedReport(FrameAssembler &a, const QByteArray &report, QStringList *frames = nullptr)
{
    const FrameAssembler::ReportResult result = a.addReport(QByteArrayView(report).sliced(1));
    if (result.frame && frames)
        frames->append(result.frame->toHex());
    return result;
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
    FrameAssembler a;
    QStringList frames = feedSerial(a, stream.left(split));
    frames += feedSerial(a, stream.mid(split));
    QCOMPARE(frames, QStringList({hexOf(Dc1234), hexOf(Neg0400)}));
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
    FrameAssembler a;
    QCOMPARE(feedSerial(a, bytes), decoded);
}

void TestFrameAssembler::serialStreamWithGarbage()
{
    // A long run without CR must neither grow without bound nor leave
    // anything behind that spoils the next frame.
    FrameAssembler a;
    QCOMPARE(feedSerial(a, QByteArray(1 << 20, '+')), QStringList());
    QCOMPARE(feedSerial(a, "\r" + serialStream({Dc1234})), QStringList{hexOf(Dc1234)});
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
    FrameAssembler a;
    QStringList frames;
    for (const QByteArray &r : reports)
        feedReport(a, r, &frames);
    QCOMPARE(frames, decoded);
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
    FrameAssembler a;
    QStringList frames;
    QVERIFY(feedReport(a, hidBurst(Dc1234.left(7), 7).first(), &frames).carriedPayload);
    // The report under test carries the other seven bytes of the frame; a
    // count that takes at least six of them (up to the CR) completes it.
    QByteArray r(1, '\0');
    r.append(char(countByte));
    r += Dc1234.mid(7);
    QCOMPARE(feedReport(a, r, &frames).carriedPayload, carriesData);
    // A count that carries nothing has ended the burst already.
    feedReport(a, EmptyReport, &frames);
    const bool complete = carriesData && (countByte & 0x0F) >= 6;
    QCOMPARE(frames.size(), complete ? 1 : 0);
}

void TestFrameAssembler::hidReportLinesAndEmptyCount()
{
    FrameAssembler a;
    const QByteArray data("\x02\x2B\x31\xAB", 4);
    QVERIFY(a.addReport(data).carriedPayload);
    QCOMPARE(FrameAssembler::reportLine(0x00, data), QStringLiteral("R 00  02 2B 31 AB "));

    // Count 9 in a report of 5 data bytes takes the 4 that are present.
    const QByteArray nine("\x09\x30\x31\x32\x33", 5);
    QVERIFY(a.addReport(nine).carriedPayload);
    QCOMPARE(FrameAssembler::reportLine(0x01, nine), QStringLiteral("R 01  09 30 31 32 33 "));

    QCOMPARE(a.emptyReportCount(), 0);
    const QByteArray empty(2, '\0');
    QVERIFY(!a.addReport(empty).carriedPayload);
    a.addReport(empty);
    a.addReport(QByteArrayView());   // no data byte at all is not counted
    QCOMPARE(a.emptyReportCount(), 2);
    a.addReport(data);
    QCOMPARE(a.emptyReportCount(), 0);
    a.addReport(empty);
    a.resetEmptyReportCount();
    QCOMPARE(a.emptyReportCount(), 0);
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
