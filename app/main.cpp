#include "app/mainwindow.h"
#include "app/qm320application.h"

#include <QTimer>

int main(int argc, char *argv[])
{
    Qm320Application app(argc, argv);
    MainWindow window(systemWindowServices());
    window.centreOnScreen();
    window.show();
    // Once the window shows: rows an earlier run could not save are offered.
    QTimer::singleShot(0, &window, &MainWindow::offerRecovery);
    return app.exec();
}
