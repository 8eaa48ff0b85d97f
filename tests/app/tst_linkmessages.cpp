#include "app/linkmessages.h"
#include "session/metersession.h"

#include <QtTest>

// What the window says when a link fails: the program's words, then the
// port or cable, its device and the reason, each once.
class TestLinkMessages : public QObject
{
    Q_OBJECT
private slots:
    void messages_data();
    void messages();
};

void TestLinkMessages::messages_data()
{
    using Kind = LinkFailure::Kind;
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<bool>("reconnecting");
    QTest::addColumn<QString>("shown");   // "error: ..." or "notice: ...", empty for none

    const QString lost = QStringLiteral("error: The link to the meter is lost.\n\n");
    QTest::newRow("port lost, opened by its name")
        << int(Kind::PortLost) << "COM1" << "/dev/ttyUSB0" << "COM1 (/dev/ttyUSB0): the device hung up" << false
        << lost + "COM1 (/dev/ttyUSB0): the device hung up.";
    QTest::newRow("port lost after it was taken up again by the adapter's name")
        << int(Kind::PortLost) << "COM1" << "/dev/serial/by-id/usb-FTDI_A1-if00-port0"
        << "/dev/serial/by-id/usb-FTDI_A1-if00-port0: the device hung up" << false
        << lost + "COM1 (/dev/serial/by-id/usb-FTDI_A1-if00-port0): the device hung up.";
    QTest::newRow("port named by its device")
        << int(Kind::PortLost) << "/dev/ttyUSB1" << "/dev/ttyUSB1" << "/dev/ttyUSB1: Input/output error" << false
        << lost + "/dev/ttyUSB1: Input/output error.";
    QTest::newRow("a lost port waits for its device: the button says so")
        << int(Kind::PortLost) << "COM1" << "/dev/ttyUSB0" << "COM1 (/dev/ttyUSB0): the device hung up" << true << "";
    QTest::newRow("cable lost") << int(Kind::CableLost) << "USB to Serial" << "/dev/hidraw0"
                                << "the cable was unplugged" << false
                                << lost + "USB to Serial (/dev/hidraw0): the cable was unplugged.";
    const QString notConnected =
        QStringLiteral("notice: USB interface cable is not securely connected, please check and re-try.");
    QTest::newRow("no cable plugged in") << int(Kind::CableNotFound) << "" << "" << "" << false << notConnected;
    QTest::newRow("no cable at the path asked for")
        << int(Kind::CableNotFound) << "" << "/dev/hidraw9" << "No such file or directory" << false
        << notConnected + "\n\n/dev/hidraw9: No such file or directory";
}

void TestLinkMessages::messages()
{
    LinkFailure failure;
    QFETCH(int, kind);
    QFETCH(QString, port);
    QFETCH(QString, device);
    QFETCH(QString, detail);
    QFETCH(bool, reconnecting);
    failure.kind = LinkFailure::Kind(kind);
    failure.port = port;
    failure.device = device;
    failure.detail = detail;
    failure.reconnecting = reconnecting;

    const std::optional<LinkMessage> message = linkFailureMessage(failure);
    const QString shown = message ? (message->error ? QStringLiteral("error: ") : QStringLiteral("notice: ")) + message->text
                                  : QString();
    QTEST(shown, "shown");
}

QTEST_APPLESS_MAIN(TestLinkMessages)
#include "tst_linkmessages.moc"
