#include "app/wholenumberedit.h"

#include "app/keyfilter.h"
#include "log/readinglogger.h"


void WholeNumberEdit::keyPressEvent(QKeyEvent *event)
{
    // Every other typed character, control characters such as Ctrl+V
    // included, is dropped.
    if (keyTypesCharacter(event) && !ReadingLogger::wholeNumberKeyAccepted(event->text().front())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
