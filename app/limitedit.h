#pragma once

#include <QLineEdit>
#include <QString>
#include <QTimer>

// An edit for a limit of the Pass/Fail judgement. Its key filter refuses
// typed characters that cannot be part of a number, and lets the editing
// shortcuts through; half a second after the last change, a text that is not
// a number is put back to the last valid one.
class LimitEdit : public QLineEdit
{
    Q_OBJECT
public:
    static constexpr int RevertDelayMs = 500;

    explicit LimitEdit(QWidget *parent = nullptr);

    // The user's decimal separator (what a number is read with and the key
    // filter lets in once) and the system's (never twice in the text).
    void setDecimalSeparators(const QString &user, const QString &system);
    QString userDecimalSeparator() const { return m_userSeparator; }

    QString lastValidText() const { return m_lastValid; }
    // What a text that is not a number is put back to; a revert that is
    // pending for the present text is dropped.
    void setLastValidText(const QString &text);
    bool isRevertPending() const { return m_revertTimer.isActive(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void validate();

    QTimer m_revertTimer;
    QString m_lastValid;
    QString m_userSeparator;
    QString m_systemSeparator;
};
