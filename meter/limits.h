#pragma once

#include "meter/reading.h"

#include <QChar>
#include <QString>
#include <QStringView>

// The rules behind the two limit edits and the Pass/Fail judgement.

// Replaces the first occurrence of the other separator ("," when the locale
// uses ".", "." otherwise) by the locale's separator; later ones stay.
QString rewriteLimitText(const QString &text, const QString &decimalSeparator);

// Key filter of a limit edit: digits, signs, Backspace, the apostrophe and
// the backquote, and the user's decimal separator pass; a second system
// decimal separator does not. The system separator is read as its first
// character after blanks are trimmed.
bool limitKeyAccepted(QChar key, const QString &editText, const QString &systemDecimalSeparator,
                      const QString &userDecimalSeparator);

// What a limit edit holds once its validation timer fires: the text itself
// when it is a number, else the last valid text.
QString validatedLimitText(const QString &text, const QString &lastValid, const QString &decimalSeparator);

using Judgement = Reading::Judgement;

// Judges a displayed value against the limit texts. NotJudged when either
// limit is not a number; Fail when the value is not a number (over-range);
// otherwise Pass when low <= value <= high.
Judgement judgeValue(QStringView valueText, QStringView highText, QStringView lowText, QStringView decimalSeparator);

// judgeValue for a stream of readings: the limits are read as numbers once
// for as long as their texts and the separator stay the same, so that a
// frame reads only its own value.
class LimitJudge
{
public:
    Judgement judge(QStringView valueText, const QString &highText, const QString &lowText,
                    const QString &decimalSeparator);

private:
    QString m_highText, m_lowText, m_separator;
    double m_high = 0, m_low = 0;
    bool m_read = false;
};
