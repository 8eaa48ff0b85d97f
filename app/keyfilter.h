#pragma once

#include <QKeyEvent>

// Whether a key types a character that an edit's key filter should judge.
// Keys that type nothing (arrows, Delete, Tab between the controls) go on as
// they are.
inline bool keyTypesCharacter(const QKeyEvent *event)
{
    return !event->text().isEmpty() && event->key() != Qt::Key_Delete && event->key() != Qt::Key_Tab
           && event->key() != Qt::Key_Backtab;
}
