#include "app/linkpicture.h"
#include "app/mainwindow.h"
#include "app/panelbutton.h"
#include "app/shapecircle.h"
#include "chart/chartview.h"
#include "chart/tchartcontrol.h"
#include "meter/lcdelementwidget.h"
#include "meter/lcdpanel.h"
#include "meterframes.h"
#include "windowfixture.h"

#include <QDir>
#include <QtTest>
#include <QtWidgets>

using namespace MeterBits;

namespace {

const QColor Green(0, 128, 0);
const QColor Red(255, 0, 0);

QString artifactDir()
{
    const QString dir = QStringLiteral(QM320_BINARY_DIR "/artifacts");
    QDir().mkpath(dir);
    return dir;
}

// The caption a control shows, whatever its kind.
QString captionOf(const QWidget *w)
{
    if (auto *b = qobject_cast<const QAbstractButton *>(w))
        return b->text();
    if (auto *l = qobject_cast<const QLabel *>(w))
        return l->text();
    if (auto *e = qobject_cast<const QLineEdit *>(w))
        return e->text();
    if (auto *d = qobject_cast<const LcdElementWidget *>(w))
        return d->text();
    return QString();
}

// -1: not a check box; 0, 1: its tick.
int tickOf(const QWidget *w)
{
    auto *b = qobject_cast<const QAbstractButton *>(w);
    return b && b->isCheckable() ? int(b->isChecked()) : -1;
}

// The controls that tell the link state, as one comparable text.
QStringList linkState(const WindowFixture &f)
{
    auto shown = [&](const char *name) { return f.find(name)->isVisibleTo(f.window.get()) ? "shown" : "hidden"; };
    auto enabled = [&](const char *name) { return f.find(name)->isEnabled() ? "enabled" : "disabled"; };
    auto *comCon = f.find<QPushButton>("COMCon");
    auto *usbCon = f.find<QPushButton>("USBCon");
    auto *start = f.find<QAction>("START1");
    auto *stop = f.find<QAction>("STOP1");
    QStringList state;
    state << QStringLiteral("COMCon %1 %2 '%3'")
                 .arg(QLatin1String(shown("COMCon")), comCon->isChecked() ? "down" : "up", comCon->text());
    state << QStringLiteral("USBCon %1 %2 '%3'")
                 .arg(QLatin1String(shown("USBCon")), usbCon->isChecked() ? "down" : "up", usbCon->text());
    state << QStringLiteral("BtCOM1 %1 %2").arg(QLatin1String(shown("BtCOM1")), QLatin1String(enabled("BtCOM1")));
    state << QStringLiteral("ComSetup1 %1")
                 .arg(f.find<QMenu>("ComSetup1")->isEnabled() ? "enabled" : "disabled");
    state << QStringLiteral("START1 %1 %2")
                 .arg(start->isChecked() ? "checked" : "unchecked", start->isEnabled() ? "enabled" : "disabled");
    state << QStringLiteral("STOP1 %1 %2")
                 .arg(stop->isChecked() ? "checked" : "unchecked", stop->isEnabled() ? "enabled" : "disabled");
    state << QStringLiteral("BTCon %1 BtDiscon %2").arg(QLatin1String(shown("BTCon")), QLatin1String(shown("BtDiscon")));
    state << QStringLiteral("COMM2 %1").arg(f.window->COMM2().IsOpen() ? "open" : "closed");
    return state;
}

const QStringList IdleState{
    "COMCon shown up 'COM Connection'", "USBCon shown up 'USB Connection'", "BtCOM1 shown enabled",
    "ComSetup1 enabled", "START1 unchecked enabled", "STOP1 checked disabled", "BTCon shown BtDiscon hidden",
    "COMM2 closed"};
const QStringList ComLinkState{
    "COMCon shown down 'COM Disconnect'", "USBCon hidden up 'USB Connection'", "BtCOM1 shown disabled",
    "ComSetup1 disabled", "START1 checked disabled", "STOP1 unchecked enabled", "BTCon hidden BtDiscon shown",
    "COMM2 open"};

QByteArray dcVolts(const char (&digits)[5], char point = '1', char sign = '+')
{
    return meterFrame(sign, digits, point, {Auto | Dc, 0, 0, Volt});
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void form_data();
    void form();
    void userReachesOnlyTheClientArea();
    void menus_data();
    void menus();
    void startValues();
    void caption_data();
    void caption();
    void framesPaintPanelAndMinMax();
    void judgement_data();
    void judgement();
    void limitNotANumberLeavesJudgement();
    void limitKeys_data();
    void limitKeys();
    void limitValidation_data();
    void limitValidation();
    void separatorRewrite_data();
    void separatorRewrite();
    void barGraphFollowsAxis();
    void connectionPicture();
    void usbIdleTimeout_data();
    void usbIdleTimeout();
    void portCycle();
    void comLink_data();
    void comLink();
    void comLinkOpenFailure_data();
    void comLinkOpenFailure();
    void quit_data();
    void quit();
    void closeBoxEndsWithoutQuestion();
    void fillChoice();
    void enlargeAndRestore();
    void savePicture();
    void recordLimitItems();
    void renderStates();
};

void TestMainWindow::form_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<QString>("caption");   // null: the control has none
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("ticked");        // -1: not a check box

    auto row = [](const char *name, QRect r, const char *caption, bool visible = true, int ticked = -1,
                  bool enabled = true) {
        QTest::newRow(name) << QString::fromLatin1(name) << r
                            << (caption ? QString::fromUtf8(caption) : QString()) << visible << enabled << ticked;
    };
    // Regions of the client area.
    row("Panel5", {0, 0, 663, 32}, nullptr);
    row("Panel1", {5, 36, 302, 162}, nullptr);
    row("PBar2", {5, 197, 302, 17}, nullptr);
    row("Panel2", {4, 216, 305, 41}, nullptr);
    row("DBGrid1", {4, 264, 303, 241}, nullptr);
    row("Panel4", {308, 34, 351, 116}, nullptr);
    row("TntPanel1", {306, 149, 353, 41}, nullptr);
    row("Chtshow", {309, 189, 350, 316}, nullptr);
    // Top bar.
    row("BtCOM1", {5, 3, 61, 24}, "COM 1");
    row("BtCOM2", {5, 3, 61, 24}, "COM 2", false);
    row("BtCOM3", {5, 3, 61, 24}, "COM 3", false);
    row("BtCOM4", {5, 3, 61, 24}, "COM 4", false);
    row("COMCon", {76, 3, 125, 25}, "COM Connection", true, 0);
    row("USBCon", {203, 3, 158, 25}, "USB Connection", true, 0);
    row("BitBtn1", {563, 3, 86, 25}, "Quit");
    // Log controls.
    row("RepeatSet", {3, 13, 54, 20}, "Repeat", true, 1);
    row("RecordSI", {60, 13, 148, 20}, "Sampling Interval           'S", true, 0);
    row("RecordSITime", {165, 12, 27, 21}, "1");
    row("RecordNew", {209, 13, 23, 21}, "");
    row("OpenDataFiles", {231, 13, 23, 21}, "");
    row("saveas", {253, 13, 23, 21}, "");
    row("BtPrint", {275, 13, 22, 21}, "");
    // Limits panel.
    row("T1_HI", {12, 12, 104, 16}, "Set High Limit:");
    row("T1HI", {118, 9, 96, 22}, "4000");
    row("T1_Value", {12, 48, 104, 16}, "Measure Value:");
    row("T1VALUE", {118, 40, 112, 32}, "0");
    row("T1_LO", {12, 86, 104, 16}, "Set Low Limit:");
    row("T1LO", {118, 83, 96, 22}, "-4000");
    row("Shape1", {240, 10, 74, 74}, nullptr);
    row("judge", {250, 33, 54, 28}, "");
    row("CONok", {298, 78, 46, 32}, nullptr, false);
    row("CONokN", {298, 78, 46, 32}, nullptr);
    // Chart toolbar.
    row("BtFill", {13, 12, 36, 17}, "Fill", true, 1);
    row("Bevel1", {10, 12, 40, 20}, nullptr);
    row("Maxrecord", {64, 12, 65, 21}, "100");
    row("BtSave", {133, 12, 35, 21}, "");
    row("BtFirst", {168, 12, 28, 21}, "");
    row("BTPrevious", {195, 12, 25, 21}, "");
    row("Bt10", {219, 12, 46, 21}, "1");
    row("BtNext", {267, 12, 25, 21}, "");
    row("BTlast", {291, 12, 25, 21}, "");
    row("TbFd", {320, 12, 25, 25}, "");
    row("TbSx", {320, 12, 25, 25}, "", false);
    // The LCD in its design state.
    row("LcdDa", {34, 32, 46, 88}, "3");
    row("LcdDb", {86, 32, 46, 88}, "9");
    row("LcdDc", {138, 32, 46, 88}, "9");
    row("LcdDd", {190, 32, 46, 88}, "9");
    row("LcdFH", {9, 72, 22, 8}, "-");
    row("LcdP1", {76, 113, 7, 7}, "", false);
    row("LcdAuto", {10, 8, 40, 15}, "Auto range", false);
    row("LCDsend", {262, 4, 32, 22}, "", false);
    // Held but never shown: outside the client area, or hidden.
    row("IFQM330", {354, 525, 97, 17}, "IFQM330", true, 1);
    row("IFQM610", {454, 525, 97, 17}, "QM610", false, 0);
    row("IFQM520", {554, 525, 97, 17}, "QM520", false, 0);
    row("IFQM880", {654, 525, 97, 17}, "QM880", false, 0);
    row("BTCon", {8, 535, 75, 25}, "Connect");
    row("BtDiscon", {8, 535, 75, 25}, "Disconnect", false);
    row("BtExit", {8, 575, 75, 25}, "Exit");
    row("SetFeature", {100, 535, 75, 25}, "SetFeature");
    row("ReadBtn", {180, 535, 75, 25}, "Read", true, 0);
    row("ClearBtn", {260, 535, 75, 25}, "Clear");
    row("InfoBtn", {340, 535, 75, 25}, "Info");
    row("DevListBox", {100, 570, 240, 97}, nullptr);
    row("HistoryListBox", {350, 570, 300, 97}, nullptr);
    row("USBtxt", {440, 575, 200, 16}, "USBtxt", false);
    row("systeminfomation", {941, 40, 41, 21}, ".");
    row("Panel3", {700, 200, 150, 56}, nullptr, false);
    row("MinText", {44, 8, 60, 16}, "4001", false);
    row("MaxText", {44, 30, 60, 16}, "-4001", false);
    row("MinTextU", {108, 8, 30, 16}, "*", false);
    row("MaxTextU", {108, 30, 30, 16}, "*", false);
}

void TestMainWindow::form()
{
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    QFETCH(QString, caption);
    QFETCH(bool, visible);
    QFETCH(bool, enabled);
    QFETCH(int, ticked);

    WindowFixture f;
    const QWidget *w = f.window->findChild<QWidget *>(name);
    QVERIFY2(w, qPrintable(name));
    QCOMPARE(w->geometry(), geometry);
    if (!caption.isNull())
        QCOMPARE(captionOf(w), caption);
    QCOMPARE(w->isVisibleTo(f.window.get()), visible);
    QCOMPARE(w->isEnabled(), enabled);
    QCOMPARE(tickOf(w), ticked);
}

void TestMainWindow::userReachesOnlyTheClientArea()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QWidget *client = f.find("ClientArea");
    QCOMPARE(client->size(), QSize(663, 509));
    QCOMPARE(f.window->minimumSize(), f.window->maximumSize());
    QVERIFY(!(f.window->windowFlags() & Qt::WindowMaximizeButtonHint));

    // Whatever the user can see or tab to lies inside the client area; the
    // controls outside it take no focus.
    const QRect area = client->rect();
    for (QWidget *w : client->findChildren<QWidget *>()) {
        if (!w->isVisible() || w->window() != f.window.get())
            continue;
        const QRect r(w->mapTo(client, QPoint(0, 0)), w->size());
        if (!area.intersects(r))
            QVERIFY2(w->focusPolicy() == Qt::NoFocus, qPrintable(w->objectName()));
    }
    QWidget *focus = f.find("T1HI");
    focus->setFocus();
    for (int i = 0; i < 60; ++i) {
        focus = focus->nextInFocusChain();
        if (focus->isVisible() && focus->isEnabled() && (focus->focusPolicy() & Qt::TabFocus)
            && focus->window() == f.window.get()) {
            const QRect r(focus->mapTo(client, QPoint(0, 0)), focus->size());
            QVERIFY2(area.contains(r), qPrintable(focus->objectName()));
        }
    }
}

void TestMainWindow::menus_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("enabled");

    auto row = [](const char *name, const char *text, bool visible, bool checked = false, bool enabled = true) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(text) << visible << checked << enabled;
    };
    row("ComSetup1", "ComSetup", false);
    row("COM11", "COM1", true, true);
    row("COM21", "COM2", true);
    row("COM31", "COM3", true);
    row("COM41", "COM4", true);
    row("Connect1", "Connect", false);
    row("START1", "START", true);
    row("STOP1", "STOP", true, false, false);
    row("Graphic", "Graphic", false);
    row("First", "First", true);
    row("Previous", "Previous", true);
    row("Next", "Next", true);
    row("Last", "Last", true);
    row("New", "New", true);
    row("Save", "Save", true);
    row("Fill", "Fill", true, true);
    row("Record1", "Record", true);
    row("New1", "New", false);
    row("Save1", "Save", false);
    row("N3", "", false);
    row("N10001", "1000", true);
    row("N50001", "5000", true);
    row("N100001", "10000", true, true);
    row("N500001", "50000", true);
    row("N1000001", "100000", true);
    row("limitess", "limitless", true);
}

void TestMainWindow::menus()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, visible);
    QFETCH(bool, checked);
    QFETCH(bool, enabled);

    WindowFixture f;
    QAction *action = f.window->findChild<QAction *>(name);
    bool isEnabled = action && action->isEnabled();
    if (auto *menu = f.window->findChild<QMenu *>(name)) {
        action = menu->menuAction();
        isEnabled = menu->isEnabled();
    }
    QVERIFY2(action, qPrintable(name));
    QCOMPARE(action->text(), text);
    QCOMPARE(action->isVisible(), visible);
    QCOMPARE(action->isChecked(), checked);
    // Qt reports a hidden item as disabled.
    if (action->isVisible() || action->menu())
        QCOMPARE(isEnabled, enabled);
    QVERIFY(action->shortcut().isEmpty());
}

void TestMainWindow::startValues()
{
    // The user writes decimals with a comma, the system default locale with a point.
    WindowFixture f(QStringLiteral(","), QStringLiteral("."));
    TFCOMM &w = *f.window;

    QCOMPARE(f.find<QLineEdit>("systeminfomation")->text(), QStringLiteral("."));
    QCOMPARE(w.decoder().LocaleDecimalSeparator, QStringLiteral(","));
    QCOMPARE(w.decoder().FullScaleCount, 4000);
    QCOMPARE(w.decoder().MaxCount, -4001.0f);
    QCOMPARE(w.decoder().MinCount, 4001.0f);
    QCOMPARE(w.decoder().modeMemory.UnitText, QStringLiteral("113"));
    QCOMPARE(w.LastValidHigh, QStringLiteral("4000"));
    QCOMPARE(w.LastValidLow, QStringLiteral("-4000"));
    QCOMPARE(w.logger().FrameCount, 1);
    QCOMPARE(w.logger().RecordLimit, 10000);
    QCOMPARE(w.NoFrameTicks, 0);

    // COMM2 as designed, closed, its receive event bound.
    TCommPortDriver &port = w.COMM2();
    QCOMPARE(port.ComPort(), pnCOM1);
    QCOMPARE(port.ComPortSpeed(), br2400);
    QCOMPARE(port.ComPortDataBits(), db8BITS);
    QCOMPARE(port.ComPortParity(), ptNONE);
    QCOMPARE(port.ComPortStopBits(), sb1BITS);
    QCOMPARE(port.ComPortHwHandshaking(), hhNONE);
    QCOMPARE(port.ComPortSwHandshaking(), shNONE);
    QCOMPARE(port.ComPortInBufSize(), quint16(2048));
    QCOMPARE(port.ComPortOutBufSize(), quint16(2048));
    QCOMPARE(port.ComPortPollingDelay(), quint16(100));
    QVERIFY(port.EnableDTROnOpen());
    QCOMPARE(port.OutputTimeout(), quint16(4000));
    QVERIFY(bool(port.OnReceiveData()));
    QVERIFY(!port.IsOpen());

    struct TimerStart { const char *name; int interval; bool running; };
    for (const TimerStart &t : {TimerStart{"ConTimer", 100, true}, TimerStart{"Timer1", 500, false},
                                TimerStart{"Timer2", 1000, true}, TimerStart{"Timer3", 1000, false},
                                TimerStart{"Timer4", 500, false}}) {
        const auto *timer = w.findChild<QTimer *>(QString::fromLatin1(t.name));
        QVERIFY2(timer, t.name);
        QCOMPARE(timer->interval(), t.interval);
        QCOMPARE(timer->isActive(), t.running);
    }

    // The chart: page 1 of 1 from 1 to 100, -4000 to 4000, the area series
    // shown, holding only its placeholder point.
    auto *chart = f.find<ChartView>("Chtshow");
    QCOMPARE(chart->bottomMinimum(), 1.0);
    QCOMPARE(chart->bottomMaximum(), 100.0);
    QCOMPARE(chart->verticalMinimum(), -4000.0);
    QCOMPARE(chart->verticalMaximum(), 4000.0);
    QCOMPARE(chart->shownSeries(), int(ChartView::AreaSeries));
    QCOMPARE(chart->pointCount(), qint64(1));
    QCOMPARE(w.ChartPager()->PageSize(), 100);
    QCOMPARE(w.ChartPager()->CurrentPage(), 1);

    auto *bar = f.find<QProgressBar>("PBar2");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 60);
    QCOMPARE(bar->value(), 30);
    QCOMPARE(f.find<LcdPanel>("Panel1")->shownState(), lcdDesignState());
}

void TestMainWindow::caption_data()
{
    QTest::addColumn<QString>("machine");
    QTest::addColumn<QString>("caption");
    QTest::newRow("x64") << "x86_64" << "QM320 Interface Program Ver 3.03(x64)";
    QTest::newRow("Itanium") << "ia64" << "QM320 Interface Program Ver 3.03(x64)";
    QTest::newRow("32-bit x86") << "i686" << "QM320 Interface Program Ver 3.03(x86)";
    QTest::newRow("64-bit ARM") << "aarch64" << "QM320 Interface Program Ver 3.03(x86)";
    QTest::newRow("unknown machine") << "" << "QM320 Interface Program Ver 3.03(x86)";
}

void TestMainWindow::caption()
{
    QFETCH(QString, machine);
    QFETCH(QString, caption);
    WindowFixture f(QStringLiteral("."), QStringLiteral("."), machine);
    QCOMPARE(f.window->windowTitle(), caption);
}

void TestMainWindow::framesPaintPanelAndMinMax()
{
    WindowFixture f;
    auto *panel = f.find<LcdPanel>("Panel1");
    f.receiveFrame(dcVolts("1234"));
    QCOMPARE(panel->shownState(), lcdStateFor(f.window->decoder().reading));
    QCOMPARE(panel->shownState().digitText(), QStringLiteral("1234"));
    f.receiveFrame(dcVolts("2000"));
    f.receiveFrame(dcVolts("0500"));
    QCOMPARE(f.find<QLabel>("MaxText")->text(), QStringLiteral("2.000"));
    QCOMPARE(f.find<QLabel>("MinText")->text(), QStringLiteral("0.500"));
    QCOMPARE(f.find<QLabel>("MaxTextU")->text(), QStringLiteral("V"));
    QCOMPARE(f.find<QLabel>("MinTextU")->text(), QStringLiteral("V"));
    // The chart's vertical range follows the meter's range.
    QCOMPARE(f.find<ChartView>("Chtshow")->verticalMaximum(), 4.0);
}

void TestMainWindow::judgement_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("high");
    QTest::addColumn<QString>("low");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("pass");

    const QString dot = QStringLiteral(".");
    QTest::newRow("inside the limits") << dot << "4000" << "-4000" << dcVolts("1234") << "1.234" << true;
    QTest::newRow("equal to the high limit") << dot << "1.234" << "0" << dcVolts("1234") << "1.234" << true;
    QTest::newRow("equal to the low limit") << dot << "5" << "1.234" << dcVolts("1234") << "1.234" << true;
    QTest::newRow("above the high limit") << dot << "1.2" << "0" << dcVolts("1234") << "1.234" << false;
    QTest::newRow("below the low limit") << dot << "5" << "-0.5" << dcVolts("1234", '1', '-') << "-1.234" << false;
    QTest::newRow("low limit above the high limit") << dot << "1" << "2" << dcVolts("1500") << "1.500" << false;
    QTest::newRow("3999 within the default limits") << dot << "4000" << "-4000" << dcVolts("3999", '0') << "3999"
                                                    << true;
    QTest::newRow("6000 kilo-ohm outside them, whatever the unit")
        << dot << "4000" << "-4000" << meterFrame('+', "6000", '0', {0, 0, Kilo, Ohm}) << "6000" << false;
    QTest::newRow("over-range is not a number and fails")
        << dot << "4000" << "-4000" << meterFrame('+', "?000", '2', {Auto, 0, Mega, Ohm}) << "0.L" << false;
    QTest::newRow("comma separator") << QStringLiteral(",") << "2,5" << "1,2" << dcVolts("1234") << "1,234" << true;
}

void TestMainWindow::judgement()
{
    QFETCH(QString, separator);
    QFETCH(QString, high);
    QFETCH(QString, low);
    QFETCH(QByteArray, frame);
    QFETCH(QString, shown);
    QFETCH(bool, pass);

    WindowFixture f(separator, separator);
    f.find<QLineEdit>("T1HI")->setText(high);
    f.find<QLineEdit>("T1LO")->setText(low);
    f.receiveFrame(frame);

    auto *value = f.find<QLineEdit>("T1VALUE");
    auto *judge = f.find<QLabel>("judge");
    const QColor colour = pass ? Green : Red;
    QCOMPARE(value->text(), shown);
    QCOMPARE(judge->text(), pass ? QStringLiteral("Pass") : QStringLiteral("Fail"));
    QCOMPARE(value->palette().color(QPalette::Base), colour);
    QCOMPARE(judge->palette().color(QPalette::Window), colour);
    QCOMPARE(f.find<ShapeCircle>("Shape1")->brushColor(), colour);
    QCOMPARE(f.window->decoder().reading.JudgeText, pass ? QStringLiteral("pass") : QStringLiteral("Fail"));
}

void TestMainWindow::limitNotANumberLeavesJudgement()
{
    WindowFixture f;
    f.receiveFrame(dcVolts("1234"));
    QCOMPARE(f.find<QLabel>("judge")->text(), QStringLiteral("Pass"));

    // Pasted text the key filter never saw; until its timer restores it,
    // frames are shown but not judged.
    f.find<QLineEdit>("T1HI")->setText(QStringLiteral("1'0"));
    f.receiveFrame(dcVolts("3000"));
    QCOMPARE(f.find<QLineEdit>("T1VALUE")->text(), QStringLiteral("3.000"));
    QCOMPARE(f.find<QLabel>("judge")->text(), QStringLiteral("Pass"));
    QCOMPARE(f.find<ShapeCircle>("Shape1")->brushColor(), Green);
    QCOMPARE(f.window->decoder().reading.JudgeText, QStringLiteral("pass"));
}

void TestMainWindow::limitKeys_data()
{
    QTest::addColumn<QString>("userSeparator");
    QTest::addColumn<QString>("systemSeparator");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("after");

    QTest::newRow("digits and signs") << "." << "." << "" << "-12+3" << "-12+3";
    QTest::newRow("letters and blanks are dropped") << "." << "." << "" << "a1 b2" << "12";
    QTest::newRow("apostrophe and backquote pass") << "." << "." << "1" << "'`" << "1'`";
    QTest::newRow("backspace deletes") << "." << "." << "123" << "\b" << "12";
    QTest::newRow("one separator") << "." << "." << "1" << ".5" << "1.5";
    QTest::newRow("a second separator is dropped") << "." << "." << "1.5" << ".2" << "1.52";
    QTest::newRow("comma locale takes a comma") << "," << "," << "1" << ",5" << "1,5";
    QTest::newRow("comma locale drops a second comma") << "," << "," << "1,5" << "," << "1,5";
    QTest::newRow("comma locale drops the point") << "," << "," << "1" << "." << "1";
}

void TestMainWindow::limitKeys()
{
    QFETCH(QString, userSeparator);
    QFETCH(QString, systemSeparator);
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(QString, after);

    WindowFixture f(userSeparator, systemSeparator);
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    for (const char *name : {"T1HI", "T1LO"}) {
        auto *edit = f.find<QLineEdit>(name);
        edit->setText(before);
        edit->setFocus();
        edit->end(false);
        for (QChar c : typed)
            QTest::keyClick(edit, c.toLatin1());
        QCOMPARE(edit->text(), after);
    }
}

void TestMainWindow::limitValidation_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");

    QTest::newRow("high: a number is kept") << "T1HI" << "12.5" << "12.5";
    QTest::newRow("high: apostrophe is restored") << "T1HI" << "1'2" << "4000";
    QTest::newRow("high: -999999 counts as not a number") << "T1HI" << "-999999" << "4000";
    QTest::newRow("high: empty is restored") << "T1HI" << "" << "4000";
    QTest::newRow("low: a number is kept") << "T1LO" << "-0.5" << "-0.5";
    QTest::newRow("low: backquote is restored") << "T1LO" << "`" << "-4000";
}

void TestMainWindow::limitValidation()
{
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(QString, kept);

    WindowFixture f;
    auto *line = f.window->findChild<QLineEdit *>(edit);
    auto *timer = f.window->findChild<QTimer *>(edit == u"T1HI" ? QStringLiteral("Timer1") : QStringLiteral("Timer4"));
    const QString &lastValid = edit == u"T1HI" ? f.window->LastValidHigh : f.window->LastValidLow;

    line->setText(QStringLiteral("77"));
    line->setText(text);
    QVERIFY(timer->isActive());
    QTRY_COMPARE(line->text(), kept);
    QTRY_COMPARE(lastValid, kept);
    QTRY_VERIFY(!timer->isActive());
}

void TestMainWindow::separatorRewrite_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("rewritten");

    QTest::newRow("point becomes comma") << "," << "1.5" << "1,5";
    QTest::newRow("only the first point") << "," << "1.5.5" << "1,5.5";
    QTest::newRow("comma becomes point") << "." << "-2,25" << "-2.25";
    QTest::newRow("the locale's own separator stays") << "." << "1.5" << "1.5";
}

void TestMainWindow::separatorRewrite()
{
    QFETCH(QString, separator);
    QFETCH(QString, typed);
    QFETCH(QString, rewritten);

    WindowFixture f(separator, separator);
    auto *high = f.find<QLineEdit>("T1HI");
    auto *low = f.find<QLineEdit>("T1LO");
    high->setText(typed);
    low->setText(typed);
    f.find<QTimer>("Timer1")->stop();
    f.receiveFrame(dcVolts("1234"));
    QCOMPARE(high->text(), rewritten);
    QCOMPARE(low->text(), rewritten);
    // A rewritten text goes through validation like a typed one.
    QCOMPARE(f.find<QTimer>("Timer1")->isActive(), typed != rewritten);
}

void TestMainWindow::barGraphFollowsAxis()
{
    WindowFixture f;
    auto *bar = f.find<QProgressBar>("PBar2");
    // The maximum follows the vertical axis; the logged reading sets the
    // position: its magnitude, rounded.
    f.receiveFrame(meterFrame('+', "0350", '4', {Dc, 0, Micro, Ampere}));   // 400 uA range
    QCOMPARE(bar->maximum(), 400);
    QCOMPARE(bar->value(), 35);
    f.receiveFrame(dcVolts("1234"));   // 4 V range
    QCOMPARE(bar->maximum(), 4);
    QCOMPARE(bar->value(), 1);
    // A position beyond the range shows as a full bar.
    f.window->setBarGraphPosition(30);
    QCOMPARE(bar->value(), 4);
}

void TestMainWindow::connectionPicture()
{
    WindowFixture f;
    auto *ok = f.find("CONok");
    auto *none = f.find("CONokN");
    auto lampLit = [&] { return ok->isVisibleTo(f.window.get()) && !none->isVisibleTo(f.window.get()); };

    QVERIFY(!lampLit());
    f.receiveFrame(dcVolts("1234"));
    QVERIFY(lampLit());
    QVERIFY(f.find("LCDsend")->isVisibleTo(f.window.get()));
    // A frame every other tick keeps the picture lit.
    for (int i = 0; i < 6; ++i) {
        f.window->ConTimerTimer();
        f.window->ConTimerTimer();
        f.receiveFrame(dcVolts("1234"));
        QVERIFY(lampLit());
    }
    f.window->ConTimerTimer();
    f.window->ConTimerTimer();
    QVERIFY(lampLit());
    f.window->ConTimerTimer();
    QVERIFY(!lampLit());
    QCOMPARE(f.window->NoFrameTicks, 0);
    // The panel's link symbol stays: only the picture tells the link state.
    QVERIFY(f.find("LCDsend")->isVisibleTo(f.window.get()));
    QVERIFY(f.messages->shown.isEmpty());
}

void TestMainWindow::usbIdleTimeout_data()
{
    QTest::addColumn<int>("emptyReports");
    QTest::addColumn<bool>("timedOut");
    QTest::newRow("1899 reports without payload") << 1899 << false;
    QTest::newRow("1900 reports without payload") << 1900 << true;
}

void TestMainWindow::usbIdleTimeout()
{
    QFETCH(int, emptyReports);
    QFETCH(bool, timedOut);

    WindowFixture f;
    auto *usb = f.find<QPushButton>("USBCon");
    usb->setChecked(true);
    f.window->assembler().EmptyReportCount = emptyReports;
    for (int i = 0; i < 3; ++i)
        f.window->ConTimerTimer();
    QCOMPARE(usb->isChecked(), !timedOut);
    QCOMPARE(f.window->assembler().EmptyReportCount, timedOut ? 0 : emptyReports);
    const QStringList message{
        QStringLiteral("information: USB interface cable is securely connected, please check if the meter is ready.")};
    QCOMPARE(f.messages->shown, timedOut ? message : QStringList());
}

void TestMainWindow::portCycle()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    const char *panels[] = {"BtCOM1", "BtCOM2", "BtCOM3", "BtCOM4"};
    const char *items[] = {"COM11", "COM21", "COM31", "COM41"};
    auto shownPort = [&] {
        int shown = -1;
        for (int n = 0; n < 4; ++n) {
            if (f.find(panels[n])->isVisible()) {
                if (shown >= 0)
                    return -1;
                shown = n;
            }
        }
        for (int n = 0; n < 4; ++n) {
            if (f.find<QAction>(items[n])->isChecked() != (n == shown))
                return -1;
        }
        return shown;
    };

    QCOMPARE(shownPort(), 0);
    for (int click = 1; click <= 4; ++click) {
        auto *visible = f.find<PanelButton>(panels[(click - 1) % 4]);
        QTest::mouseClick(visible, Qt::LeftButton);
        QCOMPARE(shownPort(), click % 4);
        QCOMPARE(int(f.window->COMM2().ComPort()), click % 4);
    }
    // The hidden ComSetup items do the same.
    f.find<QAction>("COM31")->trigger();
    QCOMPARE(shownPort(), 2);
    QCOMPARE(f.window->COMM2().ComPort(), pnCOM3);
    f.find<QAction>("COM31")->trigger();
    QCOMPARE(shownPort(), 2);
}

void TestMainWindow::comLink_data()
{
    QTest::addColumn<QString>("connectBy");
    QTest::addColumn<QStringList>("linked");
    QTest::addColumn<QString>("disconnectBy");

    // The hidden panels and items leave the caption and USBCon alone.
    QStringList hiddenPath = ComLinkState;
    hiddenPath[0] = QStringLiteral("COMCon shown down 'COM Connection'");
    hiddenPath[1] = QStringLiteral("USBCon shown up 'USB Connection'");
    QTest::newRow("COMCon") << "COMCon" << ComLinkState << "COMCon";
    QTest::newRow("Connect and Disconnect panels") << "BTCon" << hiddenPath << "BtDiscon";
    QTest::newRow("START and STOP items") << "START1" << hiddenPath << "STOP1";
}

void TestMainWindow::comLink()
{
    QFETCH(QString, connectBy);
    QFETCH(QStringList, linked);
    QFETCH(QString, disconnectBy);

    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto activate = [&](const QString &name) {
        if (auto *action = f.window->findChild<QAction *>(name))
            action->trigger();
        else if (auto *panel = f.window->findChild<PanelButton *>(name))
            panel->click();
        else
            QTest::mouseClick(f.window->findChild<QPushButton *>(name), Qt::LeftButton);
    };

    QStringList idleAtStart = IdleState;
    idleAtStart[5] = QStringLiteral("STOP1 unchecked disabled");
    QCOMPARE(linkState(f), idleAtStart);
    activate(connectBy);
    QCOMPARE(linkState(f), linked);
    QCOMPARE(f.serial->calls.first(), QStringLiteral("open COM1"));
    // The port panels cannot change the port while it is open.
    f.find<PanelButton>("BtCOM1")->click();
    QCOMPARE(f.window->COMM2().ComPort(), pnCOM1);
    activate(disconnectBy);
    QCOMPARE(linkState(f), IdleState);
    QVERIFY(f.messages->shown.isEmpty());
}

void TestMainWindow::comLinkOpenFailure_data()
{
    QTest::addColumn<QString>("connectBy");
    QTest::newRow("COMCon") << "COMCon";
    QTest::newRow("Connect panel") << "BTCon";
    QTest::newRow("START item") << "START1";
}

void TestMainWindow::comLinkOpenFailure()
{
    QFETCH(QString, connectBy);

    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.serial->failOpen = true;
    f.serial->openErrorText = QStringLiteral("COM1 (/dev/ttyS0) cannot be opened: there is no such device.");
    if (auto *action = f.window->findChild<QAction *>(connectBy))
        action->trigger();
    else if (auto *panel = f.window->findChild<PanelButton *>(connectBy))
        panel->click();
    else
        QTest::mouseClick(f.find<QPushButton>("COMCon"), Qt::LeftButton);

    QCOMPARE(f.messages->shown,
             QStringList{QStringLiteral("error: COM1 (/dev/ttyS0) cannot be opened: there is no such device.")});
    // The menu items are as at start: STOP has not been checked yet.
    QStringList idleAtStart = IdleState;
    idleAtStart[5] = QStringLiteral("STOP1 unchecked disabled");
    QCOMPARE(linkState(f), idleAtStart);

    // Once the port can be opened, the same click connects.
    f.serial->failOpen = false;
    QTest::mouseClick(f.find<QPushButton>("COMCon"), Qt::LeftButton);
    QCOMPARE(linkState(f), ComLinkState);
}

void TestMainWindow::quit_data()
{
    QTest::addColumn<bool>("yes");
    QTest::newRow("No keeps the program running") << false;
    QTest::newRow("Yes ends it") << true;
}

void TestMainWindow::quit()
{
    QFETCH(bool, yes);

    WindowFixture f;
    f.messages->answerYes = yes;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    // Quit ends the application's event loop; run one to see whether it does.
    QTimer::singleShot(0, f.window.get(), [&] {
        QTest::mouseClick(f.find<QPushButton>("BitBtn1"), Qt::LeftButton);
        QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(7); });
    });
    const int exitCode = QCoreApplication::exec();
    QCOMPARE(f.messages->shown,
             QStringList{QStringLiteral("confirm: Are you sure that you want to quit this application?")});
    QCOMPARE(exitCode, yes ? 0 : 7);
}

void TestMainWindow::closeBoxEndsWithoutQuestion()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QVERIFY(f.window->close());
    QVERIFY(!f.window->isVisible());
    QVERIFY(f.messages->shown.isEmpty());
}

void TestMainWindow::fillChoice()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *fill = f.find<QCheckBox>("BtFill");
    auto *item = f.find<QAction>("Fill");
    auto *chart = f.find<ChartView>("Chtshow");

    QTest::mouseClick(fill, Qt::LeftButton);
    QVERIFY(!fill->isChecked());
    QVERIFY(!item->isChecked());
    QCOMPARE(chart->shownSeries(), int(ChartView::LineSeries));
    // Repeat is bound to the same handler: it re-applies the choice.
    QTest::mouseClick(f.find<QCheckBox>("RepeatSet"), Qt::LeftButton);
    QCOMPARE(chart->shownSeries(), int(ChartView::LineSeries));
    item->trigger();
    QVERIFY(fill->isChecked());
    QVERIFY(item->isChecked());
    QCOMPARE(chart->shownSeries(), int(ChartView::AreaSeries));
    // A mode change re-applies the choice too.
    QTest::mouseClick(fill, Qt::LeftButton);
    chart->ShowSeries(ChartView::AreaSeries);
    f.receiveFrame(dcVolts("1234"));
    QCOMPARE(chart->shownSeries(), int(ChartView::LineSeries));
}

void TestMainWindow::enlargeAndRestore()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *chart = f.find("Chtshow");
    auto *toolbar = f.find("TntPanel1");

    QTest::mouseClick(f.find<QToolButton>("TbFd"), Qt::LeftButton);
    const QSize outer = f.window->frameGeometry().size();
    QCOMPARE(chart->geometry(), QRect(2, 28, outer.width() - 12, outer.height() - 55));
    QCOMPARE(toolbar->pos(), QPoint(2, 0));
    for (const char *hidden : {"Panel2", "Panel4", "Panel5", "TbFd"})
        QVERIFY2(!f.find(hidden)->isVisible(), hidden);
    QVERIFY(f.find("TbSx")->isVisible());

    QTest::mouseClick(f.find<QToolButton>("TbSx"), Qt::LeftButton);
    QCOMPARE(chart->geometry(), QRect(309, 189, 350, 316));
    QCOMPARE(toolbar->pos(), QPoint(312, 141));
    for (const char *shown : {"Panel2", "Panel4", "Panel5", "TbFd"})
        QVERIFY2(f.find(shown)->isVisible(), shown);
    QVERIFY(!f.find("TbSx")->isVisible());
}

void TestMainWindow::savePicture()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    WindowFixture f;
    const QString file = dir.filePath(QStringLiteral("chart.png"));
    f.window->saveChartPicture(file);
    QCOMPARE(f.messages->shown, QStringList{QStringLiteral("information: Graphic has saved on ") + file});
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.read(2), QByteArray("BM"));   // a bitmap, whatever the extension

    f.messages->shown.clear();
    QVERIFY_THROWS_EXCEPTION(std::exception, f.window->saveChartPicture(dir.filePath(QStringLiteral("no/such/dir.bmp"))));
    QVERIFY(f.messages->shown.isEmpty());
}

void TestMainWindow::recordLimitItems()
{
    WindowFixture f;
    const std::pair<const char *, qint32> items[] = {{"N10001", 1000},     {"N50001", 5000},
                                                     {"N500001", 50000},   {"N1000001", 100000},
                                                     {"limitess", 10000000}, {"N100001", 10000}};
    for (const auto &[name, limit] : items) {
        f.find<QAction>(name)->trigger();
        QCOMPARE(f.window->logger().RecordLimit, limit);
        for (const auto &[other, unused] : items)
            QCOMPARE(f.find<QAction>(other)->isChecked(), other == name);
    }
}

void TestMainWindow::renderStates()
{
    WindowFixture f;
    f.window->centreOnScreen();
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    const QRect screen = f.window->screen()->availableGeometry();
    QVERIFY(qAbs(f.window->geometry().center().x() - screen.center().x()) <= 1);
    QVERIFY(qAbs(f.window->geometry().center().y() - screen.center().y()) <= 1);

    auto save = [&](const char *name) {
        QCoreApplication::processEvents();
        const QPixmap shot = f.window->grab();
        const QString path = artifactDir() + QStringLiteral("/window-%1.png").arg(QLatin1String(name));
        if (!shot.save(path))
            qWarning("could not write %s", qPrintable(path));
    };
    save("start");
    f.receiveFrame(dcVolts("1234"));
    save("dc-volts");
    f.receiveFrame(meterFrame('+', "?000", '2', {Auto, 0, Mega, Ohm}));
    save("over-range");
    f.find<QLineEdit>("T1HI")->setText(QStringLiteral("5"));
    f.receiveFrame(meterFrame('+', "0123", '4', {Ac, 0, Milli, Volt}));
    save("fail");
    QCOMPARE(f.find<QLabel>("judge")->text(), QStringLiteral("Fail"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
