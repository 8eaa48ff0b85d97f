#include "shared/localeinfo.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <clocale>

// The Linux locale queries against real locales, compiled into a temporary
// folder with localedef so the test does not depend on what the machine has
// generated.
class TestLocaleInfo : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void userLocale_data();
    void userLocale();

private:
    QTemporaryDir m_dir;
    QStringList m_available;
};

void TestLocaleInfo::initTestCase()
{
    QVERIFY(m_dir.isValid());
    for (const char *name : {"de_DE", "en_US"}) {
        QProcess localedef;
        localedef.start(QStringLiteral("localedef"),
                        {QStringLiteral("-i"), QString::fromLatin1(name), QStringLiteral("-f"), QStringLiteral("UTF-8"),
                         m_dir.filePath(QString::fromLatin1(name) + QStringLiteral(".UTF-8"))});
        if (localedef.waitForFinished(60000) && localedef.exitStatus() == QProcess::NormalExit
            && localedef.exitCode() <= 1)
            m_available << QString::fromLatin1(name);
    }
    qputenv("LOCPATH", QFile::encodeName(m_dir.path()));
}

void TestLocaleInfo::cleanupTestCase()
{
    std::setlocale(LC_ALL, "C");
}

void TestLocaleInfo::userLocale_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("timeSeparator");
    QTest::addColumn<QString>("eveningTime");

    QTest::newRow("C") << "C" << "." << ":" << "22:15:03";
    QTest::newRow("German") << "de_DE" << "," << ":" << "22:15:03";
    QTest::newRow("US English: 12-hour time") << "en_US" << "." << ":" << "10:15:03 PM";
}

void TestLocaleInfo::userLocale()
{
    QFETCH(QString, locale);
    QFETCH(QString, decimal);
    QFETCH(QString, timeSeparator);
    QFETCH(QString, eveningTime);
    if (locale != QLatin1String("C") && !m_available.contains(locale))
        QSKIP("localedef could not build this locale here");
    const QByteArray name = locale == QLatin1String("C") ? QByteArray("C") : (locale + QStringLiteral(".UTF-8")).toLatin1();
    QVERIFY(std::setlocale(LC_ALL, name.constData()));

    const auto info = createSystemLocaleInfo();
    QCOMPARE(info->userDecimalSeparator(), decimal);
    QCOMPARE(info->userTimeSeparator(), timeSeparator);
    QCOMPARE(info->timeOfDayText(QTime(22, 15, 3)), eveningTime);
    // The system's default locale does not follow the process locale.
    QVERIFY(!info->systemDecimalSeparator().isEmpty());
}

QTEST_GUILESS_MAIN(TestLocaleInfo)
#include "tst_localeinfo.moc"
