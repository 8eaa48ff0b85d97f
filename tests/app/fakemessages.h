#pragma once

#include "app/usermessages.h"

#include <QStringList>

#include <functional>

// Message boxes that return at once: each message is recorded as
// "information: text", "error: text", "confirm: text", "save? text" or
// "open? text", and questions get the answer the test has set.
class FakeMessages : public UserMessages
{
public:
    void information(QWidget *, const QString &text) override { shown << QStringLiteral("information: ") + text; }
    void error(QWidget *, const QString &text) override { shown << QStringLiteral("error: ") + text; }
    bool confirm(QWidget *, const QString &text) override
    {
        shown << QStringLiteral("confirm: ") + text;
        return answerYes;
    }

    SaveChoice askToSave(QWidget *, const QString &text) override
    {
        shown << QStringLiteral("save? ") + text;
        return saveChoice;
    }

    OpenChoice askHowToOpen(QWidget *, const QString &text) override
    {
        shown << QStringLiteral("open? ") + text;
        if (whileAskingHowToOpen)
            whileAskingHowToOpen();
        return openChoice;
    }

    QStringList shown;
    bool answerYes = false;
    SaveChoice saveChoice = SaveChoice::Cancel;
    OpenChoice openChoice = OpenChoice::Cancel;
    std::function<void()> whileAskingHowToOpen;   // what happens while the question is open
};
