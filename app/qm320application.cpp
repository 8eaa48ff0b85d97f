#include "app/qm320application.h"

#include "app/programstyle.h"
#include "shared/designfont.h"

#include <QMessageBox>

#include <exception>

Qm320Application::Qm320Application(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setStyle(new ProgramStyle);
    // A desktop that names no font of its own leaves Qt's generic "Sans
    // Serif". The program's dialogs and message boxes then take the window's
    // face at that size, as they would on the system the window was designed
    // for; and each edit field, which lays itself out in the application
    // font the moment it is made, needs no face the window does not use
    // (loading one costs more than any other step of building the window).
    QFont systemFont = font();
    if (systemFont.family() == QLatin1String("Sans Serif")) {
        systemFont.setFamilies({designFamily("MS Sans Serif")});
        setFont(systemFont);
    }
}

bool Qm320Application::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        showError(QString::fromUtf8(e.what()));
    } catch (...) {
        showError(tr("An unexpected error occurred."));
    }
    return false;
}

void Qm320Application::showError(const QString &message)
{
    if (m_errorDisplay) {
        m_errorDisplay(message);
        return;
    }
    // The box runs its own event loop; an error raised while it is open is
    // shown after it, not on top of it.
    if (m_showingError) {
        qWarning("%s", qPrintable(message));
        return;
    }
    m_showingError = true;
    QMessageBox::critical(activeWindow(), tr("Error"), message);
    m_showingError = false;
}
