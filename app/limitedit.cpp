#include "app/limitedit.h"

#include "app/keyfilter.h"
#include "meter/limits.h"
#include "shared/localenumber.h"

LimitEdit::LimitEdit(QWidget *parent)
    : QLineEdit(parent)
{
    m_revertTimer.setInterval(RevertDelayMs);
    connect(this, &QLineEdit::textChanged, &m_revertTimer, qOverload<>(&QTimer::start));
    connect(&m_revertTimer, &QTimer::timeout, this, &LimitEdit::validate);
}

void LimitEdit::setDecimalSeparators(const QString &user, const QString &system)
{
    m_userSeparator = user;
    m_systemSeparator = system;
}

void LimitEdit::setLastValidText(const QString &text)
{
    m_lastValid = text;
    m_revertTimer.stop();
}

void LimitEdit::keyPressEvent(QKeyEvent *event)
{
    // Of the typed characters only what a number needs. The editing
    // shortcuts work as in any edit; a pasted text that is not a number is
    // put back like a typed one.
    if (!isEditingShortcut(event) && keyTypesCharacter(event)
        && !limitKeyAccepted(event->text().front(), text(), m_systemSeparator, m_userSeparator)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void LimitEdit::validate()
{
    if (localeNumberOrSentinel(text(), m_userSeparator) == NotANumber)
        setText(m_lastValid);
    m_lastValid = text();
    m_revertTimer.stop();
}
