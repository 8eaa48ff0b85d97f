#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/qm320application.h"
#include "app/startwindow.h"

#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    // Read before the application object exists, so that --help, --version
    // and a wrong command line need no display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const StartCommand start = parseStartCommand(arguments);
    if (start.action == StartCommand::Action::Print) {
        std::fputs(start.text.toLocal8Bit().constData(), stdout);
        return start.exitCode;
    }
    if (start.action == StartCommand::Action::Fail) {
        std::fprintf(stderr, "qm320: %s\n", start.text.toLocal8Bit().constData());
        return start.exitCode;
    }

    Qm320Application app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(QM320_VERSION));
    // The menu entry's name, by which a Wayland desktop finds the window's icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(QM320_APP_ID));
    MainWindow window(systemWindowServices());
    window.centreOnScreen();
    window.show();
    // Once the window shows: rows an earlier run could not save are offered,
    // then what the command line asked for is done, so that a message box
    // has the window for its parent.
    QTimer::singleShot(0, &window, [&window, options = start.options] {
        window.offerRecovery();
        applyStartOptions(window, options);
    });
    return app.exec();
}
