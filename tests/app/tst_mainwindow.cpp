#include "app/limitedit.h"
#include "app/linkpicture.h"
#include "app/loggridview.h"
#include "app/mainwindow.h"
#include "app/panelbutton.h"
#include "app/shapecircle.h"
#include "chart/chartpager.h"
#include "chart/chartview.h"
#include "meter/lcdelementwidget.h"
#include "meter/lcdpanel.h"
#include "meterframes.h"
#include "transport/serialsettings.h"
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
        return d->glyph();
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
    auto shown = [&](const char *name) { return f.shown(name) ? "shown" : "hidden"; };
    auto *com = f.find<QPushButton>("comButton");
    auto *usb = f.find<QPushButton>("usbButton");
    auto *port = f.find<PanelButton>("portButton");
    QStringList state;
    state << QStringLiteral("com %1 %2 '%3'").arg(QLatin1String(shown("comButton")), com->isChecked() ? "down" : "up", com->text());
    state << QStringLiteral("usb %1 %2 '%3'").arg(QLatin1String(shown("usbButton")), usb->isChecked() ? "down" : "up", usb->text());
    state << QStringLiteral("port %1 %2 '%3'")
                 .arg(QLatin1String(shown("portButton")), port->isEnabled() ? "enabled" : "disabled", port->text());
    return state;
}

const QStringList IdleState{"com shown up 'COM Connection'", "usb shown up 'USB Connection'", "port shown enabled 'COM 1'"};
const QStringList ComLinkState{"com shown down 'COM Disconnect'", "usb hidden up 'USB Connection'",
                               "port shown disabled 'COM 1'"};

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
    void framesPaintPanelAndAxis();
    void judgement_data();
    void judgement();
    void limitNotANumberLeavesJudgement();
    void limitKeys_data();
    void limitKeys();
    void limitEditingShortcuts();
    void limitValidation_data();
    void limitValidation();
    void separatorRewrite_data();
    void separatorRewrite();
    void barGraphFollowsAxis();
    void connectionPicture();
    void usbIdleTimeout_data();
    void usbIdleTimeout();
    void portCycle();
    void comLink();
    void comLinkOpenFailure();
    void lostComLink_data();
    void lostComLink();
    void quit_data();
    void quit();
    void closeBoxEndsWithoutQuestion();
    void fillChoice();
    void pageSizeEdit();
    void enlargeAndRestore();
    void windowGrows_data();
    void windowGrows();
    void toolButtonsHaveTooltips();
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
    row("topBar", {0, 0, 663, 32}, nullptr);
    row("lcdPanel", {5, 36, 302, 162}, nullptr);
    row("barGraph", {5, 197, 302, 17}, nullptr);
    row("logControls", {4, 216, 305, 41}, nullptr);
    row("logGrid", {4, 264, 303, 211}, nullptr);   // the statistics below it
    row("statisticsLabel", {4, 475, 303, 30}, "n 0\nPass 0  Fail 0");
    row("limitsPanel", {308, 34, 351, 116}, nullptr);
    row("chartToolbar", {306, 149, 353, 41}, nullptr);
    row("chart", {309, 189, 350, 316}, nullptr);
    // Top bar.
    row("portButton", {5, 3, 61, 24}, "COM 1");
    row("comButton", {76, 3, 125, 25}, "COM Connection", true, 0);
    row("usbButton", {203, 3, 158, 25}, "USB Connection", true, 0);
    row("quitButton", {563, 3, 86, 25}, "Quit");
    // Log controls.
    row("repeatCheck", {3, 13, 54, 20}, "Repeat", true, 1);
    row("samplingCheck", {60, 13, 148, 20}, "Sampling Interval           'S", true, 0);
    row("samplingIntervalEdit", {165, 12, 27, 21}, "1");
    row("clearLogButton", {209, 13, 23, 21}, "");
    row("openLogButton", {231, 13, 23, 21}, "");
    row("saveLogButton", {253, 13, 23, 21}, "");
    row("printLogButton", {275, 13, 22, 21}, "");
    // Limits panel.
    row("highLimitLabel", {12, 12, 104, 16}, "Set High Limit:");
    row("highLimitEdit", {118, 9, 96, 22}, "4000");
    row("valueLabel", {12, 48, 104, 16}, "Measure Value:");
    row("valueDisplay", {118, 40, 112, 32}, "0");
    row("lowLimitLabel", {12, 86, 104, 16}, "Set Low Limit:");
    row("lowLimitEdit", {118, 83, 96, 22}, "-4000");
    row("judgementDisc", {240, 10, 74, 74}, nullptr);
    row("judgementLabel", {250, 33, 54, 28}, "");
    row("dataArrivingPicture", {298, 78, 46, 32}, nullptr, false);
    row("noDataPicture", {298, 78, 46, 32}, nullptr);
    // Chart toolbar.
    row("fillCheck", {13, 12, 36, 17}, "Fill", true, 1);
    row("fillBevel", {10, 12, 40, 20}, nullptr);
    row("pageSizeEdit", {64, 12, 65, 21}, "100");
    row("saveChartButton", {133, 12, 35, 21}, "");
    row("firstPageButton", {168, 12, 28, 21}, "");
    row("previousPageButton", {195, 12, 25, 21}, "");
    row("pageNumberButton", {219, 12, 46, 21}, "1 of 1");
    row("nextPageButton", {267, 12, 25, 21}, "");
    row("lastPageButton", {291, 12, 25, 21}, "");
    row("enlargeChartButton", {320, 12, 25, 25}, "");
    row("restoreChartButton", {320, 12, 25, 25}, "", false);
    // The LCD in its design state.
    row("digit1", {34, 32, 46, 88}, "3");
    row("digit2", {86, 32, 46, 88}, "9");
    row("digit3", {138, 32, 46, 88}, "9");
    row("digit4", {190, 32, 46, 88}, "9");
    row("minusSign", {9, 72, 22, 8}, nullptr);
    row("point1", {76, 113, 7, 7}, nullptr, false);
    row("autoSymbol", {10, 8, 40, 15}, nullptr, false);
    row("linkSymbol", {262, 4, 32, 22}, nullptr, false);
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
    QWidget *client = f.find("clientArea");
    QCOMPARE(client->size(), QSize(663, 509));
    // The designed size is the first and the smallest; the window may grow.
    QCOMPARE(f.window->size(), f.window->minimumSize());
    QVERIFY(f.window->windowFlags() & Qt::WindowMaximizeButtonHint);

    // Every control lies inside the client area, and so does whatever the
    // user can tab to.
    const QRect area = client->rect();
    for (QWidget *w : client->findChildren<QWidget *>()) {
        if (w->window() != f.window.get() || w->parentWidget() != client)
            continue;
        const QRect r(w->mapTo(client, QPoint(0, 0)), w->size());
        QVERIFY2(area.contains(r), qPrintable(w->objectName()));
    }
    QWidget *focus = f.find("highLimitEdit");
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
    QTest::addColumn<bool>("checked");
    QTest::addColumn<QKeySequence>("shortcut");

    auto row = [](const char *name, const char *text, bool checked = false, QKeySequence key = {}) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromUtf8(text) << checked << key;
    };
    row("fileMenu", "&File");
    row("openLogAction", "&Open…", false, QKeySequence(Qt::CTRL | Qt::Key_O));
    row("saveLogAction", "&Save…", false, QKeySequence(Qt::CTRL | Qt::Key_S));
    row("exportCsvAction", "&Export as CSV…");
    row("printLogAction", "&Print…", false, QKeySequence(Qt::CTRL | Qt::Key_P));
    row("clearLogAction", "C&lear Log", false, QKeySequence(Qt::CTRL | Qt::Key_L));
    row("quitAction", "&Quit", false, QKeySequence(Qt::CTRL | Qt::Key_Q));
    row("connectionMenu", "&Connection");
    row("reconnectAction", "&Reconnect when the device comes back", true);
    row("brokerAction", "Publish to a &Broker…");
    row("recordMenu", "&Record");
    row("recordLimit1000Action", "1000");
    row("recordLimit5000Action", "5000");
    row("recordLimit10000Action", "10000", true);
    row("recordLimit50000Action", "50000");
    row("recordLimit100000Action", "100000");
    row("recordLimitlessAction", "limitless");
}

void TestMainWindow::menus()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(bool, checked);
    QFETCH(QKeySequence, shortcut);

    WindowFixture f;
    QAction *action = f.window->findChild<QAction *>(name);
    if (auto *menu = f.window->findChild<QMenu *>(name))
        action = menu->menuAction();
    QVERIFY2(action, qPrintable(name));
    QCOMPARE(action->text(), text);
    QVERIFY(action->isVisible());
    QVERIFY(action->isEnabled());
    QCOMPARE(action->isChecked(), checked);
    QCOMPARE(action->shortcut(), shortcut);
    QCOMPARE(f.find<QMenuBar>("menuBar")->actions().size(), 3);
}

void TestMainWindow::startValues()
{
    // The user writes decimals with a comma, the system default locale with a point.
    WindowFixture f(QStringLiteral(","), QStringLiteral("."));
    MeterSession &s = f.session();

    QCOMPARE(s.decimalSeparator(), QStringLiteral(","));
    QCOMPARE(s.decoderMemory().fullScaleCount, 4000);
    QCOMPARE(s.decoderMemory().maxCount, -4001.0f);
    QCOMPARE(s.decoderMemory().minCount, 4001.0f);
    QVERIFY(!s.decoderMemory().modeUnit);
    QCOMPARE(s.highLimitText(), QStringLiteral("4000"));
    QCOMPARE(s.lowLimitText(), QStringLiteral("-4000"));
    QCOMPARE(s.logger().frameCount(), 1);
    QCOMPARE(s.logger().recordLimit(), 10000);
    QVERIFY(s.logger().repeat());
    QVERIFY(!s.logger().sampling());
    QCOMPARE(s.samplingInterval(), 1000);
    QCOMPARE(s.serialPort(), QStringLiteral("COM1"));
    QCOMPARE(s.linkState(), LinkState::Idle);
    QVERIFY(f.serial->calls.isEmpty());

    for (const char *name : {"highLimitEdit", "lowLimitEdit"}) {
        auto *edit = f.find<LimitEdit>(name);
        QCOMPARE(edit->lastValidText(), edit->text());
        QVERIFY(!edit->isRevertPending());
        QCOMPARE(edit->userDecimalSeparator(), QStringLiteral(","));
    }

    // The chart: page 1 of 1 from 1 to 100, -4000 to 4000, the area series
    // shown, holding only its placeholder point.
    auto *chart = f.find<ChartView>("chart");
    QCOMPARE(chart->bottomMinimum(), 1.0);
    QCOMPARE(chart->bottomMaximum(), 100.0);
    QCOMPARE(chart->verticalMinimum(), -4000.0);
    QCOMPARE(chart->verticalMaximum(), 4000.0);
    QCOMPARE(chart->shownSeries(), int(ChartView::AreaSeries));
    QCOMPARE(chart->pointCount(), qint64(1));
    QCOMPARE(f.window->chartPager().pageSize(), 100);
    QCOMPARE(f.window->chartPager().currentPage(), 1);

    auto *bar = f.find<QProgressBar>("barGraph");
    QCOMPARE(bar->minimum(), 0);
    QCOMPARE(bar->maximum(), 60);
    QCOMPARE(bar->value(), 30);
    QCOMPARE(f.find<LcdPanel>("lcdPanel")->shownState(), lcdDesignState());
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

void TestMainWindow::framesPaintPanelAndAxis()
{
    WindowFixture f;
    auto *panel = f.find<LcdPanel>("lcdPanel");
    f.receiveFrame(dcVolts("1234"));
    QCOMPARE(panel->shownState(), lcdStateFor(f.session().lastResult().reading));
    QCOMPARE(panel->shownState().digitText(), QStringLiteral("1234"));
    // The chart's vertical range follows the meter's range.
    QCOMPARE(f.find<ChartView>("chart")->verticalMaximum(), 4.0);
    QCOMPARE(f.find<ChartView>("chart")->verticalMinimum(), -4.0);
    f.receiveFrame(meterFrame('+', "0350", '4', {Dc, 0, Micro, Ampere}));
    QCOMPARE(f.find<ChartView>("chart")->verticalMaximum(), 400.0);
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
    QTest::newRow("above the high limit") << dot << "1.2" << "0" << dcVolts("1234") << "1.234" << false;
    QTest::newRow("3999 within the default limits") << dot << "4000" << "-4000" << dcVolts("3999", '0') << "3999"
                                                    << true;
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
    f.find<QLineEdit>("highLimitEdit")->setText(high);
    f.find<QLineEdit>("lowLimitEdit")->setText(low);
    f.receiveFrame(frame);

    auto *value = f.find<QLineEdit>("valueDisplay");
    auto *judge = f.find<QLabel>("judgementLabel");
    const QColor colour = pass ? Green : Red;
    QCOMPARE(value->text(), shown);
    QCOMPARE(judge->text(), pass ? QStringLiteral("Pass") : QStringLiteral("Fail"));
    QCOMPARE(value->palette().color(QPalette::Base), colour);
    QCOMPARE(judge->palette().color(QPalette::Window), colour);
    QCOMPARE(f.find<ShapeCircle>("judgementDisc")->brushColor(), colour);
}

void TestMainWindow::limitNotANumberLeavesJudgement()
{
    WindowFixture f;
    f.receiveFrame(dcVolts("1234"));
    QCOMPARE(f.find<QLabel>("judgementLabel")->text(), QStringLiteral("Pass"));

    // Pasted text the key filter never saw; until it is put back, frames are
    // shown but not judged.
    f.find<QLineEdit>("highLimitEdit")->setText(QStringLiteral("1'0"));
    f.receiveFrame(dcVolts("3000"));
    QCOMPARE(f.find<QLineEdit>("valueDisplay")->text(), QStringLiteral("3.000"));
    QCOMPARE(f.find<QLabel>("judgementLabel")->text(), QStringLiteral("Pass"));
    QCOMPARE(f.find<ShapeCircle>("judgementDisc")->brushColor(), Green);
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
    for (const char *name : {"highLimitEdit", "lowLimitEdit"}) {
        auto *edit = f.find<QLineEdit>(name);
        edit->setText(before);
        edit->setFocus();
        edit->end(false);
        for (QChar c : typed)
            QTest::keyClick(edit, c.toLatin1());
        QCOMPARE(edit->text(), after);
    }
}

void TestMainWindow::limitEditingShortcuts()
{
    // The editing shortcuts pass the filter: select all, copy, cut, paste, undo.
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *edit = f.find<QLineEdit>("highLimitEdit");
    edit->setFocus();
    edit->setText(QStringLiteral("4000"));
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, QStringLiteral("20"));
    QCOMPARE(edit->text(), QStringLiteral("20"));
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_End);
    QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit->text(), QStringLiteral("2020"));
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(edit->text(), QStringLiteral("20"));
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(edit->text(), QString());
    auto *low = f.find<QLineEdit>("lowLimitEdit");
    low->setFocus();
    low->clear();
    QTest::keyClick(low, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(low->text(), QStringLiteral("20"));
}

void TestMainWindow::limitValidation_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("kept");

    QTest::newRow("high: a number is kept") << "highLimitEdit" << "12.5" << "12.5";
    QTest::newRow("high: apostrophe is put back") << "highLimitEdit" << "1'2" << "4000";
    QTest::newRow("high: -999999 counts as not a number") << "highLimitEdit" << "-999999" << "4000";
    QTest::newRow("high: empty is put back") << "highLimitEdit" << "" << "4000";
    QTest::newRow("low: a number is kept") << "lowLimitEdit" << "-0.5" << "-0.5";
    QTest::newRow("low: backquote is put back") << "lowLimitEdit" << "`" << "-4000";
}

void TestMainWindow::limitValidation()
{
    QFETCH(QString, edit);
    QFETCH(QString, text);
    QFETCH(QString, kept);

    WindowFixture f;
    auto *line = f.window->findChild<LimitEdit *>(edit);
    line->setText(QStringLiteral("77"));
    line->setText(text);
    QVERIFY(line->isRevertPending());
    QTRY_COMPARE(line->text(), kept);
    QTRY_COMPARE(line->lastValidText(), kept);
    QTRY_VERIFY(!line->isRevertPending());
    // The session judges with what the edit holds.
    const QString sessionText = edit == u"highLimitEdit" ? f.session().highLimitText() : f.session().lowLimitText();
    QCOMPARE(sessionText, kept);
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
    auto *high = f.find<LimitEdit>("highLimitEdit");
    auto *low = f.find<LimitEdit>("lowLimitEdit");
    high->setText(typed);
    low->setText(typed);
    high->setLastValidText(typed);   // no revert pending
    f.receiveFrame(dcVolts("1234"));
    QCOMPARE(high->text(), rewritten);
    QCOMPARE(low->text(), rewritten);
    // A rewritten text goes through validation like a typed one.
    QCOMPARE(high->isRevertPending(), typed != rewritten);
}

void TestMainWindow::barGraphFollowsAxis()
{
    WindowFixture f;
    auto *bar = f.find<QProgressBar>("barGraph");
    // The maximum follows the vertical axis; the logged reading sets the
    // position: its magnitude, rounded.
    f.receiveFrame(meterFrame('+', "0350", '4', {Dc, 0, Micro, Ampere}));   // 400 uA range
    QCOMPARE(bar->maximum(), 400);
    QCOMPARE(bar->value(), 35);
    f.receiveFrame(dcVolts("1234"));   // 4 V range
    QCOMPARE(bar->maximum(), 4);
    QCOMPARE(bar->value(), 1);
    // A position beyond the range shows as a full bar: 35 logged, then a
    // range change with nothing logged (sampling waits for its tick).
    f.receiveFrame(meterFrame('+', "0350", '4', {Dc, 0, Micro, Ampere}));
    f.find<QCheckBox>("samplingCheck")->setChecked(true);
    f.receiveFrame(dcVolts("1234"));
    QCOMPARE(bar->maximum(), 4);
    QCOMPARE(bar->value(), 4);

    // Continuity, then diode: the diode's 583 counts are drawn on the
    // start-up axis, not on continuity's +-40 with a full bar.
    WindowFixture g;
    auto *chart = g.find<ChartView>("chart");
    bar = g.find<QProgressBar>("barGraph");
    g.receiveFrame(meterFrame('+', "0123", '4', {0, 0, Continuity, 0}));
    QCOMPARE(chart->verticalMaximum(), 40.0);
    QCOMPARE(bar->maximum(), 40);
    g.receiveFrame(meterFrame('+', "0583", '1', {0, 0, Diode, Volt}));
    QCOMPARE(chart->verticalMaximum(), 4000.0);
    QCOMPARE(chart->verticalMinimum(), -4000.0);
    QCOMPARE(bar->maximum(), 4000);
    QCOMPARE(bar->value(), 583);
}

void TestMainWindow::connectionPicture()
{
    WindowFixture f;
    auto lampLit = [&] { return f.shown("dataArrivingPicture") && !f.shown("noDataPicture"); };

    QVERIFY(!lampLit());
    f.receiveFrame(dcVolts("1234"));
    QVERIFY(lampLit());
    QVERIFY(f.shown("linkSymbol"));
    for (int i = 0; i < 2; ++i)
        f.session().tickConnection();
    QVERIFY(lampLit());
    f.session().tickConnection();
    QVERIFY(!lampLit());
    // The panel's link symbol stays: only the picture tells the link state.
    QVERIFY(f.shown("linkSymbol"));
    QVERIFY(f.messages->shown.isEmpty());
}

void TestMainWindow::usbIdleTimeout_data()
{
    QTest::addColumn<int>("emptyReports");
    QTest::addColumn<bool>("timedOut");
    QTest::newRow("1899 reports without meter bytes") << 1899 << false;
    QTest::newRow("1900 reports without meter bytes") << 1900 << true;
}

void TestMainWindow::usbIdleTimeout()
{
    QFETCH(int, emptyReports);
    QFETCH(bool, timedOut);

    WindowFixture f(QStringLiteral("."), QStringLiteral("."), QStringLiteral("x86_64"),
                    [](FakeHidSystem &hid) { hid.add(fakeHidDevice(QStringLiteral("cable"))); });
    auto *usb = f.find<QPushButton>("usbButton");
    usb->click();
    QVERIFY(usb->isChecked());
    for (int i = 0; i < emptyReports; ++i)
        f.session().feedReport(0, QByteArrayView("\0", 1));
    for (int i = 0; i < 3; ++i)
        f.session().tickConnection();
    QCOMPARE(usb->isChecked(), !timedOut);
    const QStringList message{
        QStringLiteral("information: USB interface cable is securely connected, please check if the meter is ready.")};
    QCOMPARE(f.messages->shown, timedOut ? message : QStringList());
    // A timed-out link ends honestly: the button offers to connect again and
    // the COM controls are back.
    QCOMPARE(usb->text(), timedOut ? QStringLiteral("USB Connection") : QStringLiteral("USB Disconnect"));
    QCOMPARE(f.shown("comButton"), timedOut);
    if (timedOut) {
        usb->click();
        QVERIFY(usb->isChecked());
        QCOMPARE(f.session().linkState(), LinkState::Usb);
    }
}

void TestMainWindow::portCycle()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *port = f.find<PanelButton>("portButton");
    QCOMPARE(port->text(), QStringLiteral("COM 1"));
    for (int click = 1; click <= 4; ++click) {
        QTest::mouseClick(port, Qt::LeftButton);
        const int n = click % 4 + 1;
        QCOMPARE(port->text(), QStringLiteral("COM %1").arg(n));
        QCOMPARE(f.session().serialPort(), QStringLiteral("COM%1").arg(n));
    }
}

void TestMainWindow::comLink()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    QCOMPARE(linkState(f), IdleState);
    QTest::mouseClick(f.find<QPushButton>("comButton"), Qt::LeftButton);
    QCOMPARE(linkState(f), ComLinkState);
    QCOMPARE(f.serial->calls.first(), QStringLiteral("open COM1"));
    QCOMPARE(f.serial->openedWith.first(), MeterLineSettings);
    // The port cannot change while it is open.
    QTest::mouseClick(f.find<PanelButton>("portButton"), Qt::LeftButton);
    QCOMPARE(f.session().serialPort(), QStringLiteral("COM1"));
    QTest::mouseClick(f.find<QPushButton>("comButton"), Qt::LeftButton);
    QCOMPARE(linkState(f), IdleState);
    QVERIFY(!f.serial->isOpen);
    QVERIFY(f.messages->shown.isEmpty());
}

void TestMainWindow::comLinkOpenFailure()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.serial->failOpen = true;
    f.serial->openErrorText = QStringLiteral("COM1 (/dev/ttyS0) cannot be opened: there is no such device.");
    QTest::mouseClick(f.find<QPushButton>("comButton"), Qt::LeftButton);
    QCOMPARE(f.messages->shown,
             QStringList{QStringLiteral("error: COM1 (/dev/ttyS0) cannot be opened: there is no such device.")});
    QCOMPARE(linkState(f), IdleState);

    // Once the port can be opened, the same click connects.
    f.serial->failOpen = false;
    QTest::mouseClick(f.find<QPushButton>("comButton"), Qt::LeftButton);
    QCOMPARE(linkState(f), ComLinkState);
}

void TestMainWindow::lostComLink_data()
{
    QTest::addColumn<bool>("reconnect");
    QTest::newRow("reconnecting off: idle and one message") << false;
    QTest::newRow("reconnecting on: the button waits") << true;
}

void TestMainWindow::lostComLink()
{
    QFETCH(bool, reconnect);
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    f.find<QAction>("reconnectAction")->setChecked(reconnect);
    QTest::mouseClick(f.find<QPushButton>("comButton"), Qt::LeftButton);
    f.serial->input = QByteArray("\n") + dcVolts("1234");
    QTRY_COMPARE(f.session().log().rowCount(), 1);
    auto *panel = f.find<LcdPanel>("lcdPanel");
    QVERIFY(!panel->isStale());

    // The adapter is pulled.
    f.serial->failReads = true;
    QTRY_VERIFY(panel->isStale());
    QCOMPARE(panel->shownState().digitText(), QStringLiteral("1234"));   // the last reading stays, dimmed
    QCOMPARE(f.session().log().rowCount(), 1);
    QVERIFY(!f.shown("dataArrivingPicture"));
    if (!reconnect) {
        QCOMPARE(linkState(f), IdleState);
        QCOMPARE(f.messages->shown.size(), 1);
        const QString message = f.messages->shown.first();
        QVERIFY2(message.startsWith(QLatin1String("error: The link to the meter is lost.")), qPrintable(message));
        QVERIFY2(message.contains(QLatin1String("hung up")), qPrintable(message));
        return;
    }
    QVERIFY(f.messages->shown.isEmpty());
    auto *com = f.find<QPushButton>("comButton");
    QCOMPARE(com->text(), QStringLiteral("Waiting for COM1 \u2026"));
    QVERIFY(com->isChecked());
    QVERIFY(!f.find("portButton")->isEnabled());

    // Back: the link goes on, and a new reading is bright again.
    f.serial->failReads = false;
    QTRY_COMPARE(linkState(f), ComLinkState);
    f.serial->input = QByteArray("\n") + dcVolts("1235");   // a new stream, as at the start
    QTRY_COMPARE(f.session().log().rowCount(), 2);
    QVERIFY(!panel->isStale());
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
        QTest::mouseClick(f.find<QPushButton>("quitButton"), Qt::LeftButton);
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
    auto *fill = f.find<QCheckBox>("fillCheck");
    auto *chart = f.find<ChartView>("chart");
    QTest::mouseClick(fill, Qt::LeftButton);
    QVERIFY(!fill->isChecked());
    QCOMPARE(chart->shownSeries(), int(ChartView::LineSeries));
    QTest::mouseClick(fill, Qt::LeftButton);
    QCOMPARE(chart->shownSeries(), int(ChartView::AreaSeries));
}

void TestMainWindow::pageSizeEdit()
{
    WindowFixture f;
    auto *pageSize = f.find<QLineEdit>("pageSizeEdit");
    // Deleting the number on the way to another is not an error: an empty
    // entry is simply not applied.
    pageSize->clear();
    QTest::qWait(1200);
    QVERIFY(f.messages->shown.isEmpty());
    QCOMPARE(f.window->chartPager().pageSize(), 100);

    pageSize->setText(QStringLiteral("50"));
    QTRY_COMPARE(f.window->chartPager().pageSize(), 50);
    pageSize->setText(QStringLiteral("0"));
    QTest::qWait(1200);
    QCOMPARE(f.window->chartPager().pageSize(), 50);
    QVERIFY(f.messages->shown.isEmpty());
}

void TestMainWindow::enlargeAndRestore()
{
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    auto *chart = f.find("chart");
    auto *toolbar = f.find("chartToolbar");
    const QPoint designed = toolbar->pos();
    const QRect chartDesigned = chart->geometry();

    QTest::mouseClick(f.find<QToolButton>("enlargeChartButton"), Qt::LeftButton);
    const QSize outer = f.window->frameGeometry().size();
    QCOMPARE(chart->geometry(), QRect(2, 28, outer.width() - 12, outer.height() - 55));
    QCOMPARE(toolbar->pos(), QPoint(2, 0));
    // Nothing of the window underneath shows around the enlarged chart.
    for (const char *hidden : {"logControls", "logGrid", "limitsPanel", "topBar", "enlargeChartButton"})
        QVERIFY2(!f.find(hidden)->isVisible(), hidden);
    QVERIFY(f.find("restoreChartButton")->isVisible());

    // Restored, the toolbar is back where it was, inside the window's
    // right column and clear of the limits panel.
    QTest::mouseClick(f.find<QToolButton>("restoreChartButton"), Qt::LeftButton);
    QCOMPARE(chart->geometry(), chartDesigned);
    QCOMPARE(toolbar->pos(), designed);
    QVERIFY(toolbar->y() >= f.find("limitsPanel")->geometry().bottom());   // at most a shared border line
    QVERIFY(toolbar->geometry().right() < f.window->width());
    for (const char *shown : {"logControls", "logGrid", "limitsPanel", "topBar", "enlargeChartButton"})
        QVERIFY2(f.find(shown)->isVisible(), shown);
    QVERIFY(!f.find("restoreChartButton")->isVisible());
}

void TestMainWindow::windowGrows_data()
{
    QTest::addColumn<QSize>("room");   // beyond the designed client area
    QTest::addColumn<bool>("enlarged");
    QTest::newRow("designed size") << QSize(0, 0) << false;
    QTest::newRow("wider") << QSize(300, 0) << false;
    QTest::newRow("taller") << QSize(0, 400) << false;
    QTest::newRow("a full-HD screen") << QSize(1920 - 663, 1000 - 509) << false;
    QTest::newRow("enlarged chart, then larger") << QSize(500, 300) << true;
}

void TestMainWindow::windowGrows()
{
    QFETCH(QSize, room);
    QFETCH(bool, enlarged);
    WindowFixture f;
    f.window->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.window.get()));
    const QStringList fixedParts{"lcdPanel", "barGraph", "logControls", "limitsPanel", "chartToolbar", "portButton"};
    QHash<QString, QRect> designed;
    for (const QString &name : fixedParts)
        designed[name] = f.window->findChild<QWidget *>(name)->geometry();
    const int rowsBefore = f.find<LogGridView>("logGrid")->visibleRowCount();
    if (enlarged)
        f.window->chartControls().enlargeChart();

    f.window->resize(f.window->size() + room);
    QTRY_COMPARE(f.find("clientArea")->size(), QSize(663, 509) + room);
    if (enlarged) {
        const QSize outer = f.window->frameGeometry().size();
        QCOMPARE(f.find("chart")->geometry(), QRect(2, 28, outer.width() - 12, outer.height() - 55));
        f.window->chartControls().restoreChart();
    }
    // The LCD, the limits and the toolbars keep their size and place; the
    // grid gains rows, the chart width and height; Quit stays at the right.
    for (const QString &name : fixedParts)
        QCOMPARE(f.window->findChild<QWidget *>(name)->geometry(), designed[name]);
    QCOMPARE(f.find("logGrid")->geometry(), QRect(4, 264, 303, 211 + room.height()));
    QCOMPARE(f.find("statisticsLabel")->geometry(), QRect(4, 475 + room.height(), 303, 30));
    QCOMPARE(f.find("chart")->geometry(), QRect(309, 189, 350 + room.width(), 316 + room.height()));
    QCOMPARE(f.find("topBar")->width(), 663 + room.width());
    QCOMPARE(f.find("quitButton")->geometry().right(), 648 + room.width());
    QCOMPARE(f.find("brokerLabel")->geometry().right() + 6, f.find("quitButton")->x());
    QVERIFY(f.find<LogGridView>("logGrid")->visibleRowCount() >= rowsBefore + room.height() / 18);
}

void TestMainWindow::toolButtonsHaveTooltips()
{
    // The window has no status bar: a tool button explains itself by its tooltip.
    WindowFixture f;
    const auto buttons = f.window->findChildren<QToolButton *>();
    QVERIFY(!buttons.isEmpty());
    for (QToolButton *button : buttons) {
        if (button->objectName().startsWith(QLatin1String("qt_")))
            continue;   // the toolkit's own, such as the menu bar's overflow arrow
        QVERIFY2(!button->toolTip().isEmpty(), qPrintable(button->objectName()));
        if (!button->statusTip().isEmpty())
            QCOMPARE(button->toolTip(), button->statusTip());
    }
}

void TestMainWindow::savePicture()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    WindowFixture f;
    const QString file = dir.filePath(QStringLiteral("chart.png"));
    f.dialogs->names = {file};
    f.find<QToolButton>("saveChartButton")->click();
    QCOMPARE(f.messages->shown, QStringList{QStringLiteral("information: Graphic has saved on ") + file});
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.read(2), QByteArray("BM"));   // a bitmap, whatever the extension

    // A failed write is reported and the program goes on.
    f.messages->shown.clear();
    f.window->chartControls().saveChartPictureFile(dir.filePath(QStringLiteral("no/such/dir.bmp")));
    QCOMPARE(f.messages->shown.size(), 1);
    QVERIFY2(f.messages->shown.first().startsWith(QLatin1String("error: Cannot create file")),
             qPrintable(f.messages->shown.first()));
}

void TestMainWindow::recordLimitItems()
{
    WindowFixture f;
    const std::pair<const char *, qint32> items[] = {{"recordLimit1000Action", 1000},
                                                     {"recordLimit5000Action", 5000},
                                                     {"recordLimit50000Action", 50000},
                                                     {"recordLimit100000Action", 100000},
                                                     {"recordLimitlessAction", 10000000},
                                                     {"recordLimit10000Action", 10000}};
    for (const auto &[name, limit] : items) {
        f.find<QAction>(name)->trigger();
        QCOMPARE(f.session().logger().recordLimit(), limit);
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
    f.find<QLineEdit>("highLimitEdit")->setText(QStringLiteral("5"));
    f.receiveFrame(meterFrame('+', "0123", '4', {Ac, 0, Milli, Volt}));
    save("fail");
    QCOMPARE(f.find<QLabel>("judgementLabel")->text(), QStringLiteral("Fail"));
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
