#pragma once

#include <QApplication>

#include <functional>

// The application object, in the program's style. An error that an event handler raises and does not
// handle ends up here: its message is shown in a message box and the program
// goes on with the next event.
class Qm320Application : public QApplication
{
    Q_OBJECT
public:
    Qm320Application(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;

    // What shows the message; a message box titled "Error" unless replaced.
    using ErrorDisplay = std::function<void(const QString &message)>;
    void setErrorDisplay(ErrorDisplay display) { m_errorDisplay = std::move(display); }

private:
    void showError(const QString &message);

    ErrorDisplay m_errorDisplay;
    bool m_showingError = false;
};
