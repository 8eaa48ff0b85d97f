#include "meter/historylist.h"

HistoryList::HistoryList(QObject *parent)
    : QAbstractListModel(parent)
{ }

int HistoryList::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_lines.size());
}

QVariant HistoryList::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_lines.size() || role != Qt::DisplayRole)
        return {};
    return m_lines.at(index.row());
}

void HistoryList::addLine(const QString &line)
{
    if (m_lines.size() >= MaxLines) {
        // Removing from the front of a QList only moves its start.
        const int drop = int(m_lines.size()) - MaxLines + 1;
        beginRemoveRows({}, 0, drop - 1);
        m_lines.remove(0, drop);
        endRemoveRows();
    }
    const int row = int(m_lines.size());
    beginInsertRows({}, row, row);
    m_lines.append(line);
    endInsertRows();
    m_selected = row;
    emit lineSelected(row);
}

void HistoryList::clear()
{
    beginResetModel();
    m_lines.clear();
    m_selected = -1;
    endResetModel();
}
