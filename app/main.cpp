#include "app/mainwindow.h"
#include "app/qm320application.h"

int main(int argc, char *argv[])
{
    Qm320Application app(argc, argv);
    MainWindow window(systemWindowServices());
    window.centreOnScreen();
    window.show();
    return app.exec();
}
