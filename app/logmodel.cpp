#include "app/logmodel.h"

#include "log/unitsymbols.h"
#include "shared/designfont.h"

#include <QFontMetrics>
#include <QSize>

namespace {

const std::array<LogModel::Column, 6> Columns{{
    {LogField::No, "No.", 39, Qt::AlignRight | Qt::AlignVCenter},
    {LogField::Time, "Time", 53, Qt::AlignHCenter | Qt::AlignVCenter},
    {LogField::DcAc, "Function", 42, Qt::AlignHCenter | Qt::AlignVCenter},
    {LogField::Value, "Value", 51, Qt::AlignRight | Qt::AlignVCenter},
    {LogField::Unit, "Unit", 36, Qt::AlignRight | Qt::AlignVCenter},
    {LogField::Auto, "Judge", 38, Qt::AlignLeft | Qt::AlignVCenter},
}};

} // namespace

const std::array<LogModel::Column, 6> &LogModel::columns()
{
    return Columns;
}

QFont LogModel::cellFont()
{
    return designFont("Arial", 12);
}

QFont LogModel::titleFont()
{
    return designFont("MS Sans Serif", 11);
}

LogModel::LogModel(LogTable &table, QObject *parent)
    : QAbstractTableModel(parent)
    , m_table(table)
    , m_rows(table.rowCount())
    , m_cellFont(cellFont())
    , m_titleFont(titleFont())
{
    m_table.addListener(this);
}

LogModel::~LogModel()
{
    m_table.removeListener(this);
}

int LogModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int LogModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(Columns.size());
}

QVariant LogModel::data(const QModelIndex &index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Column &column = Columns[std::size_t(index.column())];
    const int field = int(column.field);
    switch (role) {
    case Qt::DisplayRole:
        if (column.field == LogField::Unit)
            return lcdUnitText(m_table.text(index.row(), field));
        return m_table.displayText(index.row(), field);
    case StoredTextRole:
        return m_table.displayText(index.row(), field);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(column.alignment);
    case Qt::FontRole:
        return m_cellFont;
    default:
        return {};
    }
}

QVariant LogModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= int(Columns.size()))
        return QAbstractTableModel::headerData(section, orientation, role);
    const Column &column = Columns[std::size_t(section)];
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromLatin1(column.title);
    case Qt::FontRole:
        return m_titleFont;
    case Qt::SizeHintRole:
        // The design width, and a title row as high as its text needs.
        return QSize(column.width, QFontMetrics(m_titleFont).height() + 4);
    default:
        return {};
    }
}

Qt::ItemFlags LogModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

void LogModel::rowsAppended(int first, int last)
{
    // A model made during a bulk read already counts the rows it found.
    first = std::max(first, m_rows);
    if (last < first)
        return;
    beginInsertRows(QModelIndex(), first, last);
    m_rows = last + 1;
    endInsertRows();
}

void LogModel::tableAboutToBeEmptied()
{
    beginResetModel();
}

void LogModel::tableEmptied()
{
    m_rows = 0;
    endResetModel();
}

void LogModel::tableCurrentRowChanged(int row)
{
    emit currentRowChanged(row);
}
