#pragma once

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
QString validatedLimitText(const QString &text, const QString &lastValid,
                           const QString &decimalSeparator);

enum class Judgement { NotJudged, Pass, Fail };

// Judges a displayed value against the limit texts. NotJudged when either
// limit is not a number; Fail when the value is not a number (over-range);
// otherwise Pass when low <= value <= high.
Judgement judgeValue(QStringView valueText, QStringView highText, QStringView lowText,
                     QStringView decimalSeparator);

// The texts the judgement writes into JudgeText.
QString judgeText(Judgement j);
