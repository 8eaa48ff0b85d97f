#include "app/wholenumberedit.h"

#include "log/readinglogger.h"

#include <QKeyEvent>

void WholeNumberEdit::keyPressEvent(QKeyEvent *event)
{
    // Every other typed character, control characters such as Ctrl+V
    // included, is dropped; keys that type nothing go on as they are.
    const QString text = event->text();
    const bool typesNothing = text.isEmpty() || event->key() == Qt::Key_Delete || event->key() == Qt::Key_Tab
                              || event->key() == Qt::Key_Backtab;
    if (!typesNothing && !ReadingLogger::wholeNumberKeyAccepted(text.front())) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}
