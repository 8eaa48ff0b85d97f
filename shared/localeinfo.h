#pragma once

#include <QString>
#include <QTime>

#include <memory>

// What the program asks of the user's and the system's locale. A session
// reads the decimal separator once, when it starts.
class LocaleInfo
{
public:
    virtual ~LocaleInfo() = default;

    // Decimal separator of the user's locale; empty when it cannot be read.
    virtual const QString &userDecimalSeparator() const = 0;
    // Decimal separator of the system's default locale; empty when unknown.
    virtual QString systemDecimalSeparator() const = 0;
    // Separator between hours, minutes and seconds in the user's locale.
    virtual QString userTimeSeparator() const = 0;
    // The locale's own text for a time of day (may be a 12-hour form).
    virtual QString timeOfDayText(const QTime &time) const = 0;
};

// A locale with fixed answers: for tests, and for tools that are told which
// separator to use.
class FixedLocaleInfo : public LocaleInfo
{
public:
    explicit FixedLocaleInfo(QString decimalSeparator = QStringLiteral("."), QString systemDecimalSeparator = QString(),
                             QString timeSeparator = QStringLiteral(":"),
                             QString timeFormat = QStringLiteral("HH:mm:ss"));

    const QString &userDecimalSeparator() const override { return m_decimal; }
    QString systemDecimalSeparator() const override { return m_systemDecimal; }
    QString userTimeSeparator() const override { return m_timeSeparator; }
    QString timeOfDayText(const QTime &time) const override;

    void setUserDecimalSeparator(const QString &s) { m_decimal = s; }
    void setUserTimeSeparator(const QString &s) { m_timeSeparator = s; }

private:
    QString m_decimal;
    QString m_systemDecimal;
    QString m_timeSeparator;
    QString m_timeFormat;
};

// The locale of this process and of this machine: the user's locale is the
// one the environment selects (LC_ALL, LC_NUMERIC, LC_TIME, LANG), the
// system's default is the one named in /etc/default/locale or
// /etc/locale.conf. The process locale must have been set from the
// environment (setlocale(LC_ALL, "")) before use. On Windows both are the
// default locales of the user and of the system as the Control Panel sets them.
std::unique_ptr<LocaleInfo> createSystemLocaleInfo();
