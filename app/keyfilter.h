#pragma once

#include <QKeyEvent>
#include <QKeySequence>

// Whether a key types a character that an edit's key filter should judge.
// Keys that type nothing (arrows, Delete, Tab between the controls, Return
// and Escape, which end the editing) go on as they are.
inline bool keyTypesCharacter(const QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return false;
    default:
        return !event->text().isEmpty();
    }
}

// The editing shortcuts (select all, copy, cut, paste, undo, redo) carry a
// control character as their text; a key filter lets them through to the
// edit, which then judges what they change.
inline bool isEditingShortcut(const QKeyEvent *event)
{
    for (QKeySequence::StandardKey key : {QKeySequence::SelectAll, QKeySequence::Copy, QKeySequence::Cut,
                                          QKeySequence::Paste, QKeySequence::Undo, QKeySequence::Redo}) {
        if (event->matches(key))
            return true;
    }
    return false;
}
