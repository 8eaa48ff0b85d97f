#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QTimer>

#include <memory>

class ChartPager;
class MeterSession;
class UserMessages;
class WindowDialogs;
class QWidget;

namespace Ui {
class MainWindow;
}

// The chart and its toolbar: Fill, the page size, the page buttons and
// their counter, the picture, enlarge and restore. It pages the chart as
// rows are logged and redraws it from the log when the log is replaced.
class ChartControls : public QObject
{
    Q_OBJECT

public:
    static constexpr int DefaultPageSize = 100;

    // Wires itself to the chart's widgets in `ui`; `window` is what the
    // enlarged chart covers and where questions are asked.
    ChartControls(Ui::MainWindow &ui, QWidget &window, MeterSession &session, UserMessages &messages,
                  WindowDialogs &dialogs);
    ~ChartControls() override;

    const ChartPager &pager() const { return *m_pager; }

    void addPoint(double value);
    // The chart shows what the grid shows: every row's value.
    void redrawFromLog();
    // No points: the log was emptied.
    void reset();

    void setFill(bool fill);
    bool fills() const;
    void showFirstPage();
    void showPreviousPage();
    void showNextPage();
    void showLastPage();
    void applyPageSize();
    // Applies the page size's edit a second from now, unless it changes
    // again meanwhile.
    void applyPageSizeSoon();
    void enlargeChart();
    void restoreChart();
    // Where the chart goes while it is not enlarged, as the window's size
    // gives it; an enlarged chart follows the window's size instead.
    void setChartPlace(const QRect &place);
    bool isEnlarged() const { return m_enlarged; }
    void saveChartPicture();
    void saveChartPictureFile(const QString &fileName);

    QString pictureFolder() const { return m_pictureFolder; }
    void setPictureFolder(const QString &folder) { m_pictureFolder = folder; }

signals:
    // The chart is back in its place; what it covered shows again.
    void chartRestored();

private:
    void showPageNumber();
    void turnPage(void (ChartPager::*turn)());
    QList<QWidget *> coveredByEnlargedChart() const;

    Ui::MainWindow &m_ui;
    QWidget &m_window;
    MeterSession &m_session;
    UserMessages &m_messages;
    WindowDialogs &m_dialogs;
    std::unique_ptr<ChartPager> m_pager;
    QTimer m_pageSizeTimer;
    bool m_enlarged = false;
    QRect m_restoredChart;    // the chart's bounds while it is enlarged
    QPoint m_restoredToolbar; // and its toolbar's place
    QString m_pictureFolder;  // last folder of the picture's dialog
};
