#include "log/logtable.h"
#include "log/logxmlreader.h"
#include "log/logxmlwriter.h"
#include "log/tablefiles.h"
#include "logfixtures.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

namespace {

TableFileResult readXml(const QByteArray &content, LogTable &table, qint64 chunkSize = 1 << 20)
{
    QBuffer buffer;
    buffer.setData(content);
    buffer.open(QIODevice::ReadOnly);
    LogXmlReader reader(table);
    reader.setChunkSize(chunkSize);
    return reader.read(buffer);
}

QByteArray writeXml(const LogTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    LogXmlWriter writer(table);
    if (!writer.write(buffer))
        return {};
    return buffer.data();
}

QList<bool> marksOf(const LogTable &table)
{
    QList<bool> marks;
    for (int r = 0; r < table.rowCount(); ++r)
        marks << table.pendingInsert(r);
    return marks;
}

LogRow row(std::optional<qint32> no, std::optional<QString> time = {}, std::optional<QString> dcAc = {},
           std::optional<QString> value = {}, std::optional<QString> unit = {}, std::optional<QString> judge = {},
           std::optional<qint32> nval = {})
{
    return LogRow{no, time, dcAc, value, unit, judge, nval};
}

const QByteArray Fields = "<FIELDS>"
                          "<FIELD attrname=\"No\" fieldtype=\"i4\"/>"
                          "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>"
                          "<FIELD attrname=\"DC/AC\" fieldtype=\"string\" WIDTH=\"20\"/>"
                          "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>"
                          "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>"
                          "<FIELD attrname=\"Auto\" fieldtype=\"string\" WIDTH=\"20\"/>"
                          "<FIELD attrname=\"NVal\" fieldtype=\"i4\"/>"
                          "</FIELDS>";

QByteArray packet(const QByteArray &rows, const QByteArray &fields = Fields, const QByteArray &params = "<PARAMS/>")
{
    return "<?xml version=\"1.0\" standalone=\"yes\"?><DATAPACKET Version=\"2.0\"><METADATA>" + fields + params
        + "</METADATA><ROWDATA>" + rows + "</ROWDATA></DATAPACKET>";
}

const QByteArray OneRow = "<ROW No=\"1\" Time=\"t\" DC/AC=\"DC\" Value=\"1\" Unit=\"V\" Auto=\"pass\"/>";

} // namespace

class TestLogXmlFile : public QObject
{
    Q_OBJECT

private slots:
    void writesTheDataPacket();
    void attributeNames_data();
    void attributeNames();
    void roundTrip_data();
    void roundTrip();
    void handMadePackets_data();
    void handMadePackets();
    void failures_data();
    void failures();
    void openReplacesUnsavedRows();

private:
    QTemporaryDir m_dir;
};

void TestLogXmlFile::writesTheDataPacket()
{
    LogTable table;
    appendRow(table, loggedRow(1, "10:15:03", "DC", "01.23", "V", "pass"));
    appendRow(table, row(2, "a<b>&'\"\r\n\t\\", "", std::nullopt, "k*", "\x01", 9), false);
    appendRow(table, loggedRow(3, "10:15:04", "DC", "01.24", "V", "pass"));
    QCOMPARE(writeXml(table),
             QByteArray("<?xml version=\"1.0\" standalone=\"yes\"?>\r\n"
                        "<DATAPACKET Version=\"2.0\">\r\n"
                        "<METADATA>\r\n"
                        "<FIELDS>\r\n"
                        "<FIELD attrname=\"No\" fieldtype=\"i4\"/>\r\n"
                        "<FIELD attrname=\"Time\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                        "<FIELD attrname=\"DC/AC\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                        "<FIELD attrname=\"Value\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                        "<FIELD attrname=\"Unit\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                        "<FIELD attrname=\"Auto\" fieldtype=\"string\" WIDTH=\"20\"/>\r\n"
                        "<FIELD attrname=\"NVal\" fieldtype=\"i4\"/>\r\n"
                        "</FIELDS>\r\n"
                        "<PARAMS CHANGE_LOG=\"1 0 4 3 0 4\"/>\r\n"
                        "</METADATA>\r\n"
                        "<ROWDATA>\r\n"
                        "<ROW RowState=\"4\" No=\"1\" Time=\"10:15:03\" DC/AC=\"DC\" Value=\"01.23\" Unit=\"V\" Auto=\"pass\"/>\r\n"
                        "<ROW No=\"2\" Time=\"a&lt;b&gt;&amp;&apos;&quot;&#013;&#010;&#009;&#092;\" DC/AC=\"\" "
                        "Unit=\"k*\" Auto=\"&#001;\" NVal=\"9\"/>\r\n"
                        "<ROW RowState=\"4\" No=\"3\" Time=\"10:15:04\" DC/AC=\"DC\" Value=\"01.24\" Unit=\"V\" Auto=\"pass\"/>\r\n"
                        "</ROWDATA>\r\n"
                        "</DATAPACKET>\r\n"));

    // Without pending inserts PARAMS carries nothing.
    LogTable plain;
    appendRow(plain, loggedRow(1, "t", "DC", "1", "V", "pass"), false);
    QVERIFY(writeXml(plain).contains("<PARAMS/>\r\n"));
}

void TestLogXmlFile::attributeNames_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("attribute");
    QTest::newRow("slash stays") << "DC/AC" << "DC/AC";
    QTest::newRow("replaced characters") << "a b!#$%()*?" << "a_b________";
    QTest::newRow("others stay") << "x-y.z&<" << "x-y.z&<";
}

void TestLogXmlFile::attributeNames()
{
    QFETCH(QString, field);
    QFETCH(QString, attribute);
    QCOMPARE(LogXmlWriter::attributeName(field), attribute);
}

void TestLogXmlFile::roundTrip_data()
{
    QTest::addColumn<LogRows>("rows");
    QTest::addColumn<QList<bool>>("marks");

    QTest::newRow("logged rows") << LogRows{loggedRow(1, "10:15:03", "DC", "01.23", "V", "pass"),
                                            loggedRow(7, "10:15:03 PM", "OHM", "0L", "k*", "Fail")}
                                 << QList<bool>{true, true};
    QTest::newRow("absent and empty values")
        << LogRows{row(std::nullopt), row(std::nullopt, "", "", "", "", "", 0), row(5, std::nullopt, "x")}
        << QList<bool>{true, false, true};
    QTest::newRow("every escaped character")
        << LogRows{row(1, "<>&'\"", "\r\n\t\\", "a\\b<c", "\x01\x1f\x7f", QString::fromUtf8("x\0y", 3))}
        << QList<bool>{false};
    QTest::newRow("beyond ASCII") << LogRows{row(2, "\u4e0b\u534810:15:08", "\u03a9\u00b5\u00b0",
                                                  QString::fromUcs4(U"\U0001F600\u00e9"), "k\u03a9")}
                                  << QList<bool>{true};
    // Each value is decoded alone: a leading U+FEFF is text, not a byte-order mark.
    const QString bom(QChar(0xFEFF));
    QTest::newRow("leading U+FEFF") << LogRows{row(3, bom, bom + "AC")} << QList<bool>{true};
    QTest::newRow("integer limits") << LogRows{row(std::numeric_limits<qint32>::min(), "t", {}, {}, {}, {},
                                                   std::numeric_limits<qint32>::max())}
                                    << QList<bool>{true};
}

void TestLogXmlFile::roundTrip()
{
    QFETCH(LogRows, rows);
    QFETCH(QList<bool>, marks);
    LogTable table;
    for (qsizetype i = 0; i < rows.size(); ++i)
        appendRow(table, rows[i], marks[i]);
    const QString path = m_dir.filePath("roundtrip.xml");
    QVERIFY(saveTableFile(table, path));
    LogTable back;
    const TableFileResult result = loadTableFile(path, back);
    QVERIFY2(result, qPrintable(result.reason));
    QCOMPARE(rowsOf(back), rows);
    QCOMPARE(marksOf(back), marks);
    QCOMPARE(back.currentRow(), 0);
    // Written again, the packet is the same.
    QCOMPARE(writeXml(back), fileBytes(path));
}

void TestLogXmlFile::handMadePackets_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<LogRows>("rows");
    QTest::addColumn<QList<bool>>("marks");

    const LogRow one = loggedRow(1, "t", "DC", "1", "V", "pass");
    QTest::newRow("on one line, without RowState or CHANGE_LOG") << packet(OneRow) << LogRows{one} << QList<bool>{false};
    QTest::newRow("RowState and CHANGE_LOG")
        << packet("<ROW RowState=\"4\" No=\"1\" Time=\"t\" DC/AC=\"DC\" Value=\"1\" Unit=\"V\" Auto=\"pass\"/>"
                  "<ROW No=\"2\" RowState=\"8\"/><ROW RowState=\"5\" No=\"3\"/>",
                  Fields, "<PARAMS CHANGE_LOG=\"1 0 4 3 0 4\"/>")
        << LogRows{one, row(2), row(3)} << QList<bool>{true, false, true};

    QByteArray mangled = Fields;
    mangled.replace("<FIELD attrname=\"DC/AC\"", "<FIELD fieldname=\"DC/AC\" attrname=\"DC_AC\"");
    QTest::newRow("fieldname beside a changed attrname")
        << packet("<ROW No=\"1\" DC_AC=\"AC\" DC/AC=\"ignored\"/>", mangled) << LogRows{row(1, {}, "AC")}
        << QList<bool>{false};

    const QByteArray otherFields = "<FIELDS>"
                                   "<FIELD attrname=\"nval\" fieldtype=\"i2\"/>"
                                   "<FIELD attrname=\"EXTRA\" fieldtype=\"r8\"/>"
                                   "<FIELD attrname=\"auto\" fieldtype=\"string.uni\" WIDTH=\"30\"/>"
                                   "<FIELD attrname=\"UNIT\" fieldtype=\"string\" WIDTH=\"4\"/>"
                                   "<FIELD attrname=\"value\" fieldtype=\"string\"/>"
                                   "<FIELD attrname=\"dc/ac\" fieldtype=\"string\" WIDTH=\"20\"/>"
                                   "<FIELD attrname=\"time\" fieldtype=\"string\" WIDTH=\"20\"/>"
                                   "<FIELD attrname=\"NO\" fieldtype=\"ui4\"/>"
                                   "</FIELDS>";
    QTest::newRow("other order, case, types and widths, an extra field")
        << packet("<ROW NO=\"4\" EXTRA=\"2.5\" auto=\"123456789012345678901234567890\" nval=\"-3\"/>", otherFields)
        << LogRows{row(4, {}, {}, {}, {}, "12345678901234567890", -3)} << QList<bool>{false};

    QTest::newRow("whitespace, comments, BOM, quotes of both kinds")
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<!-- made by hand -->\n"
                      "<DATAPACKET\n Version='2.0'>\n\t<METADATA>\n") + Fields
               + "\n<PARAMS\tLCID = \"1033\" />\n</METADATA >\n <ROWDATA>\n"
                 "  <ROW\n   No = '1'\tTime=\"t\" DC/AC='DC' Value=\"1\" Unit='V' Auto=\"pass\"></ROW>\n"
                 "  <!-- a note between rows -->\n"
                 "  <ROW No=\"2\" Value='say \"hi\"'/>\n"
                 " </ROWDATA>\n</DATAPACKET>\n<!-- done -->\n"
        << LogRows{one, row(2, {}, {}, "say \"hi\"")} << QList<bool>{false, false};

    QTest::newRow("escapes in any spelling")
        << packet("<ROW No=\"1\" Time=\"&#x3A9;&#937;&#65;&#0013;&#10;\" Unit=\"&lt;&amp;&gt;\"/>")
        << LogRows{row(1, "\u03a9\u03a9A\r\n", {}, {}, "<&>")} << QList<bool>{false};
    QTest::newRow("empty ROWDATA") << QByteArray(packet("").replace("<ROWDATA></ROWDATA>", "<ROWDATA/>"))
                                   << LogRows{} << QList<bool>{};
    QTest::newRow("no ROWDATA") << "<DATAPACKET Version=\"2.0\"><METADATA>" + Fields + "</METADATA></DATAPACKET>"
                                << LogRows{} << QList<bool>{};
    QTest::newRow("unknown elements are skipped with their content")
        << QByteArray("<DATAPACKET><METADATA><INFO><ROW No=\"9\"/></INFO>") + Fields
               + "<PARAMS><P/></PARAMS></METADATA><ROWDATA><GROUP><ROW No=\"8\"/></GROUP>" + OneRow
               + "<ROW No=\"2\"><CHILD/></ROW></ROWDATA><TRAILER/></DATAPACKET>"
        << LogRows{one, row(2)} << QList<bool>{false, false};
}

void TestLogXmlFile::handMadePackets()
{
    QFETCH(QByteArray, content);
    QFETCH(LogRows, rows);
    QFETCH(QList<bool>, marks);
    for (qint64 chunk : {1, 2, 7, 1 << 20}) {
        LogTable table;
        appendRow(table, loggedRow(99, "old", "DC", "1", "V", "pass"));
        const TableFileResult result = readXml(content, table, chunk);
        QVERIFY2(result, qPrintable(result.reason));
        QCOMPARE(rowsOf(table), rows);
        QCOMPARE(marksOf(table), marks);
    }
}

void TestLogXmlFile::failures_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("reason");

    // Whether the packet is found wrong in its fields or among its rows,
    // the table is left as it was.
    QTest::newRow("a text file") << QByteArray("No\tTime\r\n1\tt\r\n") << "byte 0: text between elements";
    QTest::newRow("empty file") << QByteArray() << "byte 0: not a data packet";
    QTest::newRow("another root") << QByteArray("<?xml version=\"1.0\"?>\n<TABLE/>") << "byte 22: not a data packet";
    QTest::newRow("a field missing") << packet(OneRow, QByteArray(Fields).replace("<FIELD attrname=\"NVal\" fieldtype=\"i4\"/>", ""))
                                     << "the packet has no field NVal";
    QTest::newRow("No as a text") << packet(OneRow, QByteArray(Fields).replace("\"No\" fieldtype=\"i4\"", "\"No\" fieldtype=\"string\""))
                                  << "field No has the type string";
    QTest::newRow("Value as a number") << packet(OneRow, QByteArray(Fields).replace("\"Value\" fieldtype=\"string\"", "\"Value\" fieldtype=\"i4\""))
                                       << "field Value has the type i4";
    QTest::newRow("a field twice") << packet(OneRow, QByteArray(Fields).replace("</FIELDS>", "<FIELD attrname=\"time\" fieldtype=\"string\"/></FIELDS>"))
                                   << "field time is defined twice";
    QTest::newRow("FIELD without attrname") << packet(OneRow, QByteArray(Fields).replace("</FIELDS>", "<FIELD fieldtype=\"string\"/></FIELDS>"))
                                            << "a FIELD without attrname";
    QTest::newRow("DOCTYPE") << QByteArray("<!DOCTYPE x><DATAPACKET/>") << "markup that a data packet does not use";
    QTest::newRow("ROWDATA first") << QByteArray("<DATAPACKET><ROWDATA/><METADATA>") + Fields + "</METADATA></DATAPACKET>"
                                   << "ROWDATA before METADATA";
    QTest::newRow("cut inside METADATA") << packet(OneRow).left(200) << "the file ends inside";
    QTest::newRow("no METADATA") << QByteArray("<DATAPACKET Version=\"2.0\"></DATAPACKET>") << "the packet has no METADATA";

    QTest::newRow("No not a number") << packet(OneRow + "<ROW No=\"x\"/>") << "row 2: No \"x\" is no whole number";
    QTest::newRow("No beyond 32 bits") << packet("<ROW No=\"2147483648\"/>") << "row 1: No";
    QTest::newRow("unknown escape") << packet("<ROW Time=\"&nbsp;\"/>") << "row 1: the unknown escape &nbsp;";
    QTest::newRow("escape of a surrogate") << packet("<ROW Time=\"&#xD800;\"/>") << "stands for no character";
    QTest::newRow("unfinished escape") << packet("<ROW Time=\"a &amp b\"/>") << "row 1: an unfinished escape";
    QTest::newRow("attribute twice") << packet("<ROW Time=\"a\" Time=\"b\"/>") << "row 1: Time is given twice";
    QTest::newRow("RowState not a number") << packet("<ROW RowState=\"four\"/>") << "row 1: RowState";
    QTest::newRow("unquoted value") << packet("<ROW No=1/>") << "the value of No is not quoted";
    QTest::newRow("cut inside a row") << packet(OneRow + OneRow).left(packet(OneRow).size() - 40) << "the file ends inside an element";
    QTest::newRow("cut after a row") << packet(OneRow).left(packet(OneRow).size() - 23) << "the file ends inside the packet";
    QTest::newRow("end tag closing nothing") << QByteArray(packet(OneRow)).replace("</ROWDATA>", "</METADATA>")
                                             << "</METADATA> closes no open element";
    QTest::newRow("text between rows") << packet(OneRow + "oops" + OneRow) << "text between elements";
    QTest::newRow("an element after the packet") << packet(OneRow) + "<ROW/>" << "an element after the packet";
    // No XML text holds a NUL: the bytes are no packet, wherever it stands.
    const QByteArray nulInRow = packet(OneRow).replace("Time=\"t\"", QByteArray("Time=\"\0\"", 8));
    QTest::addRow("NUL in a value") << nulInRow << QStringLiteral("byte %1: a NUL byte").arg(nulInRow.indexOf('\0'));
    QTest::newRow("NUL after the packet") << packet(OneRow) + QByteArray(1, '\0')
                                          << QStringLiteral("byte %1: a NUL byte").arg(packet(OneRow).size());
    QTest::newRow("NUL between elements") << QByteArray("<DATAPACKET>\0<METADATA>", 23) << "byte 12: a NUL byte";
}

void TestLogXmlFile::failures()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    const LogRow old = loggedRow(99, "old", "DC", "1", "V", "pass");
    LogTable table;
    appendRow(table, old);
    for (qint64 chunk : {3, 1 << 20}) {
        const TableFileResult result = readXml(content, table, chunk);
        QVERIFY(!result);
        QVERIFY2(result.reason.contains(reason), qPrintable(result.reason));
        QCOMPARE(rowsOf(table), LogRows{old});
        QCOMPARE(table.currentRow(), 0);
        QCOMPARE(table.pendingInsertCount(), 1);
        QVERIFY(!table.isEditing());
    }
    // The table goes on taking logged rows.
    appendRow(table, loggedRow(1, "new", "DC", "2", "V", "pass"));
    QCOMPARE(rowAt(table, table.rowCount() - 1), loggedRow(1, "new", "DC", "2", "V", "pass"));
}

void TestLogXmlFile::openReplacesUnsavedRows()
{
    const QString path = m_dir.filePath("replace.xml");
    QVERIFY(writeBytes(path, packet(OneRow + "<ROW No=\"2\"/>")));
    LogTable table;
    for (int i = 0; i < 5; ++i)
        appendRow(table, loggedRow(100 + i, "unsaved", "DC", "1", "V", "pass"));
    const TableFileResult result = loadTableFile(path, table);
    QVERIFY2(result, qPrintable(result.reason));
    QCOMPARE(rowsOf(table), (LogRows{loggedRow(1, "t", "DC", "1", "V", "pass"), row(2)}));
    QCOMPARE(table.currentRow(), 0);
    QCOMPARE(table.pendingInsertCount(), 0);
}

QTEST_GUILESS_MAIN(TestLogXmlFile)
#include "tst_logxmlfile.moc"
