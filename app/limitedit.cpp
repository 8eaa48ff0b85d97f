#include "app/limitedit.h"

#include "meter/limits.h"
#include "meter/localenumber.h"

#include <QKeyEvent>

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
    // Keys that type nothing (arrows, Delete, Tab between the controls) go
    // on as they are; of the typed ones only what a number needs.
    const QString text = event->text();
    const bool typesNothing = text.isEmpty() || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Tab
                              || event->key() == Qt::Key_Backtab;
    if (!typesNothing && !limitKeyAccepted(text.front(), this->text(), m_systemSeparator, m_userSeparator)) {
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
