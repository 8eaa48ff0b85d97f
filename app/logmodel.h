#pragma once

#include "log/logtable.h"

#include <QAbstractTableModel>
#include <QFont>

#include <array>

// The grid's model of the log table: six columns (NVal has none),
// read-only, whole rows. Appends are announced as inserted rows, emptying as
// a reset; the model counts only the rows it has announced, so a view never
// sees a row that the table posts during a bulk read before it is told.
class LogModel : public QAbstractTableModel, private LogTableListener
{
    Q_OBJECT

public:
    struct Column
    {
        LogField field;
        const char *title;
        int width;               // pixels at 96 dpi
        Qt::Alignment alignment; // of the cells
    };
    static const std::array<Column, 6> &columns();

    // The stored text of a cell (the unit as the table keeps it, "k*"),
    // where the display role shows the unit's symbols ("kΩ").
    static constexpr int StoredTextRole = Qt::UserRole + 1;

    // Cells in "Arial" 12 pixels, titles in "MS Sans Serif" 11 pixels. The
    // Unit column's LCD symbol font is replaced by the cell font: the column
    // shows the symbols themselves.
    static QFont cellFont();
    static QFont titleFont();

    explicit LogModel(LogTable &table, QObject *parent = nullptr);
    ~LogModel() override;

    LogTable &table() const { return m_table; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

signals:
    // The table's current row moved (a posted row, an open, a save); the grid
    // scrolls to it. -1 when the table was emptied.
    void currentRowChanged(int row);

private:
    void rowsAppended(int first, int last) override;
    void tableAboutToBeEmptied() override;
    void tableEmptied() override;
    void tableCurrentRowChanged(int row) override;

    LogTable &m_table;
    int m_rows = 0;
    QFont m_cellFont;
    QFont m_titleFont;
};
