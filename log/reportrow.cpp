#include "log/reportrow.h"

#include "log/logtable.h"

#include <QHash>

ReportRows reportRowsOf(const LogTable &table)
{
    ReportRows rows;
    rows.reserve(table.rowCount());
    // The table keeps each distinct text once; so does the snapshot, which
    // shares one QString per pooled text instead of copying it into every row.
    QHash<const QChar *, QString> shared;
    const auto text = [&](int row, LogField field) {
        const QStringView view = table.text(row, int(field));
        if (view.isEmpty())
            return QString();
        auto it = shared.find(view.data());
        if (it == shared.end())
            it = shared.insert(view.data(), view.toString());
        return *it;
    };
    for (int row = 0; row < table.rowCount(); ++row) {
        rows.append({table.displayText(row, int(LogField::No)), text(row, LogField::Time), text(row, LogField::DcAc),
                     text(row, LogField::Value), text(row, LogField::Unit), text(row, LogField::Auto)});
    }
    return rows;
}
