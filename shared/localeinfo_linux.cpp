#include "shared/localeinfo.h"

#include <QFile>

#include <clocale>
#include <ctime>
#include <langinfo.h>
#include <locale.h>

namespace {

// The locale name that the machine's configuration gives for numbers:
// LC_NUMERIC, else LANG, from /etc/default/locale (Debian) or /etc/locale.conf.
QByteArray systemNumericLocaleName()
{
    for (const char *path : {"/etc/default/locale", "/etc/locale.conf"}) {
        QFile file(QString::fromLatin1(path));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        QByteArray lang, numeric, all;
        while (!file.atEnd()) {
            QByteArray line = file.readLine().trimmed();
            if (line.startsWith('#') || !line.contains('='))
                continue;
            const qsizetype eq = line.indexOf('=');
            const QByteArray key = line.left(eq).trimmed();
            QByteArray value = line.mid(eq + 1).trimmed();
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.mid(1, value.size() - 2);
            if (key == "LC_ALL")
                all = value;
            else if (key == "LC_NUMERIC")
                numeric = value;
            else if (key == "LANG")
                lang = value;
        }
        if (!all.isEmpty())
            return all;
        if (!numeric.isEmpty())
            return numeric;
        if (!lang.isEmpty())
            return lang;
    }
    return "C";
}

class LinuxLocaleInfo : public LocaleInfo
{
public:
    const QString &userDecimalSeparator() const override
    {
        // localeconv() is cheap; the QString is rebuilt only when the
        // process locale changed since the last call.
        const char *point = std::localeconv()->decimal_point;
        if (!point)
            point = "";
        if (m_cachedRaw != point) {
            m_cachedRaw = point;
            m_cached = QString::fromLocal8Bit(point);
        }
        return m_cached;
    }

    QString systemDecimalSeparator() const override
    {
        locale_t loc = newlocale(LC_NUMERIC_MASK, systemNumericLocaleName().constData(), locale_t(nullptr));
        if (loc == locale_t(nullptr))
            return {};
        const QString separator = QString::fromLocal8Bit(nl_langinfo_l(RADIXCHAR, loc));
        freelocale(loc);
        return separator;
    }

    QString userTimeSeparator() const override
    {
        // Every logged row asks: the answer is worked out again only when
        // the process's time locale is another one.
        const char *name = std::setlocale(LC_TIME, nullptr);
        if (!name)
            name = "";
        if (m_timeLocale != name) {
            m_timeLocale = name;
            m_timeSeparator = timeSeparatorOfLocale();
        }
        return m_timeSeparator;
    }

    QString timeOfDayText(const QTime &time) const override
    {
        std::tm tm{};
        tm.tm_hour = time.hour();
        tm.tm_min = time.minute();
        tm.tm_sec = time.second();
        tm.tm_mday = 1;
        tm.tm_year = 100;
        char buffer[64];
        const std::size_t n = std::strftime(buffer, sizeof buffer, "%X", &tm);
        if (n == 0)
            return time.toString(QStringLiteral("HH:mm:ss"));
        return QString::fromLocal8Bit(buffer, qsizetype(n));
    }

private:
    QString timeSeparatorOfLocale() const
    {
        // The locale states no separator of its own; read it off its time
        // format, between the hours and the minutes of a sample time.
        const QString sample = timeOfDayText(QTime(11, 22, 33));
        const qsizetype h = sample.indexOf(QLatin1String("11"));
        const qsizetype m = sample.indexOf(QLatin1String("22"));
        if (h >= 0 && m > h + 2)
            return sample.mid(h + 2, m - h - 2);
        return QStringLiteral(":");
    }

    mutable QByteArray m_cachedRaw = QByteArray("\x01");
    mutable QString m_cached;
    mutable QByteArray m_timeLocale = QByteArray("\x01");
    mutable QString m_timeSeparator;
};

} // namespace

std::unique_ptr<LocaleInfo> createSystemLocaleInfo()
{
    return std::make_unique<LinuxLocaleInfo>();
}
