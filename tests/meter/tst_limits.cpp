#include "meter/limits.h"
#include "shared/localenumber.h"

#include <QtTest>

#include <charconv>
#include <cstdlib>

class TestLimits : public QObject
{
    Q_OBJECT
private slots:
    void parseNumber_data();
    void parseNumber();
    void displayedValuesReadExactly();
    void judge_data();
    void judge();
    void judgeFollowsTheSeparator();
    void rewrite_data();
    void rewrite();
    void keyFilter_data();
    void keyFilter();
    void validation_data();
    void validation();
};

void TestLimits::parseNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");

    QTest::newRow("integer") << "4000" << "." << true << 4000.0;
    QTest::newRow("negative") << "-4000" << "." << true << -4000.0;
    QTest::newRow("plus sign") << "+12" << "." << true << 12.0;
    QTest::newRow("decimal") << "1.234" << "." << true << 1.234;
    QTest::newRow("comma locale") << "1,234" << "," << true << 1.234;
    QTest::newRow("other separator is not a number") << "1,234" << "." << false << 0.0;
    QTest::newRow("point in comma locale") << "1.234" << "," << false << 0.0;
    QTest::newRow("leading separator") << ".5" << "." << true << 0.5;
    QTest::newRow("trailing separator") << "5." << "." << true << 5.0;
    QTest::newRow("separator alone") << "." << "." << false << 0.0;
    QTest::newRow("blanks around") << "  12 " << "." << true << 12.0;
    QTest::newRow("exponent") << "1e3" << "." << true << 1000.0;
    QTest::newRow("bad exponent") << "1e" << "." << false << 0.0;
    QTest::newRow("empty") << "" << "." << false << 0.0;
    QTest::newRow("sign alone") << "-" << "." << false << 0.0;
    QTest::newRow("two separators") << "1.2.3" << "." << false << 0.0;
    QTest::newRow("apostrophe") << "1'000" << "." << false << 0.0;
    QTest::newRow("backtick") << "`5" << "." << false << 0.0;
    QTest::newRow("over-range display") << "0.L" << "." << false << 0.0;
    QTest::newRow("overflow") << "1e999" << "." << false << 0.0;
    QTest::newRow("multi-character separator") << "1<>5" << "<>" << true << 1.5;
}

void TestLimits::parseNumber()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(bool, isNumber);
    QFETCH(double, value);
    const std::optional<double> parsed = parseLocaleNumber(text, separator);
    QCOMPARE(parsed.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*parsed, value);
    QCOMPARE(localeNumberOrSentinel(text, separator), isNumber ? value : NotANumber);
}

// Every value a display can show reads as the nearest double, exactly as a
// full decimal conversion gives it.
void TestLimits::displayedValuesReadExactly()
{
    for (int count = -9999; count <= 9999; ++count) {
        for (int point = 0; point <= 3; ++point) {
            QString text = QString::number(std::abs(count)).rightJustified(4, u'0');
            if (point)
                text.insert(point, u',');
            if (count < 0)
                text.prepend(u'-');
            QByteArray plain = text.toLatin1().replace(',', '.');
            double expected = 0;
            std::from_chars(plain.constData(), plain.constData() + plain.size(), expected);
            const std::optional<double> parsed = parseLocaleNumber(text, u",");
            QVERIFY2(parsed && *parsed == expected, qPrintable(text));
        }
    }
}

void TestLimits::judge_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<int>("judgement");

    const int pass = int(Judgement::Pass), fail = int(Judgement::Fail), none = int(Judgement::NotJudged);
    QTest::newRow("inside") << "3999" << "4000" << "-4000" << pass;
    QTest::newRow("equal to high") << "4000" << "4000" << "-4000" << pass;
    QTest::newRow("equal to low") << "-1.5" << "4000" << "-1.5" << pass;
    QTest::newRow("above") << "6000" << "4000" << "-4000" << fail;
    QTest::newRow("unit is ignored: 1.234 k") << "1.234" << "2" << "1" << pass;
    QTest::newRow("low above high") << "5" << "1" << "10" << fail;
    QTest::newRow("over-range fails") << "0.L" << "4000" << "-4000" << fail;
    QTest::newRow("high not a number") << "1" << "abc" << "0" << none;
    QTest::newRow("low not a number") << "1" << "5" << "" << none;
    QTest::newRow("sentinel as limit counts as not a number") << "1" << "-999999" << "-4000" << none;
}

void TestLimits::judge()
{
    QFETCH(QString, value);
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(int, judgement);
    QCOMPARE(int(judgeValue(value, high, low, u".")), judgement);
    // The same table through one judge, as frames go through the session's:
    // it keeps the limits it read, and each row brings new ones.
    static LimitJudge stream;
    QCOMPARE(int(stream.judge(value, high, low, QStringLiteral("."))), judgement);
    QCOMPARE(judgementText(Judgement::Pass), QStringLiteral("pass"));
    QCOMPARE(judgementText(Judgement::Fail), QStringLiteral("Fail"));
}

void TestLimits::judgeFollowsTheSeparator()
{
    LimitJudge judge;
    const QString high = QStringLiteral("2,5"), low = QStringLiteral("1,5");
    QCOMPARE(judge.judge(u"2,0", high, low, QStringLiteral(",")), Judgement::Pass);
    // The same limit texts under "." are no numbers.
    QCOMPARE(judge.judge(u"2.0", high, low, QStringLiteral(".")), Judgement::NotJudged);
    QCOMPARE(judge.judge(u"3,0", high, low, QStringLiteral(",")), Judgement::Fail);
}

void TestLimits::rewrite_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("rewritten");
    QTest::newRow("point to comma") << "1.5" << "," << "1,5";
    QTest::newRow("comma to point") << "1,5" << "." << "1.5";
    QTest::newRow("only the first") << "1,5,6" << "." << "1.5,6";
    QTest::newRow("nothing to do") << "15" << "." << "15";
    QTest::newRow("other locales replace the point") << "1.5" << "'" << "1'5";
    QTest::newRow("unknown separator leaves the text") << "1.5" << "" << "1.5";
}

void TestLimits::rewrite()
{
    QFETCH(QString, text);
    QFETCH(QString, separator);
    QFETCH(QString, rewritten);
    QCOMPARE(rewriteLimitText(text, separator), rewritten);
}

void TestLimits::keyFilter_data()
{
    QTest::addColumn<QChar>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("systemSeparator");
    QTest::addColumn<QString>("userSeparator");
    QTest::addColumn<bool>("accepted");

    for (char c : QByteArray("0123456789+-'`\b"))
        QTest::addRow("key %d", int(c)) << QChar(c) << "" << "." << "." << true;
    QTest::newRow("letter") << QChar('a') << "" << "." << "." << false;
    QTest::newRow("blank") << QChar(' ') << "" << "." << "." << false;
    QTest::newRow("first separator") << QChar('.') << "12" << "." << "." << true;
    QTest::newRow("second separator") << QChar('.') << "1.2" << "." << "." << false;
    QTest::newRow("system separator field is trimmed") << QChar('.') << "1.2" << " . " << "." << false;
    QTest::newRow("user separator differs from system") << QChar(',') << "1,2" << "." << "," << true;
    QTest::newRow("other separator") << QChar(',') << "" << "." << "." << false;
    QTest::newRow("empty system field") << QChar('.') << "1.2" << "" << "." << true;
}

void TestLimits::keyFilter()
{
    QFETCH(QChar, key);
    QFETCH(QString, text);
    QFETCH(QString, systemSeparator);
    QFETCH(QString, userSeparator);
    QFETCH(bool, accepted);
    QCOMPARE(limitKeyAccepted(key, text, systemSeparator, userSeparator), accepted);
}

void TestLimits::validation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");
    QTest::newRow("number stays") << "12.5" << "12.5";
    QTest::newRow("apostrophe restores") << "1'5" << "4000";
    QTest::newRow("empty restores") << "" << "4000";
    QTest::newRow("the sentinel restores") << "-999999" << "4000";
}

void TestLimits::validation()
{
    QFETCH(QString, text);
    QFETCH(QString, kept);
    QCOMPARE(validatedLimitText(text, QStringLiteral("4000"), QStringLiteral(".")), kept);
}

QTEST_GUILESS_MAIN(TestLimits)
#include "tst_limits.moc"
