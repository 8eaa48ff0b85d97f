#include "meter/limits.h"

#include "shared/localenumber.h"

QString rewriteLimitText(const QString &text, const QString &decimalSeparator)
{
    // Without a known separator there is nothing to rewrite to; replacing by
    // the empty text would silently turn "1.5" into "15".
    if (decimalSeparator.isEmpty())
        return text;
    const QChar other = decimalSeparator == QLatin1String(".") ? u',' : u'.';
    const qsizetype at = text.indexOf(other);
    if (at < 0)
        return text;
    QString rewritten = text;
    rewritten.replace(at, 1, decimalSeparator);
    return rewritten;
}

bool limitKeyAccepted(QChar key, const QString &editText, const QString &systemDecimalSeparator,
                      const QString &userDecimalSeparator)
{
    const QString trimmed = systemDecimalSeparator.trimmed();
    const QChar systemSeparator = trimmed.isEmpty() ? QChar() : trimmed.front();
    // A second system separator is never accepted.
    if (!systemSeparator.isNull() && key == systemSeparator && editText.contains(systemSeparator))
        return false;
    if (key == QChar(8) || key == u'\'' || key == u'+' || key == u'-' || key == u'`')
        return true;
    if (key >= u'0' && key <= u'9')
        return true;
    return !userDecimalSeparator.isEmpty() && key == userDecimalSeparator.front();
}

QString validatedLimitText(const QString &text, const QString &lastValid, const QString &decimalSeparator)
{
    return localeNumberOrSentinel(text, decimalSeparator) == NotANumber ? lastValid : text;
}

Judgement judgeValue(QStringView valueText, QStringView highText, QStringView lowText, QStringView decimalSeparator)
{
    const double high = localeNumberOrSentinel(highText, decimalSeparator);
    if (high == NotANumber)
        return Judgement::NotJudged;
    const double low = localeNumberOrSentinel(lowText, decimalSeparator);
    if (low == NotANumber)
        return Judgement::NotJudged;
    const double value = localeNumberOrSentinel(valueText, decimalSeparator);
    if (value == NotANumber)
        return Judgement::Fail;
    return (low <= value && value <= high) ? Judgement::Pass : Judgement::Fail;
}

Judgement LimitJudge::judge(QStringView valueText, const QString &highText, const QString &lowText,
                            const QString &decimalSeparator)
{
    if (!m_read || highText != m_highText || lowText != m_lowText || decimalSeparator != m_separator) {
        m_highText = highText;
        m_lowText = lowText;
        m_separator = decimalSeparator;
        m_high = localeNumberOrSentinel(highText, decimalSeparator);
        m_low = localeNumberOrSentinel(lowText, decimalSeparator);
        m_read = true;
    }
    if (m_high == NotANumber || m_low == NotANumber)
        return Judgement::NotJudged;
    const double value = localeNumberOrSentinel(valueText, decimalSeparator);
    if (value == NotANumber)
        return Judgement::Fail;
    return (m_low <= value && value <= m_high) ? Judgement::Pass : Judgement::Fail;
}
