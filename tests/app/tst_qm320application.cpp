#include "app/mainwindow.h"
#include "app/qm320application.h"
#include "chart/tchartcontrol.h"
#include "windowfixture.h"

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
    void badPageSizeReachesTheErrorDisplay();

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

void TestQm320Application::badPageSizeReachesTheErrorDisplay()
{
    WindowFixture f;
    auto *pageSize = f.find<QLineEdit>("Maxrecord");
    auto *timer2 = f.find<QTimer>("Timer2");

    pageSize->clear();
    QTRY_COMPARE(m_shown, QStringList{QStringLiteral("'' is not a valid integer value")});
    QVERIFY(!timer2->isActive());
    QCOMPARE(f.window->ChartPager()->PageSize(), 100);

    pageSize->setText(QStringLiteral("50"));
    QTRY_COMPARE(f.window->ChartPager()->PageSize(), 50);
    QCOMPARE(m_shown.size(), 1);
}

int main(int argc, char *argv[])
{
    Qm320Application app(argc, argv);
    TestQm320Application test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qm320application.moc"
