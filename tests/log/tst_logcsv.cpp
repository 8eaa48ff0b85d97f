#include "log/logcsvwriter.h"
#include "log/logtable.h"
#include "log/tablefiles.h"
#include "logfixtures.h"

#include <QBuffer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QXmlStreamReader>

#include <ctime>

// The log as CSV for other programs: RFC 4180, UTF-8, dates with the zone's
// offset; read back by pandas and LibreOffice as they are.
class TestLogCsv : public QObject
{
    Q_OBJECT
private slots:
    void timestamps_data();
    void timestamps();
    void rows();
    void savedWithProgress();
    void pandasReadsIt();
    void libreOfficeReadsIt();

private:
    QString writeSample(const QTemporaryDir &dir);
};

namespace {

void setZone(const char *zone)
{
    qputenv("TZ", zone);
    tzset();
}

struct SampleRow
{
    LogRow row;
    std::optional<qint64> loggedAt;
};

void appendSample(LogTable &table, const SampleRow &sample)
{
    appendRow(table, sample.row);
    if (sample.loggedAt)
        table.setLoggedAt(table.rowCount() - 1, *sample.loggedAt);
}

QByteArray csvOf(const LogTable &table)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    LogCsvWriter writer(table);
    if (!writer.write(buffer))
        return {};
    return buffer.data();
}

// Winter and summer in Berlin, a row without a date, an over-range display,
// and texts from a file that need quotes or are no formula.
const QList<SampleRow> &samples()
{
    static const QList<SampleRow> rows{
        {loggedRow(1, "10:00:00", "DC", "1.234", "V", "pass"), 1705309200250},
        {loggedRow(2, "10:00:01", "AC", "-0,0035", "uA", "Fail"), 1721030401000},
        {loggedRow(3, "10:00:02", "OHM", "0.L", "M*", "Fail"), std::nullopt},
        {LogRow{std::nullopt, "x", "say \"hi\"", "1", "a,b", "=1+1", std::nullopt}, 1721030402500},
        {loggedRow(5, "10:00:04", "TMP", "25", "#", "pass"), 1721030403000},
    };
    return rows;
}

} // namespace

void TestLogCsv::timestamps_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QList<qint64>>("moments");
    QTest::addColumn<QByteArray>("written");

    QTest::newRow("the start of the epoch, UTC") << QByteArray("UTC") << QList<qint64>{0}
                                                 << QByteArray("1970-01-01T00:00:00.000+00:00");
    QTest::newRow("half an hour behind") << QByteArray("America/St_Johns") << QList<qint64>{1720000000123}
                                         << QByteArray("2024-07-03T07:16:40.123-02:30");
    QTest::newRow("three quarters ahead") << QByteArray("Asia/Kathmandu") << QList<qint64>{1720000000123}
                                          << QByteArray("2024-07-03T15:31:40.123+05:45");
    QTest::newRow("a millisecond either side of daylight saving time")
        << QByteArray("America/New_York") << QList<qint64>{1710053999999, 1710054000000}
        << QByteArray("2024-03-10T01:59:59.999-05:00 2024-03-10T03:00:00.000-04:00");
}

void TestLogCsv::timestamps()
{
    QFETCH(QByteArray, zone);
    QFETCH(QList<qint64>, moments);
    QFETCH(QByteArray, written);
    setZone(zone.constData());
    LogTable table;
    for (const qint64 moment : moments)
        appendSample(table, {loggedRow(1, "x", "DC", "1", "V", "pass"), moment});
    QByteArrayList stamps;
    const QByteArrayList lines = csvOf(table).split('\n');
    for (qsizetype i = 1; i < lines.size() - 1; ++i)
        stamps << lines[i].left(lines[i].indexOf(','));
    QCOMPARE(stamps.join(' '), written);
    // The single moment the same, as the writer's zone cache must agree.
    QByteArray one;
    LogCsvWriter::appendTimestamp(one, moments.last());
    QCOMPARE(one, written.split(' ').last());
}

void TestLogCsv::rows()
{
    setZone("Europe/Berlin");
    LogTable table;
    for (const SampleRow &sample : samples())
        appendSample(table, sample);
    QCOMPARE(csvOf(table), QByteArray("timestamp,seconds,value,unit,function,judgement,frame\r\n"
                                      "2024-01-15T10:00:00.250+01:00,0.000,1.234,V,DC,pass,1\r\n"
                                      "2024-07-15T10:00:01.000+02:00,15721200.750,-0.0035,µA,AC,Fail,2\r\n"
                                      ",,,MΩ,OHM,Fail,3\r\n"
                                      "2024-07-15T10:00:02.500+02:00,15721202.250,1,\"a,b\",\"say \"\"hi\"\"\",'=1+1,\r\n"
                                      "2024-07-15T10:00:03.000+02:00,15721202.750,25,°C,TMP,pass,5\r\n"));
}

void TestLogCsv::savedWithProgress()
{
    LogTable table;
    for (int i = 0; i < 40000; ++i)
        appendSample(table, {loggedRow(i + 1, "10:00:00", "DC", "1.000", "V", "pass"), 1705309200000 + i * 400});
    QTemporaryDir dir;
    QList<double> steps;
    QVERIFY(saveTableCsv(table, dir.filePath("log.csv"), [&](double fraction) { steps << fraction; }));
    QCOMPARE(steps.size(), 3);
    QCOMPARE(steps.last(), 1.0);
    QFile file(dir.filePath("log.csv"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll().count('\n'), 40001);

    const TableFileResult failed = saveTableCsv(table, dir.filePath("missing/log.csv"));
    QVERIFY(!failed);
    QVERIFY2(failed.reason.contains("No such file or directory"), qPrintable(failed.reason));

    // A full disk is named as such, not as an unknown error.
    QFile full("/dev/full");
    if (full.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        const TableFileResult noRoom = writeTableFile(table, TableFileFormat::Csv, full);
        QVERIFY(!noRoom);
        QCOMPARE(noRoom.reason, QStringLiteral("No space left on device"));
    }
}

QString TestLogCsv::writeSample(const QTemporaryDir &dir)
{
    setZone("Europe/Berlin");
    LogTable table;
    for (const SampleRow &sample : samples())
        appendSample(table, sample);
    const QString path = dir.filePath("sample.csv");
    return saveTableCsv(table, path) ? path : QString();
}

void TestLogCsv::pandasReadsIt()
{
    // The system's Python, where Debian's pandas is.
    const QString python = QStringLiteral("/usr/bin/python3");
    if (!QFile::exists(python))
        QSKIP("/usr/bin/python3 is missing: pandas cannot read the file");
    QTemporaryDir dir;
    const QString path = writeSample(dir);
    QVERIFY(!path.isEmpty());
    const char *script = R"(
import json, sys
try:
    import pandas as pd
except ImportError:
    sys.exit(77)
d = pd.read_csv(sys.argv[1])
stamps = pd.to_datetime(d["timestamp"], utc=True)
print(json.dumps({
    "columns": list(d.columns),
    "dtypes": [str(t) for t in d.dtypes],
    "ms": [None if pd.isna(t) else int(t.value // 10**6) for t in stamps],
    "rows": [[None if pd.isna(v) else v for v in r] for r in d.drop(columns="timestamp").values.tolist()],
}))
)";
    QProcess process;
    process.start(python, {QStringLiteral("-c"), QString::fromLatin1(script), path});
    QVERIFY(process.waitForFinished(120000));
    if (process.exitCode() == 77)
        QSKIP("pandas is not installed for /usr/bin/python3 (Debian: python3-pandas)");
    QCOMPARE(process.exitCode(), 0);
    const QJsonObject read = QJsonDocument::fromJson(process.readAllStandardOutput()).object();

    QCOMPARE(read.value("columns").toVariant().toStringList(),
             QStringList({"timestamp", "seconds", "value", "unit", "function", "judgement", "frame"}));
    // Numbers as numbers; the frame column has a gap, so pandas makes it
    // floating.
    QCOMPARE(read.value("dtypes").toVariant().toStringList(),
             QStringList({"object", "float64", "float64", "object", "object", "object", "float64"}));
    QList<qint64> ms;
    for (const SampleRow &sample : samples())
        ms << sample.loggedAt.value_or(-1);
    QJsonArray expectedMs;
    for (const qint64 m : ms)
        expectedMs.append(m < 0 ? QJsonValue() : QJsonValue(m));
    QCOMPARE(read.value("ms").toArray(), expectedMs);
    const QJsonArray rows = read.value("rows").toArray();
    QCOMPARE(rows.size(), samples().size());
    QCOMPARE(rows[0].toArray(), QJsonArray({0.0, 1.234, "V", "DC", "pass", 1.0}));
    QCOMPARE(rows[1].toArray(), QJsonArray({15721200.75, -0.0035, "µA", "AC", "Fail", 2.0}));
    QCOMPARE(rows[2].toArray(), QJsonArray({QJsonValue(), QJsonValue(), "MΩ", "OHM", "Fail", 3.0}));
    QCOMPARE(rows[3].toArray(), QJsonArray({15721202.25, 1.0, "a,b", "say \"hi\"", "'=1+1", QJsonValue()}));
    QCOMPARE(rows[4].toArray(), QJsonArray({15721202.75, 25.0, "°C", "TMP", "pass", 5.0}));
}

void TestLogCsv::libreOfficeReadsIt()
{
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty())
        QSKIP("LibreOffice (soffice) is not installed");
    QTemporaryDir dir;
    const QString path = writeSample(dir);
    QVERIFY(!path.isEmpty());

    // Converted to a flat spreadsheet file, whose cells say what LibreOffice
    // made of each: a number, a text or nothing. Once as it comes, and once
    // told the character set.
    struct Cell
    {
        QString type;   // "float", "string" or empty
        QString text;
        bool operator==(const Cell &) const = default;
    };
    const auto convert = [&](const QStringList &options, const QString &folder) {
        QProcess process;
        const QString profile = QUrl::fromLocalFile(dir.filePath(QStringLiteral("profile"))).toString();
        process.start(soffice, QStringList{QStringLiteral("-env:UserInstallation=") + profile, "--headless"} + options
                                   + QStringList{"--convert-to", "fods", "--outdir", dir.filePath(folder), path});
        const bool finished = process.waitForFinished(240000);
        QList<QList<Cell>> table;
        QFile file(dir.filePath(folder + QStringLiteral("/sample.fods")));
        if (!finished || !file.open(QIODevice::ReadOnly))
            return table;
        QXmlStreamReader xml(&file);
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("table-row")) {
                table.append(QList<Cell>());
            } else if (xml.name() == QLatin1String("table-cell") && !table.isEmpty()) {
                const QString type = xml.attributes().value("office:value-type").toString();
                const QString value = xml.attributes().value("office:value").toString();
                // Empty cells in a row come as one that is repeated.
                const int repeated = std::max(1, xml.attributes().value("table:number-columns-repeated").toInt());
                // The file is indented: the blanks around a text are not its own.
                const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).trimmed();
                for (int i = 0; i < repeated && table.last().size() < 7; ++i)
                    table.last().append({type, type == QLatin1String("float") ? value : text});
            }
        }
        return table;
    };

    const QList<QList<Cell>> plain = convert({}, QStringLiteral("plain"));
    QCOMPARE(plain.size(), 1 + samples().size());
    const auto texts = [](const QList<Cell> &row) {
        QStringList t;
        for (const Cell &c : row)
            t << c.type + QLatin1Char(':') + c.text;
        return t;
    };
    QCOMPARE(texts(plain[0]), QStringList({"string:timestamp", "string:seconds", "string:value", "string:unit",
                                           "string:function", "string:judgement", "string:frame"}));
    QCOMPARE(texts(plain[1]), QStringList({"string:2024-01-15T10:00:00.250+01:00", "float:0", "float:1.234",
                                           "string:V", "string:DC", "string:pass", "float:1"}));
    // Without options LibreOffice reads a CSV file as Windows-1252: every
    // column but the symbols of the units comes right.
    QCOMPARE(texts(plain[2]).mid(0, 3), QStringList({"string:2024-07-15T10:00:01.000+02:00", "float:15721200.75",
                                                     "float:-0.0035"}));
    QCOMPARE(texts(plain[2]).mid(4), QStringList({"string:AC", "string:Fail", "float:2"}));
    QCOMPARE(texts(plain[3]).mid(0, 2), QStringList({":", ":"}));
    QCOMPARE(texts(plain[3]).mid(4), QStringList({"string:OHM", "string:Fail", "float:3"}));
    // Quoted cells whole, and a file's formula a text.
    QCOMPARE(texts(plain[4]).mid(3, 3), QStringList({"string:a,b", "string:say \"hi\"", "string:'=1+1"}));

    // Told UTF-8 (character set 76), the symbols come right too.
    const QList<QList<Cell>> utf8 = convert({"--infilter=CSV:44,34,76"}, QStringLiteral("utf8"));
    QCOMPARE(utf8.size(), 1 + samples().size());
    QStringList units;
    for (qsizetype i = 1; i < utf8.size(); ++i)
        units << utf8[i].value(3).text;
    QCOMPARE(units, QStringList({"V", "µA", "MΩ", "a,b", "°C"}));
}

QTEST_GUILESS_MAIN(TestLogCsv)
#include "tst_logcsv.moc"
