#pragma once

#include <QObject>

class LocaleInfo;
class LogGridView;
class MeterSession;
class QAbstractItemModel;

// The widths of the log grid's columns: each as wide as its title and the
// widest text that logging can put in it in the user's locale, and the
// "No." column widened as row numbers outgrow it.
class LogGridColumns : public QObject
{
    Q_OBJECT

public:
    static constexpr int NumberDigitsShown = 5;

    // Fits the columns of `grid`, which shows `model` of the session's log,
    // and follows the rows the model gains.
    LogGridColumns(LogGridView &grid, const QAbstractItemModel &model, MeterSession &session, const LocaleInfo &locale);

private:
    void fitColumns();
    void fitNumberColumn(int first, int last);

    LogGridView &m_grid;
    MeterSession &m_session;
    const LocaleInfo &m_locale;
    int m_numberDigits = NumberDigitsShown; // the row numbers the No. column fits
    bool m_negativeNumbers = false;
};
