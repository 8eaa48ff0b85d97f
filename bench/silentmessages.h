#pragma once

#include "app/usermessages.h"

// Message boxes that never wait for a click: a benchmark has nobody to
// answer them. Questions are answered "no" and "cancel"; the last error is kept.
class SilentMessages : public UserMessages
{
public:
    void information(QWidget *, const QString &) override { }
    void error(QWidget *, const QString &text) override { lastError = text; }
    bool confirm(QWidget *, const QString &) override { return false; }
    bool ask(QWidget *, const QString &, const QString &) override { return false; }
    SaveChoice askToSave(QWidget *, const QString &) override { return SaveChoice::Cancel; }
    OpenChoice askHowToOpen(QWidget *, const QString &) override { return OpenChoice::Cancel; }
    QString lastError;
};
