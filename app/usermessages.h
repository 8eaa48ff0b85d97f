#pragma once

#include <QString>

class QWidget;

// The message boxes the window shows. The window asks through this interface
// so that tests answer questions and read messages without a modal loop.
class UserMessages
{
public:
    virtual ~UserMessages() = default;

    // A box titled "Information" with an OK button.
    virtual void information(QWidget *parent, const QString &text) = 0;
    // A box titled "Error" with an OK button.
    virtual void error(QWidget *parent, const QString &text) = 0;
    // A Yes/No question with the information icon, titled "Information";
    // true for Yes.
    virtual bool confirm(QWidget *parent, const QString &text) = 0;
    // A Yes/No question with the question icon, under a title that names
    // the question; true for Yes.
    virtual bool ask(QWidget *parent, const QString &title, const QString &text) = 0;
    // A question with the buttons Save, Discard and Cancel, the question icon
    // and the title SaveQuestionTitle.
    enum class SaveChoice { Save, Discard, Cancel };
    virtual SaveChoice askToSave(QWidget *parent, const QString &text) = 0;
    static constexpr const char *SaveQuestionTitle = "Save the readings?";
    // Before a text file opens into a log with unsaved rows: add the file's
    // rows after them (the default), replace the log, or cancel.
    enum class OpenChoice { Add, Replace, Cancel };
    virtual OpenChoice askHowToOpen(QWidget *parent, const QString &text) = 0;
};
