// What the program asks of Windows besides its links: the locale's decimal
// separator and time format, the caption's processor, the folders of the
// journal and the settings, and the font files it ships.

#include "app/windowcaption.h"
#include "app/windowsettings.h"
#include "log/logjournal.h"
#include "meter/designfont.h"
#include "meter/localeinfo.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <windows.h>

namespace {

// Sets an item of the user's locale for the length of a test, as the
// Control Panel would, and puts the old value back afterwards.
class UserLocaleItem
{
public:
    UserLocaleItem(LCTYPE item, const wchar_t *value)
        : m_item(item)
    {
        GetLocaleInfoW(LOCALE_USER_DEFAULT, item, m_old, int(std::size(m_old)));
        m_set = SetLocaleInfoW(LOCALE_USER_DEFAULT, item, value);
    }
    ~UserLocaleItem()
    {
        if (m_set)
            SetLocaleInfoW(LOCALE_USER_DEFAULT, m_item, m_old);
    }
    bool isSet() const { return m_set; }

private:
    LCTYPE m_item;
    wchar_t m_old[80] = {};
    bool m_set = false;
};

QString localAppData()
{
    return QDir::fromNativeSeparators(qEnvironmentVariable("LOCALAPPDATA"));
}

} // namespace

class TestPlatformWin : public QObject
{
    Q_OBJECT

private slots:
    void decimalSeparatorFollowsTheUser_data();
    void decimalSeparatorFollowsTheUser();
    void timeOfDayInTheUsersFormat_data();
    void timeOfDayInTheUsersFormat();
    void captionNamesTheProcessor();
    void journalAndSettingsLiveInLocalAppData();
    void designFontsAreTheFilesBesideTheProgram();
};

void TestPlatformWin::decimalSeparatorFollowsTheUser_data()
{
    QTest::addColumn<QString>("separator");
    QTest::newRow("comma") << ",";
    QTest::newRow("point") << ".";
    QTest::newRow("a longer one") << "::";
}

void TestPlatformWin::decimalSeparatorFollowsTheUser()
{
    QFETCH(QString, separator);
    const std::unique_ptr<LocaleInfo> locale = createSystemLocaleInfo();
    const QString before = locale->userDecimalSeparator();
    QVERIFY(!before.isEmpty());
    {
        // Changed while the program runs: the next frame shows it.
        const UserLocaleItem item(LOCALE_SDECIMAL, reinterpret_cast<const wchar_t *>(separator.utf16()));
        if (!item.isSet())
            QSKIP("this system does not let the user's locale be changed");
        QCOMPARE(locale->userDecimalSeparator(), separator);
        QCOMPARE(locale->userDecimalSeparator(), separator);
    }
    QCOMPARE(locale->userDecimalSeparator(), before);
    // The system's default locale is not the user's: it is there, and stays.
    QVERIFY(!locale->systemDecimalSeparator().isEmpty());
}

void TestPlatformWin::timeOfDayInTheUsersFormat_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("evening");
    QTest::addColumn<QString>("separator");
    QTest::newRow("24 hours") << "HH:mm:ss" << "22:15:03" << ":";
    QTest::newRow("12 hours") << "h:mm:ss tt" << "10:15:03 PM" << ":";
    QTest::newRow("points") << "HH.mm.ss" << "22.15.03" << ".";
}

void TestPlatformWin::timeOfDayInTheUsersFormat()
{
    QFETCH(QString, format);
    QFETCH(QString, evening);
    QFETCH(QString, separator);
    const UserLocaleItem item(LOCALE_STIMEFORMAT, reinterpret_cast<const wchar_t *>(format.utf16()));
    if (!item.isSet())
        QSKIP("this system does not let the user's locale be changed");
    const std::unique_ptr<LocaleInfo> locale = createSystemLocaleInfo();
    QCOMPARE(locale->timeOfDayText(QTime(22, 15, 3)), evening);
    QCOMPARE(locale->userTimeSeparator(), separator);
}

void TestPlatformWin::captionNamesTheProcessor()
{
    // The builds are for x64; what runs them is an x64 processor too.
    QCOMPARE(nativeMachine(), QStringLiteral("x86_64"));
    QCOMPARE(captionSuffix(nativeMachine()), QStringLiteral("(x64)"));
}

void TestPlatformWin::journalAndSettingsLiveInLocalAppData()
{
    QVERIFY(!localAppData().isEmpty());
    QCOMPARE(LogJournal::defaultFolder(), localAppData() + QStringLiteral("/qm320"));
    QCOMPARE(WindowSettings::defaultFile(), localAppData() + QStringLiteral("/qm320/qm320.conf"));
}

void TestPlatformWin::designFontsAreTheFilesBesideTheProgram()
{
    // The build puts the files beside this test as beside the programs, and
    // the zip and the installer ship that folder: what is looked for is
    // there, and nothing else is.
    const QDir fonts(QCoreApplication::applicationDirPath() + QStringLiteral("/fonts"));
    QStringList lookedFor;
    for (DesignFontFile file : {DesignFontFile::Sans, DesignFontFile::SansBold, DesignFontFile::Mono}) {
        const QString path = designFontFilePath(file);
        QCOMPARE(QFileInfo(path).absolutePath(), fonts.absolutePath());
        QCOMPARE(designFontSource(file), path);
        lookedFor << QFileInfo(path).fileName();
    }
    lookedFor.sort();
    QCOMPARE(fonts.entryList({QStringLiteral("*.ttf"), QStringLiteral("*.otf")}, QDir::Files, QDir::Name), lookedFor);
    QCOMPARE(designFamily(DesignFace::Sans), QStringLiteral("qm320 Sans"));
    QCOMPARE(designFamily(DesignFace::Mono), QStringLiteral("qm320 Mono"));
}

QTEST_MAIN(TestPlatformWin)
#include "tst_platform_win.moc"
