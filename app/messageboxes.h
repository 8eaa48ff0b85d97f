#pragma once

#include "app/usermessages.h"

// UserMessages shown as modal message boxes.
class MessageBoxes : public UserMessages
{
public:
    void information(QWidget *parent, const QString &text) override;
    void error(QWidget *parent, const QString &text) override;
    bool confirm(QWidget *parent, const QString &text) override;
    bool ask(QWidget *parent, const QString &title, const QString &text) override;
    SaveChoice askToSave(QWidget *parent, const QString &text) override;
    OpenChoice askHowToOpen(QWidget *parent, const QString &text) override;
};
