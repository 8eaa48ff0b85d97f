#include "app/recoveryoffer.h"

#include "app/usermessages.h"
#include "log/abandonedjournal.h"
#include "log/tablefiles.h"
#include "session/metersession.h"

#include <QFileInfo>
#include <QStringList>

#include <memory>

bool offerJournalRecovery(const QString &dataFolder, MeterSession &session, UserMessages &messages, QWidget *parent)
{
    // Each journal is taken (locked) before anything is offered, so that a
    // window started at the same moment passes over it. What cannot be
    // recovered is put aside and told once, and never offered as readings.
    QStringList notices;
    const auto noteUnrecoverable = [&notices](const QString &name, const QString &reason, bool keptAside,
                                              const QString &keptOrWhy) {
        notices << (keptAside ? QStringLiteral("%1 cannot be recovered (%2). It is kept in the same folder as %3.")
                              : QStringLiteral("%1 cannot be recovered (%2), nor put aside: %3."))
                       .arg(name, reason, keptOrWhy);
    };
    // One journal is recovered at a time; after it, the others are still
    // gone through, for what is to be put aside or removed.
    bool recovered = false;
    for (const QString &name : AbandonedJournal::candidates(dataFolder)) {
        JournalFile::ClaimFailure failure = JournalFile::ClaimFailure::None;
        QString why;
        QString kept;
        const std::unique_ptr<AbandonedJournal> journal = AbandonedJournal::claim(name, &failure, &why);
        if (!journal) {
            // Another run has it, or has just taken it away: that run deals
            // with it.
            if (failure == JournalFile::ClaimFailure::Unusable) {
                QString notMoved;
                const bool keptAside = AbandonedJournal::setAside(name, &kept, &notMoved);
                noteUnrecoverable(name, why, keptAside, keptAside ? QFileInfo(kept).fileName() : notMoved);
            }
            continue;
        }
        if (journal->kind() == AbandonedJournal::Kind::Empty) {
            journal->remove(&why);
            continue;
        }
        if (journal->kind() == AbandonedJournal::Kind::Unrecoverable) {
            const bool keptAside = journal->setAside(&kept, &why);
            noteUnrecoverable(name, journal->problem(), keptAside, keptAside ? QFileInfo(kept).fileName() : why);
            continue;
        }
        if (recovered)
            continue;
        QString question = QStringLiteral("Recover %1 readings logged from %2 to %3?")
                               .arg(journal->readings())
                               .arg(journal->firstTime(), journal->lastTime());
        if (!journal->problem().isEmpty())
            question += QStringLiteral("\n\nThe rest of the journal %1 cannot be read (%2); the whole file is kept in "
                                       "the same folder as %3.")
                            .arg(name, journal->problem(), QFileInfo(journal->keptName()).fileName());
        if (!messages.ask(parent, QStringLiteral("Recover readings?"), question)) {
            if (!journal->setAside(&kept, &why))
                notices << QStringLiteral("%1 cannot be put aside: %2.").arg(name, why);
            continue;
        }
        recovered = true;
        QString error;
        if (session.recoverJournal(*journal, &error)) {
            // What could not be read stays in the file, put aside; the
            // recovered readings went on in a new journal.
            if (journal->holdsFile() && !journal->setAside(&kept, &why))
                notices << QStringLiteral("%1 cannot be put aside: %2.").arg(name, why);
        } else {
            // Not to be offered again at every start.
            if (journal->setAside(&kept, &why))
                error +=
                    QStringLiteral("\n\nThe journal is kept in the same folder as %1.").arg(QFileInfo(kept).fileName());
            else
                error += QStringLiteral("\n\nThe journal cannot be put aside: %1.").arg(why);
            messages.error(parent, loadFailedMessage(name, TableFileResult::failed(error)));
        }
    }
    if (!notices.isEmpty())
        messages.information(parent, notices.join(QStringLiteral("\n\n")));
    return recovered;
}
