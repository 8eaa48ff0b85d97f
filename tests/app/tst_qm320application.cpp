#include "app/qm320application.h"
#include "shared/designfont.h"

#include <QtTest>
#include <QtWidgets>

#include <stdexcept>

class TestQm320Application : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void handlerErrorIsShownAndTheProgramGoesOn_data();
    void handlerErrorIsShownAndTheProgramGoesOn();
    void desktopWithoutAFontGetsTheDesignFace();

private:
    QStringList m_shown;
};

void TestQm320Application::init()
{
    m_shown.clear();
    static_cast<Qm320Application *>(qApp)->setErrorDisplay([this](const QString &message) { m_shown << message; });
}

void TestQm320Application::handlerErrorIsShownAndTheProgramGoesOn_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("message");
    QTest::newRow("a standard exception shows its text") << 0 << "'x' is not a valid integer value";
    QTest::newRow("anything else shows a general text") << 1 << "An unexpected error occurred.";
}

void TestQm320Application::handlerErrorIsShownAndTheProgramGoesOn()
{
    QFETCH(int, kind);
    QFETCH(QString, message);

    bool nextEventRan = false;
    QObject context;
    QTimer::singleShot(0, &context, [kind] {
        if (kind == 0)
            throw std::invalid_argument("'x' is not a valid integer value");
        throw 42;
    });
    QTimer::singleShot(0, &context, [&] { nextEventRan = true; });
    QTRY_VERIFY(nextEventRan);
    QCOMPARE(m_shown, QStringList{message});
}

// The offscreen desktop names no font, as a bare X session does not: dialogs
// and edit fields take the window's face, in the desktop's weight.
void TestQm320Application::desktopWithoutAFontGetsTheDesignFace()
{
    const QFont font = QApplication::font();
    QCOMPARE(font.family(), designFamily("MS Sans Serif"));
    QCOMPARE(font.weight(), QFont::Normal);
}

int main(int argc, char *argv[])
{
    Qm320Application app(argc, argv);
    TestQm320Application test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qm320application.moc"
