// A window that logs from COM1 with its journal in a given folder and prints
// every row it logs, as the table file holds it; or, started again, recovers
// the journal a killed run left and prints the rows it recovered. The
// recovery test kills the first and compares with the second.
//
//   journalchild log FOLDER        (QM320_COM1 names the port)
//   journalchild recover FOLDER

#include "app/mainwindow.h"
#include "fakemessages.h"
#include "log/logtable.h"
#include "log/logtextwriter.h"
#include "session/metersession.h"
#include "shared/localeinfo.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

namespace {

void printRow(const LogTable &log, int row)
{
    LogTextWriter format(log);
    QByteArray line;
    format.appendRow(line, row);
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3)
        return 2;
    const QByteArray mode(argv[1]);

    WindowServices services;
    services.locale = std::make_unique<FixedLocaleInfo>();
    auto messages = std::make_unique<FakeMessages>();
    messages->answerYes = true;   // "Recover ... readings?"
    services.messages = std::move(messages);
    services.serialBackend = createSerialBackend();
    services.machine = QStringLiteral("x86_64");
    services.dataFolder = QString::fromLocal8Bit(argv[2]);
    MainWindow window(std::move(services));
    MeterSession &session = window.session();

    if (mode == "recover") {
        window.offerRecovery();
        for (int row = 0; row < session.log().rowCount(); ++row)
            printRow(session.log(), row);
        return 0;
    }
    QObject::connect(&session, &MeterSession::rowLogged, &session,
                     [&session](int row) { printRow(session.log(), row); });
    QTimer::singleShot(0, &window, [&window] { window.setComLink(true); });
    return app.exec();
}
