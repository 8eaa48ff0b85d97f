#pragma once

#include <QLineEdit>

// An edit for a whole number (the sampling interval, the chart's page size):
// of the typed characters only digits and Backspace pass.
class WholeNumberEdit : public QLineEdit
{
    Q_OBJECT
public:
    using QLineEdit::QLineEdit;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
