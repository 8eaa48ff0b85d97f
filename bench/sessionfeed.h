#pragma once

#include "session/metersession.h"

#include <QByteArray>
#include <QCoreApplication>

// What the logging benchmarks feed a session with.
namespace SessionFeed {

// DC volts, auto-ranging, a value that changes with every frame.
inline QByteArray voltFrame(int count)
{
    QByteArray f("+0000 1");
    const QByteArray digits = QByteArray::number(count % 4000).rightJustified(4, '0');
    f.replace(1, 4, digits);
    f.append(char(0x30)).append('\0').append('\0').append(char(0x80)).append('\0').append("\r\n");
    return f;
}

// Logs readings until `target` rows are logged, through the whole path but
// without painting between rows: the table takes them as one bulk, and the
// frames go in batches, as the port delivers them. Returns the rows logged.
inline long fillTo(MeterSession &session, long logged, long target)
{
    session.log().beginBulk();
    QByteArray batch;
    for (; logged < target; ++logged) {
        batch += voltFrame(int(logged));
        if (batch.size() >= 14 * 4096) {
            session.feedSerialBytes(batch);
            batch.clear();
        }
    }
    session.feedSerialBytes(batch);
    session.log().endBulk();
    QCoreApplication::processEvents();
    return logged;
}

} // namespace SessionFeed
