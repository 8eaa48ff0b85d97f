#include "log/logtable.h"
#include "log/logtextreader.h"
#include "log/logxmlwriter.h"
#include "log/tablefiles.h"
#include "logfixtures.h"

#include <QBuffer>
#include <QDir>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QByteArray Header = "No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n";

TableFileResult readText(const QByteArray &content, LogTable &table, qint64 chunkSize = 1 << 20)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    LogTextReader reader(table);
    reader.setChunkSize(chunkSize);
    return reader.read(buffer);
}

QByteArray xmlOf(const LogTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    LogXmlWriter(table).write(buffer);
    return buffer.data();
}

LogRow row(std::optional<qint32> no, std::optional<QString> time = {}, std::optional<QString> dcAc = {},
           std::optional<QString> value = {}, std::optional<QString> unit = {}, std::optional<QString> judge = {},
           std::optional<qint32> nval = {})
{
    return LogRow{no, time, dcAc, value, unit, judge, nval};
}

} // namespace

class TestLogTextFile : public QObject
{
    Q_OBJECT

private slots:
    void formatFollowsTheExtension_data();
    void formatFollowsTheExtension();
    void writesTheTextForm();
    void emptyTableWritesTheHeaderAlone();
    void readerSplitsCells_data();
    void readerSplitsCells();
    void lineEnds_data();
    void lineEnds();
    void failedOpenLeavesTheTable_data();
    void failedOpenLeavesTheTable();
    void endlessLineIsRefusedEarly();
    void utf16IsReadAsText_data();
    void utf16IsReadAsText();
    void roundTrip_data();
    void roundTrip();
    void saveWalksTheRowsPresentAtItsStart();
    void failedSaveLeavesOldFile_data();
    void failedSaveLeavesOldFile();
    void saveIntoAPipeKeepsThePipe_data();
    void saveIntoAPipeKeepsThePipe();
    void saveFailuresGiveTheSystemsReason_data();
    void saveFailuresGiveTheSystemsReason();

private:
    QTemporaryDir m_dir;
};

void TestLogTextFile::formatFollowsTheExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("xml");
    QTest::newRow(".xml") << "/tmp/log.xml" << true;
    QTest::newRow(".XML is text") << "/tmp/log.XML" << false;
    QTest::newRow(".xls") << "/tmp/log.xls" << false;
    QTest::newRow(".txt") << "log.txt" << false;
    QTest::newRow("no extension") << "/tmp/log" << false;
    QTest::newRow("dot only in the folder") << "/tmp/a.xml/log" << false;
    QTest::newRow("last dot decides") << "log.xml.txt" << false;
    QTest::newRow(".xml after .txt") << "log.txt.xml" << true;
}

void TestLogTextFile::formatFollowsTheExtension()
{
    QFETCH(QString, name);
    QFETCH(bool, xml);
    QCOMPARE(tableFileFormat(name) == TableFileFormat::Xml, xml);
}

void TestLogTextFile::writesTheTextForm()
{
    LogTable table;
    fillTable(table, {
        loggedRow(1, "10:15:03", "DC", "01.23", "V", "pass"),
        // A sampling-mode time and blanks around a value; NVal is not written.
        row(2, "10:15:03 PM", "", "  -1.5 ", "k*", "Fail", 9),
        // No without a value keeps its column as ""; the text "NULL" is
        // quoted, apart from the placeholder.
        row(std::nullopt, std::nullopt, "say \"hi\"", "a\"b", "\u03a9", "NULL"),
        // Line breaks cannot stand in a line; a NUL would end the text.
        row(4, "x\r\ny", QString::fromUtf8("a\0b", 3), "\t", "\x01", "p\tq"),
    });
    const QString path = m_dir.filePath("form.xls");
    QVERIFY(saveTableText(table, path));
    QCOMPARE(fileBytes(path), Header
                 + "1\t10:15:03\tDC\t01.23\tV\tpass\r\n"
                   "2\t\"10:15:03 PM\"\tNULL\t-1.5\tk*\tFail\r\n"
                   "\"\"\tNULL\t\"say \"\"hi\"\"\"\t\"a\"\"b\"\t\xce\xa9\t\"NULL\"\r\n"
                   "4\t\"x  y\"\tab\tNULL\tNULL\t\"p\tq\"\r\n");
}

void TestLogTextFile::emptyTableWritesTheHeaderAlone()
{
    LogTable table;
    const QString path = m_dir.filePath("empty.txt");
    QVERIFY(saveTableText(table, path));
    QCOMPARE(fileBytes(path), Header);
    const TableFileResult result = loadTableFile(path, table);
    QVERIFY2(result, qPrintable(result.reason));
    QCOMPARE(table.rowCount(), 0);
}

void TestLogTextFile::readerSplitsCells_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<LogRow>("stored");
    const LogRow logged = loggedRow(1, "10:00:00", "DC", "1.000", "V", "pass");
    QTest::newRow("tabs") << QByteArray("1\t10:00:00\tDC\t1.000\tV\tpass") << logged;
    QTest::newRow("blanks instead of tabs") << QByteArray("1 10:00:00 DC 1.000 V pass") << logged;
    QTest::newRow("runs of separators count once")
        << QByteArray("  \t 1\t\t10:00:00 \x01 DC\v1.000  V\x1fpass  ") << logged;
    QTest::newRow("a seventh cell fills NVal") << QByteArray("1 t DC 1 V pass -42") << row(1, "t", "DC", "1", "V", "pass", -42);
    QTest::newRow("missing cells leave no value") << QByteArray("5 t") << row(5, "t");
    QTest::newRow("quoted cells hold blanks and tabs")
        << QByteArray("1 \"10:15:03 PM\" \"a\tb\" x") << row(1, "10:15:03 PM", "a\tb", "x");
    QTest::newRow("doubled quotes") << QByteArray("1 \"say \"\"hi\"\"\" x") << row(1, "say \"hi\"", "x");
    QTest::newRow("an unclosed quote runs to the line end") << QByteArray("1 \"abc def") << row(1, "abc def");
    QTest::newRow("a closing quote ends the cell") << QByteArray("1 \"ab\"cd") << row(1, "ab", "cd");
    QTest::newRow("a quote inside a cell stays") << QByteArray("1 a\"b\" c") << row(1, "a\"b\"", "c");
    QTest::newRow("NULL is an empty cell") << QByteArray("1 NULL NULL x") << row(1, "", "", "x");
    QTest::newRow("NULL in No and NVal leaves no value")
        << QByteArray("NULL t DC 1 V pass NULL") << row(std::nullopt, "t", "DC", "1", "V", "pass", std::nullopt);
    QTest::newRow("a quoted NULL is the text") << QByteArray("1 \"NULL\" nULL NULLx") << row(1, "NULL", "nULL", "NULLx");
    QTest::newRow("\"\" leaves No without value") << QByteArray("\"\" t") << row(std::nullopt, "t");
    QTest::newRow("texts keep 20 characters") << QByteArray("1 123456789012345678901234") << row(1, "12345678901234567890");
    QTest::newRow("locale encoding") << QByteArray("1 \xce\xa9 k\xce\xa9") << row(1, "\u03a9", "k\u03a9");
    QTest::newRow("plus sign") << QByteArray("+7 t") << row(7, "t");
}

void TestLogTextFile::readerSplitsCells()
{
    QFETCH(QByteArray, line);
    QFETCH(LogRow, stored);
    LogTable table;
    const TableFileResult result = readText(Header + line + "\r\n", table);
    QVERIFY2(result, qPrintable(result.reason));
    QCOMPARE(rowsOf(table), LogRows{stored});
    QVERIFY(table.pendingInsert(0));
}

void TestLogTextFile::lineEnds_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("times");
    QTest::newRow("CR LF") << QByteArray("h\r\n1 a\r\n2 b\r\n") << QStringList{"a", "b"};
    QTest::newRow("LF") << QByteArray("h\n1 a\n2 b\n") << QStringList{"a", "b"};
    QTest::newRow("CR") << QByteArray("h\r1 a\r2 b\r") << QStringList{"a", "b"};
    QTest::newRow("mixed, LF CR is two ends") << QByteArray("h\n\r1 a\r\r\n2 b") << QStringList{"a", "b"};
    QTest::newRow("no end after the last line") << QByteArray("h\r\n1 a\r\n2 b") << QStringList{"a", "b"};
    QTest::newRow("empty first line, data from line 2") << QByteArray("\r\n1 a\r\n") << QStringList{"a"};
    QTest::newRow("the header is never examined") << QByteArray("1 z\r\n2 b\r\n") << QStringList{"b"};
    QTest::newRow("blank lines are skipped") << QByteArray("h\r\n\r\n \t \r\n1 a\r\n\r\n") << QStringList{"a"};
    QTest::newRow("header alone, no line end") << QByteArray("No Time") << QStringList{};
}

void TestLogTextFile::lineEnds()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, times);
    // Line ends that fall between two reads must not count twice.
    for (qint64 chunk : {1, 2, 3, 5, 1 << 20}) {
        LogTable table;
        const TableFileResult result = readText(content, table, chunk);
        QVERIFY2(result, qPrintable(result.reason));
        QStringList read;
        for (int r = 0; r < table.rowCount(); ++r)
            read << table.text(r, int(LogField::Time)).toString();
        QCOMPARE(read, times);
    }
}

namespace {

QByteArray lines(int count)
{
    QByteArray text = Header;
    for (int i = 1; i <= count; ++i)
        text += QByteArray::number(i) + "\t10:00:00\tDC\t1.000\tV\tpass\r\n";
    return text;
}

QByteArray utf16(const QString &text, bool littleEndian)
{
    QByteArray bytes = littleEndian ? QByteArray("\xFF\xFE") : QByteArray("\xFE\xFF");
    for (QChar c : text) {
        const char low = char(c.unicode() & 0xFF), high = char(c.unicode() >> 8);
        bytes += littleEndian ? low : high;
        bytes += littleEndian ? high : low;
    }
    return bytes;
}

QByteArray randomBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator generator(320);
    for (char &b : bytes)
        b = char(generator.bounded(256));
    return bytes;
}

} // namespace

void TestLogTextFile::failedOpenLeavesTheTable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");
    QTest::newRow("eight cells") << QByteArray("h\r\n1 a\r\n2 a b c d e f g\r\n3 z\r\n") << "line 3: cell 8 of 7";
    QTest::newRow("No not a number") << QByteArray("h\r\n1 a\r\n2 b\r\nx a\r\n") << "line 4: cell 1 \"x\" is no whole number for No";
    QTest::newRow("garbage on line 12, after ten rows")
        << lines(10) + "\x8f\x12 garbage 7 8 9 10 11 12\r\n" + "12\t10:00:00\tDC\t1.000\tV\tpass\r\n" << "line 12: cell 8 of 7";
    // A 12-hour time written without quotes (older files) moves the
    // judgement into NVal.
    QTest::newRow("unquoted 12-hour time") << QByteArray("h\r\n1\t10:15:03 AM\tDC\t1.000\tV\tpass\r\n")
                                           << "line 2: cell 7 \"pass\" is no whole number for NVal";
    QTest::newRow("No beyond 32 bits") << QByteArray("h\n1 a\n2147483648 b\n") << "line 3: cell 1";
    QTest::newRow("empty file") << QByteArray() << "the file is empty";
    QTest::newRow("byte-order mark alone") << QByteArray("\xFF\xFE") << "the file is empty";

    // What is no text table at all: refused at the first sign, with its place.
    QTest::newRow("NUL after good lines") << QByteArray("h\r\n1 a\r\n2 b\0\r\n3 c\r\n", 19) << "line 3, byte 11: a NUL byte";
    QTest::newRow("NUL first") << QByteArray("\0h\r\n1 a\r\n", 9) << "line 1, byte 0: a NUL byte";
    const QByteArray random = randomBytes(100 * 1024);
    QTest::newRow("100 KB of random bytes") << random
                                            << QStringLiteral("byte %1: a NUL byte").arg(random.indexOf('\0'));
    QTest::newRow("a line without end")
        << Header + QByteArray(3 * LogTextReader::MaxLineBytes, 'x')
        << QStringLiteral("line 2, byte %1: no line end within 65536 bytes").arg(Header.size() + LogTextReader::MaxLineBytes);
    QTest::newRow("a line just too long")
        << Header + QByteArray(LogTextReader::MaxLineBytes + 1, 'x') + "\r\n"
        << QStringLiteral("line 2, byte %1: no line end within").arg(Header.size() + LogTextReader::MaxLineBytes);
    QTest::newRow("UTF-16 with a NUL character")
        << utf16(QStringLiteral("h\r\n1 a\r\n2 b") + QChar(0) + QStringLiteral("\r\n"), true) << "line 3, byte 24: a NUL byte";
    QTest::newRow("UTF-16 BE, eight cells")
        << utf16(QStringLiteral("h\r\n1 a\r\n2 a b c d e f g\r\n"), false) << "line 3: cell 8 of 7";
    QTest::newRow("UTF-16, a line without end")
        << utf16(QStringLiteral("h\r\n\u03a9") + QString(LogTextReader::MaxLineBytes, u'x'), true)
        // The Omega takes two bytes of the line as UTF-8 and two of the file.
        << QStringLiteral("line 2, byte %1: no line end").arg(2 + 6 + 2 + 2 * (LogTextReader::MaxLineBytes - 2));
}

void TestLogTextFile::failedOpenLeavesTheTable()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    // A text open appends to the rows already there: a failure takes back
    // what it added and leaves them exactly as they were.
    const LogRows old{loggedRow(1, "09:00:00", "DC", "1.000", "V", "pass"), row(2, "09:00:01")};
    for (qint64 chunk : {7, 1 << 20}) {
        LogTable table;
        fillTable(table, old);
        table.setCurrentRow(0);
        const TableFileResult result = readText(content, table, chunk);
        QVERIFY(!result);
        QVERIFY2(result.reason.startsWith(reason) || result.reason.contains(reason), qPrintable(result.reason));
        QCOMPARE(rowsOf(table), old);
        QCOMPARE(table.currentRow(), 0);
        QCOMPARE(table.pendingInsertCount(), 2);
        QVERIFY(!table.isEditing());
        // The table goes on taking rows.
        appendRow(table, loggedRow(3, "09:00:02", "DC", "2.000", "V", "pass"));
        QCOMPARE(rowAt(table, 2).value, QString("2.000"));
    }
}

// An endless stream without a line end: the reader gives up after reading a
// bounded amount, however long the file.
class EndlessLine : public QIODevice
{
public:
    qint64 delivered = 0;
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char *data, qint64 max) override
    {
        std::fill_n(data, max, 'x');
        delivered += max;
        return max;
    }
    qint64 writeData(const char *, qint64) override { return -1; }
};

void TestLogTextFile::endlessLineIsRefusedEarly()
{
    EndlessLine endless;
    endless.open(QIODevice::ReadOnly);
    LogTable table;
    LogTextReader reader(table);
    const TableFileResult result = reader.read(endless);
    QVERIFY(!result);
    QVERIFY2(result.reason.startsWith("line 1, byte 65536: no line end"), qPrintable(result.reason));
    // One chunk of a megabyte, and not the 200 MB such a file may hold.
    QVERIFY2(endless.delivered <= 2 << 20, qPrintable(QString::number(endless.delivered)));
}

void TestLogTextFile::utf16IsReadAsText_data()
{
    QTest::addColumn<bool>("littleEndian");
    QTest::newRow("little-endian, as spreadsheets write it") << true;
    QTest::newRow("big-endian") << false;
}

void TestLogTextFile::utf16IsReadAsText()
{
    QFETCH(bool, littleEndian);
    // Beyond the BMP, a quoted blank, NULL, and both line ends.
    const QString text = QStringLiteral("No\tTime\tDC/AC\tValue\tUnit\tAUTO\r\n"
                                        "1\t\"10:15:03 PM\"\tOHM\t1,5\tk\u03a9\tpass\r\n"
                                        "2\t10:15:04\tNULL\t\U0001F600x\t\u00b0C\tFail\n");
    const LogRows rows{loggedRow(1, "10:15:03 PM", "OHM", "1,5", "k\u03a9", "pass"),
                       loggedRow(2, "10:15:04", "", "\U0001F600x", "\u00b0C", "Fail")};
    for (qint64 chunk : {1, 2, 3, 5, 1 << 20}) {
        LogTable table;
        const TableFileResult result = readText(utf16(text, littleEndian), table, chunk);
        QVERIFY2(result, qPrintable(result.reason));
        QCOMPARE(rowsOf(table), rows);
    }
}

void TestLogTextFile::roundTrip_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<LogRows>("rows");
    QTest::addColumn<LogRows>("opened");

    const LogRows logged{loggedRow(1, "10:15:03", "DC", "01.23", "V", "pass"),
                         loggedRow(7, "10:15:05", "OHM", "0L", "M*", "Fail"),
                         loggedRow(8, "10:15:06", "", "-005.0", "mV", "pass")};
    // The empty function goes out as NULL and comes back empty.
    QTest::newRow("logged rows") << ".xls" << logged << logged;
    QTest::newRow("logged rows, .XML is text") << ".XML" << logged << logged;

    // Sampling mode under a 12-hour locale: every cell stays in its column.
    const LogRows sampled{loggedRow(1, "10:15:03 PM", "AC", "230.5", "V", "Fail"),
                          loggedRow(2, "\u4e0b\u534810:15:08", "TMP", "21", "#", "pass")};
    QTest::newRow("sampling-mode times") << ".txt" << sampled << sampled;

    QTest::newRow("absent values")
        << ".txt" << LogRows{row(std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, 5)}
        << LogRows{row(std::nullopt, "", "", "", "", "")};
    QTest::newRow("the text NULL")
        << ".txt" << LogRows{row(6, "NULL", "null", "NULL ", "\"NULL\"", "")} << LogRows{row(6, "NULL", "null", "NULL", "\"NULL\"", "")};
    QTest::newRow("separators and quotes")
        << ".txt" << LogRows{row(3, "a b", "\"", "x\ty", "\"\"", "q\"")}
        << LogRows{row(3, "a b", "\"", "x\ty", "\"\"", "q\"")};
    const QString bom(QChar(0xFEFF));
    QTest::newRow("leading U+FEFF is text")
        << ".txt" << LogRows{row(5, bom + "10:00:00", bom)} << LogRows{row(5, bom + "10:00:00", bom, "", "", "")};
    QTest::newRow("outer blanks go, inner stay")
        << ".txt" << LogRows{row(-4, "  a  b  ", "\t", "c ", " d", "e")}
        << LogRows{row(-4, "a  b", "", "c", "d", "e")};
}

void TestLogTextFile::roundTrip()
{
    QFETCH(QString, extension);
    QFETCH(LogRows, rows);
    QFETCH(LogRows, opened);
    LogTable table;
    fillTable(table, rows);
    const QString path = m_dir.filePath(QStringLiteral("roundtrip") + extension);
    QVERIFY(saveTableFile(table, path));
    QVERIFY(fileBytes(path).startsWith(Header));
    LogTable back;
    const TableFileResult result = loadTableFile(path, back);
    QVERIFY2(result, qPrintable(result.reason));
    QCOMPARE(rowsOf(back), opened);
    QCOMPARE(back.currentRow(), back.rowCount() - 1);
    // What came back unchanged saves unchanged in the other form too.
    if (opened == rows)
        QCOMPARE(xmlOf(back), xmlOf(table));
}

void TestLogTextFile::saveWalksTheRowsPresentAtItsStart()
{
    // Logging goes on while a long save lets the window paint.
    LogTable table;
    const int rows = 40000;
    for (int i = 1; i <= rows; ++i)
        appendRow(table, loggedRow(i, "10:00:00", "DC", "1.000", "V", "pass"));
    table.setCurrentRow(0);
    QList<double> fractions;
    const QString path = m_dir.filePath("walk.txt");
    const TableFileResult result = saveTableText(table, path, [&](double f) {
        fractions << f;
        appendRow(table, loggedRow(rows + int(fractions.size()), "10:00:01", "DC", "2.000", "V", "pass"));
    });
    QVERIFY2(result, qPrintable(result.reason));
    QVERIFY(fractions.size() >= 3);
    QVERIFY(std::is_sorted(fractions.begin(), fractions.end()));
    QCOMPARE(fractions.last(), 1.0);
    LogTable back;
    QVERIFY(loadTableFile(path, back));
    QCOMPARE(back.rowCount(), rows);
    QCOMPARE(back.integer(rows - 1, int(LogField::No)), rows);
    // The save leaves the table at its last row.
    QCOMPARE(table.currentRow(), table.rowCount() - 1);
}

void TestLogTextFile::failedSaveLeavesOldFile_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("text") << ".xls";
    QTest::newRow("XML") << ".xml";
}

void TestLogTextFile::failedSaveLeavesOldFile()
{
    QFETCH(QString, extension);
    QTemporaryDir dir;
    LogTable table;
    for (int i = 1; i <= 20000; ++i)
        appendRow(table, loggedRow(i, "10:00:00", "DC", "1.000", "V", "pass"));

    // We run as root, where permissions stop nothing: a folder that is a
    // file, and a missing folder, fail for everybody.
    const QString plainFile = dir.filePath("plain");
    QVERIFY(writeBytes(plainFile, "keep"));
    TableFileResult result = saveTableFile(table, plainFile + "/log" + extension);
    QVERIFY(!result);
    QVERIFY(!result.reason.isEmpty());
    QCOMPARE(fileBytes(plainFile), QByteArray("keep"));
    QVERIFY(!saveTableFile(table, dir.filePath("missing/log" + extension)));
    // A folder where the file should be stays a folder.
    QVERIFY(QDir(dir.path()).mkdir("folder" + extension));
    QVERIFY(!saveTableFile(table, dir.filePath("folder" + extension)));
    QVERIFY(QFileInfo(dir.filePath("folder" + extension)).isDir());

    // A save that fails halfway (here the table is emptied under it) leaves
    // the old file whole and no temporary file behind.
    const QString target = dir.filePath("old" + extension);
    QVERIFY(writeBytes(target, "the old file"));
    const QStringList before = QDir(dir.path()).entryList(QDir::Files);
    result = saveTableFile(table, target, [&](double) { table.clear(); });
    QVERIFY(!result);
    QCOMPARE(result.reason, QString("the table was emptied while it was being saved"));
    QCOMPARE(fileBytes(target), QByteArray("the old file"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), before);
}

void TestLogTextFile::saveIntoAPipeKeepsThePipe_data()
{
    QTest::addColumn<QString>("extension");
    QTest::newRow("text") << ".xls";
    QTest::newRow("XML") << ".xml";
}

// "--out /dev/null" or a named pipe: the file is written into, not replaced
// by a plain file of the same name.
void TestLogTextFile::saveIntoAPipeKeepsThePipe()
{
    QFETCH(QString, extension);
    QTemporaryDir dir;
    const QString pipe = dir.filePath("pipe" + extension);
    QVERIFY(::mkfifo(QFile::encodeName(pipe).constData(), 0600) == 0);
    // Opened for reading first, so that the save does not wait for a reader.
    const int reader = ::open(QFile::encodeName(pipe).constData(), O_RDONLY | O_NONBLOCK);
    QVERIFY(reader >= 0);
    LogTable table;
    appendRow(table, loggedRow(1, "10:00:00", "DC", "1.000", "V", "pass"));

    const TableFileResult result = saveTableFile(table, pipe);
    QVERIFY2(result, qPrintable(result.reason));
    struct stat info{};
    QVERIFY(::stat(QFile::encodeName(pipe).constData(), &info) == 0);
    QVERIFY(S_ISFIFO(info.st_mode));
    char buffer[4096];
    const ssize_t n = ::read(reader, buffer, sizeof buffer);
    ::close(reader);
    QVERIFY(n > 0);
    QVERIFY(QByteArray(buffer, n).contains("1.000"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System), QStringList{"pipe" + extension});
}

void TestLogTextFile::saveFailuresGiveTheSystemsReason_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("reason");
    for (const char *extension : {".xls", ".xml"}) {
        QTest::addRow("%s, full disk", extension) << extension << "/dev/full" << "No space left on device";
        QTest::addRow("%s, file size limit", extension) << extension << "limit" << "File too large";
        QTest::addRow("%s, missing folder", extension) << extension << "missing" << "No such file or directory";
        QTest::addRow("%s, folder that is a file", extension) << extension << "file" << "Not a directory";
        QTest::addRow("%s, folder not writable", extension) << extension << "read-only" << "Permission denied";
    }
}

void TestLogTextFile::saveFailuresGiveTheSystemsReason()
{
    QFETCH(QString, extension);
    QFETCH(QString, where);
    QFETCH(QString, reason);
    LogTable table;
    for (int i = 1; i <= 20000; ++i)
        appendRow(table, loggedRow(i, "10:00:00", "DC", "1.000", "V", "pass"));
    QTemporaryDir dir;
    const QString old = dir.filePath("old" + extension);
    QVERIFY(writeBytes(old, "the old file"));
    TableFileResult result;

    if (where == u"/dev/full") {
        // A disk that is full: the same writers, on a device that refuses
        // every byte with ENOSPC.
        QFile full(where);
        if (!full.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            QSKIP("no /dev/full here");
        result = writeTableFile(table, tableFileFormat(old), full);
    } else if (where == u"limit") {
        // A save that fails halfway through writing, through the real file:
        // the process may not write files beyond 64 KiB.
        struct rlimit before {};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &before), 0);
        struct rlimit limit = before;
        limit.rlim_cur = 64 * 1024;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        result = saveTableFile(table, old);
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldHandler);
    } else if (where == u"missing") {
        result = saveTableFile(table, dir.filePath("missing/log" + extension));
    } else if (where == u"file") {
        result = saveTableFile(table, old + "/log" + extension);
    } else {
        if (::geteuid() == 0)
            QSKIP("permissions stop nothing for root");
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        result = saveTableFile(table, old);
        QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QVERIFY(!result);
    QCOMPARE(result.reason, reason);
    // The user's message: the program's words, the file, the reason.
    QCOMPARE(saveFailedMessage(old, result), "Could not save table to specified file: " + old + "\n\n" + reason);
    QCOMPARE(fileBytes(old), QByteArray("the old file"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{"old" + extension});
}

QTEST_GUILESS_MAIN(TestLogTextFile)
#include "tst_logtextfile.moc"
