#pragma once

#include "app/usermessages.h"

#include <QStringList>

#include <functional>

// Message boxes that return at once: each message is recorded as
// "information: text", "error: text", "confirm: text", "question TITLE: text",
// "save? text" or "open? text", and questions get the answer the test has set,
// after whileAsking (whileAskingHowToOpen for the open question) has run: what
// happens while a real box waits for the user.
class FakeMessages : public UserMessages
{
public:
    void information(QWidget *, const QString &text) override { shown << QStringLiteral("information: ") + text; }
    void error(QWidget *, const QString &text) override { shown << QStringLiteral("error: ") + text; }
    bool confirm(QWidget *, const QString &text) override
    {
        shown << QStringLiteral("confirm: ") + text;
        waitForAnswer();
        return answerYes;
    }

    bool ask(QWidget *, const QString &title, const QString &text) override
    {
        shown << QStringLiteral("question %1: %2").arg(title, text);
        waitForAnswer();
        return answerYes;
    }

    SaveChoice askToSave(QWidget *, const QString &text) override
    {
        shown << QStringLiteral("save? ") + text;
        waitForAnswer();
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
    std::function<void()> whileAsking;
    std::function<void()> whileAskingHowToOpen;

private:
    void waitForAnswer()
    {
        if (whileAsking)
            whileAsking();
    }
};
