#pragma once

#include <QAbstractListModel>
#include <QStringList>

// The diagnostic history of the USB link: report lines, arrivals, removals,
// read errors and set-up reports. A cable that keeps sending would grow it
// without end, so it keeps the newest MaxLines lines.
class HistoryList : public QAbstractListModel
{
    Q_OBJECT
public:
    static constexpr int MaxLines = 10000;

    explicit HistoryList(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // Appends a line and makes it the selected one.
    void addLine(const QString &line);
    void clear();

    QString line(int row) const { return m_lines.at(row); }
    const QStringList &lines() const { return m_lines; }
    int selectedRow() const { return m_selected; }

signals:
    void lineSelected(int row);

private:
    QStringList m_lines;
    int m_selected = -1;
};
