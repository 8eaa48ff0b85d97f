#include "app/designlook.h"

#include "app/toolicons.h"
#include "shared/designfont.h"

#include "ui_mainwindow.h"

namespace {

struct WidgetFont
{
    const char *objectName;
    const char *family;
    int pixelSize;
    bool bold;
};

constexpr WidgetFont WidgetFonts[] = {
    {"portButton", "Arial", 16, true},         {"comButton", "Arial", 13, false},
    {"usbButton", "Arial", 13, false},         {"quitButton", "Arial", 13, false},
    {"repeatCheck", "Arial", 11, false},       {"samplingCheck", "Arial", 11, false},
    {"highLimitEdit", "Arial", 13, true},      {"lowLimitEdit", "Arial", 13, true},
    {"valueDisplay", "Arial", 21, true},       {"judgementLabel", "MS Sans Serif", 24, true},
    {"fillCheck", "MS Sans Serif", 11, false}, {"pageNumberButton", "MS Sans Serif", 11, false},
};

QColor infoColour()
{
    return QPalette().color(QPalette::ToolTipBase);
}

QFont windowFont()
{
    return designFont("MS Sans Serif", 11, true);
}

} // namespace

namespace DesignLook {

void setColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    if (palette.color(role) == colour)
        return;
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

void prepare(QMainWindow &window)
{
    window.setFont(windowFont());
}

void apply(QMainWindow &window, Ui::MainWindow &ui)
{
    ui.menuBar->setFont(designFont("MS Sans Serif", 12, false));
    for (const WidgetFont &f : WidgetFonts) {
        if (auto *w = window.findChild<QWidget *>(QString::fromLatin1(f.objectName)))
            w->setFont(designFont(f.family, f.pixelSize, f.bold));
    }
    // The Windows check box puts its caption closer to the box.
    for (QCheckBox *box : {ui.repeatCheck, ui.samplingCheck, ui.fillCheck})
        box->setStyleSheet(QStringLiteral("QCheckBox { spacing: 3px; }"));
    ui.logGrid->setRowHeight(18);

    // The designed size is the smallest and the first; a larger window
    // gives its room to the grid and the chart.
    ui.clientArea->setMinimumSize(663, 509);
    window.setMinimumSize(663, 509 + ui.menuBar->sizeHint().height());
    window.resize(window.minimumSize());
    window.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);

    ui.limitsPanel->setAutoFillBackground(true);
    setColour(ui.limitsPanel, QPalette::Window, Qt::white);
    setColour(ui.valueDisplay, QPalette::Base, infoColour());
    ui.judgementDisc->setBrushColor(infoColour());
    setColour(ui.pageNumberButton, QPalette::ButtonText, Qt::blue);

    ui.quitButton->setIcon(toolIcon(ToolIcon::Quit));
    ui.clearLogButton->setIcon(toolIcon(ToolIcon::CloseData));
    ui.openLogButton->setIcon(toolIcon(ToolIcon::OpenData));
    ui.saveLogButton->setIcon(toolIcon(ToolIcon::SaveData));
    ui.printLogButton->setIcon(toolIcon(ToolIcon::Print));
    ui.saveChartButton->setIcon(toolIcon(ToolIcon::SavePicture));
    ui.firstPageButton->setIcon(toolIcon(ToolIcon::FirstPage));
    ui.previousPageButton->setIcon(toolIcon(ToolIcon::PreviousPage));
    ui.nextPageButton->setIcon(toolIcon(ToolIcon::NextPage));
    ui.lastPageButton->setIcon(toolIcon(ToolIcon::LastPage));
    ui.enlargeChartButton->setIcon(toolIcon(ToolIcon::Enlarge));
    ui.restoreChartButton->setIcon(toolIcon(ToolIcon::Restore));
    ui.enlargeChartButton->setIconSize(QSize(20, 20));
    ui.restoreChartButton->setIconSize(QSize(20, 20));
    window.setWindowIcon(programIcon());
}

} // namespace DesignLook
