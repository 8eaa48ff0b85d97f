#pragma once

#include "log/localecodec.h"
#include "log/logdating.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Reads a journal once from its start, in pieces of any size, and tells what
// of it can be recovered: whether it is a journal of this program at all (its
// first line is the header the journal writes), and how many of the lines
// after it are readings - each a row as the journal writes it, six cells with
// a row number and a time that is a time - up to the first line that is not.
// That line stops the check, so a file of garbage costs no more than its
// first line, and memory stays within one line whatever the file.
//
// A last line without its line end is one the system had not finished
// writing when the run ended: it is no reading and no fault, unless it could
// not be part of one (a NUL byte, more than a row's length).
class JournalCheck
{
public:
    // No row the journal writes comes near this (six cells of at most
    // twenty characters); a longer line is no row, whatever follows.
    static constexpr qsizetype MaxLineBytes = 1024;

    // Takes the next piece of the file. False once the answer is known and
    // the rest of the file does not matter.
    bool feed(QByteArrayView piece);
    // The file ended.
    void finish();

    // No header line, and no more than the beginning of one: a run that
    // ended before its journal got its first line.
    bool isEmpty() const { return m_lineNumber == 0 && m_problem.isEmpty(); }
    // The first line is the journal's header.
    bool isJournal() const { return m_isJournal; }
    qint64 readings() const { return m_readings; }
    // The bytes of the header and the readings: what can be recovered.
    qint64 usableBytes() const { return m_usableBytes; }
    // Why the check stopped before the end ("line 12: a NUL byte"); empty
    // when every complete line is a reading.
    const QString &problem() const { return m_problem; }
    // The Time cells of the first and the last reading, as text.
    const QString &firstTime() const { return m_firstTime; }
    QString lastTime();
    // The readings' times of day, walked for the days between them.
    const LogDating &dating() const { return m_dating; }

    // The time of day as the log writes it in any locale: three numbers of
    // one or two digits for the hour, minute and second (any script's
    // digits), with whatever the locale puts around them ("10:15:03 PM",
    // "22.15.03", "22時15分03秒").
    static bool isTimeText(QStringView text);

private:
    void checkLine(QByteArrayView line);
    // What is wrong with a reading's line (without its line end); empty
    // when it is one, or when it is cut short and could still become one.
    QString readingProblem(QByteArrayView line, bool cutShort);
    void stop(const QString &what);

    LocaleCodec m_codec;
    QByteArray m_line; // the line being gathered, never longer than MaxLineBytes
    qint64 m_lineNumber = 0;
    bool m_stopped = false;
    bool m_isJournal = false;
    qint64 m_readings = 0;
    qint64 m_usableBytes = 0;
    QString m_problem;
    QString m_firstTime;
    LogDating m_dating;
    QByteArray m_timeBytes;     // the Time cell of the line being checked
    QByteArray m_lastTimeBytes; // and of the last reading
    QByteArray m_unquoted;
    QString m_text;
};
