#include "app/wholenumberedit.h"

#include "app/keyfilter.h"
#include "log/readinglogger.h"

#include <QValidator>

#include <algorithm>
#include <limits>

// Judges every change of the text, however it came (typed, pasted, dropped,
// from the context menu): digits of a number of the range, or on the way to
// one. Its fixup, which the edit runs when it is left or Return is pressed
// with a text short of the range, puts back the value in force.
class WholeNumberValidator : public QValidator
{
public:
    using QValidator::QValidator;

    qint32 minimum = 0;
    qint32 maximum = std::numeric_limits<qint32>::max();
    qint32 inForce = 0;

    State validate(QString &input, int &position) const override
    {
        // A number copied from elsewhere often brings blanks or a line end.
        if (std::any_of(input.cbegin(), input.cend(), [](QChar c) { return c.isSpace(); })) {
            input.removeIf([](QChar c) { return c.isSpace(); });
            position = std::min(position, int(input.size()));
        }
        if (input.isEmpty())
            return Intermediate;
        qsizetype firstDigit = 0;
        for (qsizetype i = 0; i < input.size(); ++i) {
            if (input.at(i) < u'0' || input.at(i) > u'9')
                return Invalid;
            if (input.at(i) == u'0' && firstDigit == i)
                ++firstDigit;
        }
        // Leading zeros add nothing; more digits than the largest number has
        // can only be larger.
        const qsizetype digits = input.size() - firstDigit;
        if (digits > std::numeric_limits<qint32>::digits10 + 1)
            return Invalid;
        const qint64 value = input.mid(firstDigit).toLongLong();
        if (value > maximum)
            return Invalid;
        return value < minimum ? Intermediate : Acceptable;
    }

    void fixup(QString &input) const override { input = QString::number(inForce); }
};

WholeNumberEdit::WholeNumberEdit(QWidget *parent)
    : QLineEdit(parent)
    , m_validator(new WholeNumberValidator(this))
{
    setValidator(m_validator);
}

void WholeNumberEdit::setRange(qint32 minimum, qint32 maximum)
{
    m_validator->minimum = minimum;
    m_validator->maximum = maximum;
}

void WholeNumberEdit::setValueInForce(qint32 value)
{
    m_validator->inForce = value;
}

qint32 WholeNumberEdit::valueInForce() const
{
    return m_validator->inForce;
}

void WholeNumberEdit::showValueInForce()
{
    setText(QString::number(m_validator->inForce));
}

void WholeNumberEdit::keyPressEvent(QKeyEvent *event)
{
    // Every other typed character, control characters included, is dropped;
    // the editing shortcuts reach the edit, whose validator judges what they
    // change.
    if (!isEditingShortcut(event) && keyTypesCharacter(event)
        && !ReadingLogger::wholeNumberKeyAccepted(event->text().front())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
