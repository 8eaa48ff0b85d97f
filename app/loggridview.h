#pragma once

#include <QAbstractItemModel>
#include <QAbstractScrollArea>
#include <QPointer>
#include <QStringList>

#include <functional>

class QFontMetrics;
class QHeaderView;

// The log grid: a read-only grid of whole rows under a header of
// column titles. The log may hold ten million rows, so the grid keeps no
// per-row state at all: every row has the same height, the vertical scroll
// bar counts rows, and painting asks the model only for the rows in view.
// Appending a row therefore costs the same at row ten million as at row one.
class LogGridView : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit LogGridView(QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model);
    QAbstractItemModel *model() const { return m_model; }
    QHeaderView *horizontalHeader() const { return m_header; }

    void setRowHeight(int pixels);
    int rowHeight() const { return m_rowHeight; }
    void setColumnWidth(int column, int width);
    // Gives `column` the width that shows its title and each of the cell
    // texts whole, bold as well (the wider): the texts are made for the
    // cells' font, as the widest ones depend on its digits.
    using CellTexts = std::function<QStringList(const QFontMetrics &)>;
    void fitColumn(int column, const CellTexts &textsFor);
    // The same, but the column only ever grows: a width the user gave it,
    // or that it has, stays when it is enough.
    void widenColumn(int column, const CellTexts &textsFor);
    int columnWidth(int column) const;

    // The row shown as selected; -1 for none. Setting it scrolls it into view.
    int currentRow() const { return m_currentRow; }
    void setCurrentRow(int row);
    void scrollToRow(int row);
    // The log moved its current row (a logged row): the grid follows it only
    // while the user looks at the end, as log viewers do, so that nobody is
    // pulled away from the rows they are reading.
    void followRow(int row);
    bool followsEnd() const { return m_followEnd; }

    // First row in view and the number of rows that fit.
    int firstVisibleRow() const;
    int visibleRowCount() const;
    int rowAt(int y) const;

signals:
    void currentRowChanged(int row);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void rowsInserted(int first, int last);
    void modelReset();
    void updateScrollBars();
    void layoutHeader();
    void updateRows(int first, int last);
    int widthToShow(int column, const CellTexts &textsFor) const;

    QPointer<QAbstractItemModel> m_model;
    QHeaderView *m_header = nullptr;
    int m_rowHeight = 18;
    int m_currentRow = -1;
    int m_rowCount = 0;
    bool m_followEnd = true;
};
