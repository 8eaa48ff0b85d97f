#include "app/messageboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

// The message boxes as the user sees them: icon, title and buttons, and the
// answer that the clicked button gives.
class TestMessageBoxes : public QObject
{
    Q_OBJECT
private slots:
    void boxes_data();
    void boxes();
};

namespace {

struct SeenBox
{
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QString title;
    QMessageBox::StandardButtons buttons;
};

// Runs `show` and, once its box is up, notes what it looks like and clicks
// `click`.
SeenBox seeAndClick(const std::function<void()> &show, QMessageBox::StandardButton click)
{
    SeenBox seen;
    QTimer::singleShot(0, qApp, [&seen, click] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        seen.icon = box->icon();
        seen.title = box->windowTitle();
        seen.buttons = box->standardButtons();
        if (QAbstractButton *button = box->button(click))
            button->click();
        else
            box->reject();
    });
    show();
    return seen;
}

} // namespace

void TestMessageBoxes::boxes_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("click");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("buttons");
    QTest::addColumn<QString>("answer");

    const int yesNo = QMessageBox::Yes | QMessageBox::No;
    const int saveDiscardCancel = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    QTest::newRow("information") << "information" << int(QMessageBox::Ok) << int(QMessageBox::Information)
                                 << "Information" << int(QMessageBox::Ok) << "";
    QTest::newRow("error") << "error" << int(QMessageBox::Ok) << int(QMessageBox::Critical) << "Error"
                           << int(QMessageBox::Ok) << "";
    // Quit's and New's questions keep the information look.
    QTest::newRow("confirm, Yes") << "confirm" << int(QMessageBox::Yes) << int(QMessageBox::Information)
                                  << "Information" << yesNo << "yes";
    QTest::newRow("confirm, No") << "confirm" << int(QMessageBox::No) << int(QMessageBox::Information)
                                 << "Information" << yesNo << "no";
    // The other questions look like questions and say in the title what they ask.
    QTest::newRow("a question, Yes") << "ask" << int(QMessageBox::Yes) << int(QMessageBox::Question)
                                     << "Recover readings?" << yesNo << "yes";
    QTest::newRow("a question, No") << "ask" << int(QMessageBox::No) << int(QMessageBox::Question)
                                    << "Recover readings?" << yesNo << "no";
    for (const auto &[button, answer] : {std::pair{QMessageBox::Save, "save"}, std::pair{QMessageBox::Discard, "discard"},
                                         std::pair{QMessageBox::Cancel, "cancel"}}) {
        QTest::addRow("save question, %s", answer) << "save" << int(button) << int(QMessageBox::Question)
                                                   << "Save the readings?" << saveDiscardCancel << answer;
    }
}

void TestMessageBoxes::boxes()
{
    QFETCH(QString, kind);
    QFETCH(int, click);

    MessageBoxes boxes;
    QWidget parent;
    parent.show();
    const QString text = QStringLiteral("The log holds 3 readings that are not saved. Save them first?");
    QString answer;
    const SeenBox seen = seeAndClick(
        [&] {
            if (kind == u"information") {
                boxes.information(&parent, text);
            } else if (kind == u"error") {
                boxes.error(&parent, text);
            } else if (kind == u"confirm") {
                answer = boxes.confirm(&parent, text) ? QStringLiteral("yes") : QStringLiteral("no");
            } else if (kind == u"ask") {
                answer = boxes.ask(&parent, QStringLiteral("Recover readings?"), text) ? QStringLiteral("yes")
                                                                                      : QStringLiteral("no");
            } else {
                const UserMessages::SaveChoice choice = boxes.askToSave(&parent, text);
                answer = choice == UserMessages::SaveChoice::Save      ? QStringLiteral("save")
                         : choice == UserMessages::SaveChoice::Discard ? QStringLiteral("discard")
                                                                       : QStringLiteral("cancel");
            }
        },
        QMessageBox::StandardButton(click));
    QTEST(int(seen.icon), "icon");
    QTEST(seen.title, "title");
    QTEST(int(seen.buttons), "buttons");
    QTEST(answer, "answer");
}

QTEST_MAIN(TestMessageBoxes)
#include "tst_messageboxes.moc"
