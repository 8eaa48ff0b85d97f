// The window on Windows, end to end: the program's window with the system's
// serial port, locale and platform reads a simulated meter on COM1, logs its
// rows, saves them as tab-separated text and as an XML data packet, and saves
// the Data Report as PDF from its print preview. The frames it decoded go to
// a capture file, from which the test script has the Linux qm320-cli write
// the same table and report, and compares them.
//
// Needs QM320_TEST_COM (the simulator's port) and QM320_TEST_OUT (a folder
// for the files); skipped otherwise. The script runs it on a display, as the
// offscreen platform under Wine never reports a window shown.

#include "app/mainwindow.h"
#include "app/reportpreviewdialog.h"
#include "app/windowcaption.h"
#include "fakedialogs.h"
#include "fakemessages.h"
#include "session/metersession.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

namespace {

// The print preview as the user sees it, saving its PDF where the test says.
class PdfSavingDialogs : public FakeDialogs
{
public:
    void previewReport(QWidget *parent, ReportBuilder &report) override
    {
        FakeDialogs::previewReport(parent, report);
        FakeMessages messages;
        ReportPreviewDialog preview(report, messages, parent);
        preview.show();
        saved = preview.savePdf(pdfFile);
        failures = messages.shown;
    }
    QString pdfFile;
    bool saved = false;
    QStringList failures;
};

} // namespace

class TestWindowWin : public QObject
{
    Q_OBJECT

private slots:
    void logsSavesAndPrintsFromCom1();
};

void TestWindowWin::logsSavesAndPrintsFromCom1()
{
    const QString port = qEnvironmentVariable("QM320_TEST_COM");
    const QDir out(qEnvironmentVariable("QM320_TEST_OUT"));
    if (port.isEmpty() || out.path() == u".")
        QSKIP("no simulated meter (QM320_TEST_COM) or no folder for the files (QM320_TEST_OUT)");
    QVERIFY(out.mkpath(QStringLiteral(".")));

    WindowServices services;
    services.locale = createSystemLocaleInfo();
    auto messages = std::make_unique<FakeMessages>();
    FakeMessages *shown = messages.get();
    services.messages = std::move(messages);
    auto dialogs = std::make_unique<PdfSavingDialogs>();
    PdfSavingDialogs *answers = dialogs.get();
    services.dialogs = std::move(dialogs);
    services.serialBackend = createSerialBackend();
    services.hidBackend = createHidBackend();
    services.machine = nativeMachine();
    MainWindow window(std::move(services));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), QStringLiteral("QM320 Interface Program Ver 3.03(x64)"));

    // Every frame the window decodes, as the meter sent it: the frame holds
    // the sign to the CR, and the LF before it ended the frame before.
    QByteArray frames;
    MeterSession &session = window.session();
    connect(&session, &MeterSession::readingDecoded, this, [&] { frames += '\n' + session.lastFrame().bytes().toByteArray(); });

    QCOMPARE(session.serialPort(), QStringLiteral("COM1"));
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("comButton")), Qt::LeftButton);
    QCOMPARE(shown->shown, QStringList());
    QCOMPARE(session.linkState(), LinkState::Serial);
    QTRY_VERIFY_WITH_TIMEOUT(session.log().rowCount() >= 30, 30000);
    QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("comButton")), Qt::LeftButton);
    QCOMPARE(session.linkState(), LinkState::Idle);
    // One row per decoded frame: Repeat is ticked.
    QCOMPARE(frames.count('\r'), session.log().rowCount());
    frames += '\n';

    QFile capture(out.filePath(QStringLiteral("frames.bin")));
    QVERIFY(capture.open(QIODevice::WriteOnly));
    QCOMPARE(capture.write(frames), frames.size());
    capture.close();

    const QStringList tables = {out.filePath(QStringLiteral("window.xls")), out.filePath(QStringLiteral("window.xml"))};
    answers->names = tables;
    QTest::mouseClick(window.findChild<QToolButton *>(QStringLiteral("saveLogButton")), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QToolButton *>(QStringLiteral("saveLogButton")), Qt::LeftButton);
    QCOMPARE(shown->shown, QStringList({QStringLiteral("information: Save table to specified file: %1 Scuss!").arg(tables.at(0)),
                                        QStringLiteral("information: Save table to specified file: %1 Scuss!").arg(tables.at(1))}));
    QVERIFY(QFile::exists(out.filePath(QStringLiteral("window.xls"))));
    QVERIFY(QFile::exists(out.filePath(QStringLiteral("window.xml"))));

    answers->pdfFile = out.filePath(QStringLiteral("window.pdf"));
    QTest::mouseClick(window.findChild<QToolButton *>(QStringLiteral("printLogButton")), Qt::LeftButton);
    QCOMPARE(answers->previewedRows, QList<int>{session.log().rowCount()});
    QVERIFY2(answers->saved, qPrintable(answers->failures.join(u'\n')));
}

QTEST_MAIN(TestWindowWin)
#include "tst_window_win.moc"
