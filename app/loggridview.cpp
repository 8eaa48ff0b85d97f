#include "app/loggridview.h"

#include <QAbstractItemModel>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

LogGridView::LogGridView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    m_header = new QHeaderView(Qt::Horizontal, this);
    m_header->setSectionsClickable(false);
    m_header->setHighlightSections(false);
    m_header->setSectionResizeMode(QHeaderView::Interactive);
    m_header->setStretchLastSection(false);
    m_header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    connect(m_header, &QHeaderView::sectionResized, this, [this] {
        updateScrollBars();
        viewport()->update();
    });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, m_header, &QHeaderView::setOffset);
    // A new font or new titles change the header's height.
    connect(m_header, &QHeaderView::geometriesChanged, this, &LogGridView::layoutHeader);

    // The grid draws a flat border of its own kind.
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setLineWidth(1);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(1);
    // Wherever the view is moved to, by the user or to show a row: it
    // follows the end from then on when it is at the end.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this,
            [this](int value) { m_followEnd = value >= verticalScrollBar()->maximum(); });
    viewport()->setBackgroundRole(QPalette::Base);
    layoutHeader();
}

void LogGridView::setModel(QAbstractItemModel *model)
{
    if (m_model)
        disconnect(m_model, nullptr, this, nullptr);
    m_model = model;
    m_header->setModel(model);
    m_currentRow = -1;
    m_rowCount = model ? model->rowCount() : 0;
    if (model) {
        connect(model, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &parent, int first, int last) {
            if (!parent.isValid())
                rowsInserted(first, last);
        });
        connect(model, &QAbstractItemModel::rowsRemoved, this, &LogGridView::modelReset);
        connect(model, &QAbstractItemModel::layoutChanged, this, &LogGridView::modelReset);
        connect(model, &QAbstractItemModel::dataChanged, viewport(), qOverload<>(&QWidget::update));
        // The header forgets its section sizes when the model is reset;
        // the widths the user gave the columns survive an emptied log.
        auto widths = std::make_shared<std::vector<int>>();
        connect(model, &QAbstractItemModel::modelAboutToBeReset, this, [this, widths] {
            widths->clear();
            for (int c = 0; c < m_header->count(); ++c)
                widths->push_back(m_header->sectionSize(c));
        });
        connect(model, &QAbstractItemModel::modelReset, this, [this, widths] {
            for (int c = 0; c < int(widths->size()) && c < m_header->count(); ++c)
                m_header->resizeSection(c, (*widths)[std::size_t(c)]);
            modelReset();
        });
    }
    layoutHeader();
    updateScrollBars();
    viewport()->update();
}

void LogGridView::setRowHeight(int pixels)
{
    m_rowHeight = std::max(1, pixels);
    updateScrollBars();
    viewport()->update();
}

void LogGridView::setColumnWidth(int column, int width)
{
    m_header->resizeSection(column, width);
}

void LogGridView::fitColumn(int column, const CellTexts &textsFor)
{
    setColumnWidth(column, widthToShow(column, textsFor));
}

void LogGridView::widenColumn(int column, const CellTexts &textsFor)
{
    const int width = widthToShow(column, textsFor);
    if (width > columnWidth(column))
        setColumnWidth(column, width);
}

int LogGridView::widthToShow(int column, const CellTexts &textsFor) const
{
    // A cell's text sits 2 px inside each side (the grid line takes the
    // last pixel of the right one); the title keeps the header's margins.
    constexpr int CellPadding = 4;
    const int titlePadding = 2 * m_header->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, m_header);
    QFont cellFont = font();
    QFont titleFont = m_header->font();
    cellFont.setBold(true);
    titleFont.setBold(true);
    const auto advance = [](const QFont &font, const QString &text) {
        return int(std::ceil(QFontMetricsF(font).horizontalAdvance(text)));
    };
    int width = 0;
    for (const QString &text : textsFor(QFontMetrics(cellFont)))
        width = std::max(width, advance(cellFont, text) + CellPadding);
    if (m_model)
        width =
            std::max(width, advance(titleFont, m_model->headerData(column, Qt::Horizontal).toString()) + titlePadding);
    return width;
}

int LogGridView::columnWidth(int column) const
{
    return m_header->sectionSize(column);
}

int LogGridView::firstVisibleRow() const
{
    return verticalScrollBar()->value();
}

int LogGridView::visibleRowCount() const
{
    // Rows that fit whole; the one below them shows in part.
    return std::max(1, viewport()->height() / m_rowHeight);
}

int LogGridView::rowAt(int y) const
{
    const int row = firstVisibleRow() + y / m_rowHeight;
    return (y >= 0 && row < m_rowCount) ? row : -1;
}

void LogGridView::setCurrentRow(int row)
{
    if (row < -1 || row >= m_rowCount)
        return;
    const int old = m_currentRow;
    m_currentRow = row;
    if (row >= 0)
        scrollToRow(row);
    if (old != row) {
        updateRows(old, old);
        updateRows(row, row);
        emit currentRowChanged(row);
    }
}

void LogGridView::followRow(int row)
{
    if (m_followEnd) {
        setCurrentRow(row);
        return;
    }
    if (row < -1 || row >= m_rowCount || row == m_currentRow)
        return;
    const int old = m_currentRow;
    m_currentRow = row;
    updateRows(old, old);
    updateRows(row, row);
    emit currentRowChanged(row);
}

void LogGridView::scrollToRow(int row)
{
    QScrollBar *bar = verticalScrollBar();
    const int first = bar->value();
    if (row < first)
        bar->setValue(row);
    else if (row >= first + visibleRowCount())
        bar->setValue(row - visibleRowCount() + 1);
}

void LogGridView::rowsInserted(int first, int last)
{
    m_rowCount = m_model ? m_model->rowCount() : 0;
    updateScrollBars();
    // Rows appended below the view need no repaint; the scroll bar shows them.
    if (first <= firstVisibleRow() + visibleRowCount())
        updateRows(first, last);
}

void LogGridView::modelReset()
{
    m_rowCount = m_model ? m_model->rowCount() : 0;
    m_currentRow = -1;
    updateScrollBars();
    viewport()->update();
}

void LogGridView::updateRows(int first, int last)
{
    if (first < 0 || last < first)
        return;
    const int top = firstVisibleRow();
    const int bottom = top + visibleRowCount();
    if (last < top || first > bottom)
        return;
    const int y1 = (std::max(first, top) - top) * m_rowHeight;
    const int y2 = (std::min(last, bottom) - top + 1) * m_rowHeight;
    viewport()->update(0, y1, viewport()->width(), y2 - y1);
}

void LogGridView::updateScrollBars()
{
    QScrollBar *v = verticalScrollBar();
    v->setPageStep(visibleRowCount());
    v->setRange(0, std::max(0, m_rowCount - visibleRowCount()));
    QScrollBar *h = horizontalScrollBar();
    h->setPageStep(viewport()->width());
    h->setSingleStep(10);
    h->setRange(0, std::max(0, m_header->length() - viewport()->width()));
}

void LogGridView::layoutHeader()
{
    const int height = m_header->sizeHint().height();
    setViewportMargins(0, height, 0, 0);
    const QRect vp = viewport()->geometry();
    m_header->setGeometry(vp.left(), vp.top() - height, vp.width(), height);
}

void LogGridView::resizeEvent(QResizeEvent *event)
{
    // A grid made smaller (a line below it takes room) still shows the end
    // when it showed the end, and the current row when it showed that. The
    // scroll bar's page is still the old number of rows.
    const bool atEnd = m_followEnd;
    const int first = firstVisibleRow();
    const bool currentShown = m_currentRow >= first && m_currentRow < first + verticalScrollBar()->pageStep();
    QAbstractScrollArea::resizeEvent(event);
    layoutHeader();
    updateScrollBars();
    if (atEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
    else if (currentShown)
        scrollToRow(m_currentRow);
}

void LogGridView::scrollContentsBy(int dx, int dy)
{
    // The vertical bar counts rows, the horizontal one pixels. Moving the
    // pixels already drawn leaves only the uncovered strip to paint: while
    // logging, that is the one new row at the bottom.
    const int pixels = dy * m_rowHeight;
    if (std::abs(pixels) < viewport()->height() && std::abs(dx) < viewport()->width())
        viewport()->scroll(dx, pixels);
    else
        viewport()->update();
}

void LogGridView::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QPalette &pal = palette();
    painter.fillRect(event->rect(), pal.brush(QPalette::Base));
    if (!m_model)
        return;

    const int first = firstVisibleRow();
    const int last = std::min(m_rowCount - 1, first + visibleRowCount());
    const int columns = m_header->count();
    const QColor gridColour(QRgb(style()->styleHint(QStyle::SH_Table_GridLineColor, nullptr, this)));
    const int width = viewport()->width();

    // Font and alignment are the same down a column: asked once a paint.
    struct Column
    {
        int logical;
        int x;
        int width;
        QFont font;
        Qt::Alignment alignment;
    };
    std::vector<Column> shown;
    for (int visual = 0; visual < columns; ++visual) {
        const int column = m_header->logicalIndex(visual);
        const int x = m_header->sectionViewportPosition(column);
        const int w = m_header->sectionSize(column);
        if (x >= width || x + w <= 0)
            continue;
        const QModelIndex index = m_model->index(first, column);
        const QVariant font = index.data(Qt::FontRole);
        const QVariant align = index.data(Qt::TextAlignmentRole);
        shown.push_back({column, x, w, font.isValid() ? font.value<QFont>() : this->font(),
                         align.isValid() ? Qt::Alignment(align.toInt()) : Qt::Alignment(Qt::AlignLeft)});
    }

    for (int row = first; row <= last; ++row) {
        const int y = (row - first) * m_rowHeight;
        const QRect rowRect(0, y, width, m_rowHeight);
        if (!rowRect.intersects(event->rect()))
            continue;
        const bool current = row == m_currentRow;
        if (current)
            painter.fillRect(QRect(0, y, std::min(width, m_header->length() - m_header->offset()), m_rowHeight),
                             pal.brush(QPalette::Highlight));
        painter.setPen(pal.color(current ? QPalette::HighlightedText : QPalette::Text));
        for (const Column &column : shown) {
            painter.setFont(column.font);
            painter.drawText(QRect(column.x + 2, y, column.width - 4, m_rowHeight - 1),
                             int(column.alignment | Qt::AlignVCenter),
                             m_model->index(row, column.logical).data(Qt::DisplayRole).toString());
            painter.fillRect(column.x + column.width - 1, y, 1, m_rowHeight, gridColour);
        }
        painter.fillRect(0, y + m_rowHeight - 1, std::min(width, m_header->length() - m_header->offset()), 1,
                         gridColour);
    }
}

void LogGridView::mousePressEvent(QMouseEvent *event)
{
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0)
        setCurrentRow(row);
    QAbstractScrollArea::mousePressEvent(event);
}

void LogGridView::keyPressEvent(QKeyEvent *event)
{
    if (m_rowCount == 0)
        return QAbstractScrollArea::keyPressEvent(event);
    const int page = visibleRowCount();
    const int row = std::max(m_currentRow, 0);
    int target = -1;
    switch (event->key()) {
    case Qt::Key_Up:
        target = row - 1;
        break;
    case Qt::Key_Down:
        target = row + 1;
        break;
    case Qt::Key_PageUp:
        target = row - page;
        break;
    case Qt::Key_PageDown:
        target = row + page;
        break;
    case Qt::Key_Home:
        target = 0;
        break;
    case Qt::Key_End:
        target = m_rowCount - 1;
        break;
    default:
        return QAbstractScrollArea::keyPressEvent(event);
    }
    setCurrentRow(std::clamp(target, 0, m_rowCount - 1));
}
