#pragma once

#include <QString>

class MeterSession;
class UserMessages;
class QWidget;

// At start: offers the rows of a journal that an earlier run left in
// `dataFolder`, one journal at a time, and puts aside or removes what is not
// recovered. True when a recovery went into the session's log (whole or in
// part), so that what shows the log redraws.
bool offerJournalRecovery(const QString &dataFolder, MeterSession &session, UserMessages &messages, QWidget *parent);
