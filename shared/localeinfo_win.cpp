// The locale on Windows: the user's and the system's default locale as the
// Control Panel sets them, read with GetLocaleInfoEx and GetTimeFormatEx.

#include "shared/localeinfo.h"

#include <windows.h>

#include <cwchar>
#include <iterator>

namespace {

// The text of a locale item; empty when the query fails.
QString localeItem(LCID locale, LCTYPE item)
{
    wchar_t buffer[32] = {};
    const int n = GetLocaleInfoW(locale, item, buffer, int(std::size(buffer)));
    if (n <= 0)
        return {};
    return QString::fromWCharArray(buffer); // up to the terminating zero
}

class WindowsLocaleInfo : public LocaleInfo
{
public:
    const QString &userDecimalSeparator() const override
    {
        // The query is a lookup in the process's
        // copy of the user's settings; the text is rebuilt only when the
        // user changed the separator since the last call.
        wchar_t point[8] = {};
        if (GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, point, int(std::size(point))) <= 0)
            point[0] = 0;
        if (!m_valid || std::wcscmp(point, m_cachedRaw) != 0) {
            std::wcscpy(m_cachedRaw, point);
            m_cached = QString::fromWCharArray(point);
            m_valid = true;
        }
        return m_cached;
    }

    QString systemDecimalSeparator() const override
    {
        // By number: Wine knows no name for the system's default locale.
        return localeItem(LOCALE_SYSTEM_DEFAULT, LOCALE_SDECIMAL);
    }

    QString userTimeSeparator() const override
    {
        // Windows keeps a separator item, but the time format the user set
        // is what the log shows: read it off a sample time, between the
        // hours and the minutes.
        const QString sample = timeOfDayText(QTime(11, 22, 33));
        const qsizetype h = sample.indexOf(QLatin1String("11"));
        const qsizetype m = sample.indexOf(QLatin1String("22"));
        if (h >= 0 && m > h + 2)
            return sample.mid(h + 2, m - h - 2);
        return QStringLiteral(":");
    }

    QString timeOfDayText(const QTime &time) const override
    {
        SYSTEMTIME t{};
        t.wYear = 2000;
        t.wMonth = 1;
        t.wDay = 1;
        t.wHour = WORD(time.hour());
        t.wMinute = WORD(time.minute());
        t.wSecond = WORD(time.second());
        wchar_t buffer[64] = {};
        if (GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &t, nullptr, buffer, int(std::size(buffer))) <= 0)
            return time.toString(QStringLiteral("HH:mm:ss"));
        return QString::fromWCharArray(buffer);
    }

private:
    mutable wchar_t m_cachedRaw[8] = {};
    mutable QString m_cached;
    mutable bool m_valid = false;
};

} // namespace

std::unique_ptr<LocaleInfo> createSystemLocaleInfo()
{
    return std::make_unique<WindowsLocaleInfo>();
}
