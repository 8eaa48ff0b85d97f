#pragma once

#include <QLineEdit>

class WholeNumberValidator;

// An edit for a whole number of a range (the sampling interval, the chart's
// page size). Of the typed characters only digits and Backspace pass; the
// editing shortcuts work as in any edit. An entry that no further typing can
// bring into the range (letters pasted, a number above the largest) is
// refused, and the text stays as it was. A text short of the range (empty,
// "0") stays while the user types, and the value in force comes back when
// the edit is left or Return is pressed, or when the owner finds the text is
// not a value to apply.
class WholeNumberEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit WholeNumberEdit(QWidget *parent = nullptr);

    void setRange(qint32 minimum, qint32 maximum);
    // The value the program uses now; what the edit shows again instead of
    // a text that is not a number of the range.
    void setValueInForce(qint32 value);
    qint32 valueInForce() const;
    void showValueInForce();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    WholeNumberValidator *m_validator = nullptr;
};
