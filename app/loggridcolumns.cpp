#include "app/loggridcolumns.h"

#include "app/logcolumntexts.h"
#include "app/loggridview.h"
#include "log/logtable.h"
#include "session/metersession.h"

#include <QAbstractItemModel>

#include <algorithm>

LogGridColumns::LogGridColumns(LogGridView &grid, const QAbstractItemModel &model, MeterSession &session,
                               const LocaleInfo &locale)
    : m_grid(grid)
    , m_session(session)
    , m_locale(locale)
{
    fitColumns();
    connect(&model, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex &, int first, int last) { fitNumberColumn(first, last); });
}

void LogGridColumns::fitColumns()
{
    // Each column is as wide as its title and the widest text that logging
    // can put in it in the user's locale (a 12-hour time of sampling, say),
    // worked out once from the locale and the font, not from the rows; so
    // all six fit beside each other in the grid even with a 12-hour time.
    // Row numbers start with room for five digits, as in the design.
    LogGridView *grid = &m_grid;
    const auto fit = [grid](LogField field, const LogGridView::CellTexts &textsFor) {
        grid->fitColumn(int(field) - int(LogField::No), textsFor);
    };
    fit(LogField::No,
        [](const QFontMetrics &m) { return QStringList{LogColumnTexts::number(NumberDigitsShown, false, m)}; });
    fit(LogField::Time, [this](const QFontMetrics &m) { return LogColumnTexts::times(m_locale, m); });
    fit(LogField::DcAc, [](const QFontMetrics &) { return LogColumnTexts::functions(); });
    fit(LogField::Value,
        [this](const QFontMetrics &m) { return QStringList{LogColumnTexts::value(m_session.decimalSeparator(), m)}; });
    fit(LogField::Unit, [](const QFontMetrics &) { return LogColumnTexts::units(); });
    fit(LogField::Auto, [](const QFontMetrics &) { return LogColumnTexts::judgements(); });
}

void LogGridColumns::fitNumberColumn(int first, int last)
{
    // Row numbers grow without a bound known in advance (with Repeat off
    // they count frames, and a file brings its own): the column widens when
    // a row's number has more digits than it was fitted to. One integer a
    // row, never a measured text.
    const LogTable &log = m_session.log();
    const int noField = int(LogField::No);
    int digits = m_numberDigits;
    bool negative = m_negativeNumbers;
    for (int row = first; row <= last; ++row) {
        const std::optional<qint32> number = log.integer(row, noField);
        if (!number)
            continue;
        digits = std::max(digits, LogColumnTexts::digitCount(*number));
        negative = negative || *number < 0;
    }
    if (digits == m_numberDigits && negative == m_negativeNumbers)
        return;
    m_numberDigits = digits;
    m_negativeNumbers = negative;
    m_grid.widenColumn(0, [digits, negative](const QFontMetrics &metrics) {
        return QStringList{LogColumnTexts::number(digits, negative, metrics)};
    });
}
