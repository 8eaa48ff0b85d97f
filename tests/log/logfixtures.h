#pragma once

#include "log/logtable.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QTest>

#include <optional>

// One row of the log as plain values, for building and comparing tables.
struct LogRow
{
    std::optional<qint32> no;
    std::optional<QString> time;
    std::optional<QString> dcAc;
    std::optional<QString> value;
    std::optional<QString> unit;
    std::optional<QString> judge;
    std::optional<qint32> nval;

    bool operator==(const LogRow &) const = default;
};
using LogRows = QList<LogRow>;
Q_DECLARE_METATYPE(LogRow)
Q_DECLARE_METATYPE(std::optional<qint32>)

// A row as logging writes it.
inline LogRow loggedRow(qint32 no, const QString &time, const QString &dcAc, const QString &value,
                        const QString &unit, const QString &judge)
{
    return LogRow{no, time, dcAc, value, unit, judge, std::nullopt};
}

inline void appendRow(LogTable &table, const LogRow &r, bool pendingInsert = true)
{
    QVERIFY(table.append());
    const auto text = [&](LogField f, const std::optional<QString> &v) {
        if (v)
            table.setText(int(f), *v);
    };
    if (r.no)
        table.setInteger(int(LogField::No), *r.no);
    text(LogField::Time, r.time);
    text(LogField::DcAc, r.dcAc);
    text(LogField::Value, r.value);
    text(LogField::Unit, r.unit);
    text(LogField::Auto, r.judge);
    if (r.nval)
        table.setInteger(int(LogField::NVal), *r.nval);
    table.post(pendingInsert);
}

inline void fillTable(LogTable &table, const LogRows &rows)
{
    for (const LogRow &r : rows)
        appendRow(table, r);
}

inline LogRow rowAt(const LogTable &table, int row)
{
    const auto text = [&](LogField f) -> std::optional<QString> {
        if (!table.hasValue(row, int(f)))
            return std::nullopt;
        return table.text(row, int(f)).toString();
    };
    return LogRow{table.integer(row, int(LogField::No)), text(LogField::Time), text(LogField::DcAc),
                  text(LogField::Value), text(LogField::Unit), text(LogField::Auto),
                  table.integer(row, int(LogField::NVal))};
}

inline LogRows rowsOf(const LogTable &table)
{
    LogRows rows;
    for (int i = 0; i < table.rowCount(); ++i)
        rows.append(rowAt(table, i));
    return rows;
}

inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

namespace QTest {
template<>
inline char *toString(const LogRow &r)
{
    const auto i = [](const std::optional<qint32> &v) { return v ? QString::number(*v) : QStringLiteral("-"); };
    const auto t = [](const std::optional<QString> &v) {
        return v ? QLatin1Char('"') + *v + QLatin1Char('"') : QStringLiteral("-");
    };
    return qstrdup(QStringLiteral("{%1 %2 %3 %4 %5 %6 %7}")
                       .arg(i(r.no), t(r.time), t(r.dcAc), t(r.value), t(r.unit), t(r.judge), i(r.nval))
                       .toUtf8()
                       .constData());
}
} // namespace QTest
