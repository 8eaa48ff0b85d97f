#include "app/windowdialogs.h"

#include <QComboBox>
#include <QFileDialog>
#include <QtTest>

// The desktop's save dialog for the log: the type chosen decides the format
// of a name typed without extension.
class TestWindowDialogs : public QObject
{
    Q_OBJECT
private slots:
    void nameForFilter_data();
    void nameForFilter();
    void saveDialogTakesTheChosenType();
};

void TestWindowDialogs::nameForFilter_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QString>("result");
    QTest::newRow("XML chosen, no extension") << "/tmp/log" << "XML(*.xml)" << "/tmp/log.xml";
    QTest::newRow("text chosen") << "/tmp/log" << "Txt File(*.txt)" << "/tmp/log.txt";
    QTest::newRow("spreadsheet chosen") << "/tmp/log" << "Excel File(*.xls)" << "/tmp/log.xls";
    QTest::newRow("a typed extension stays") << "/tmp/log.txt" << "XML(*.xml)" << "/tmp/log.txt";
    QTest::newRow("a dot in the folder only") << "/tmp/a.b/log" << "XML(*.xml)" << "/tmp/a.b/log.xml";
    QTest::newRow("cancelled") << "" << "XML(*.xml)" << "";
}

void TestWindowDialogs::nameForFilter()
{
    QFETCH(QString, name);
    QFETCH(QString, filter);
    QFETCH(QString, result);
    QCOMPARE(tableFileNameFor(name, filter), result);
}

void TestWindowDialogs::saveDialogTakesTheChosenType()
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    setUpTableSaveDialog(dialog);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(dialog.defaultSuffix(), QStringLiteral("xls"));
    // As the user does it: the file type box.
    auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
    QVERIFY(types);
    for (const auto &[type, suffix] : {std::pair{"XML(*.xml)", "xml"}, std::pair{"Txt File(*.txt)", "txt"},
                                       std::pair{"Excel File(*.xls)", "xls"}}) {
        const int index = types->findText(QLatin1String(type));
        QVERIFY(index >= 0);
        types->setFocus();
        while (types->currentIndex() != index)
            QTest::keyClick(types, types->currentIndex() < index ? Qt::Key_Down : Qt::Key_Up);
        QCOMPARE(dialog.defaultSuffix(), QLatin1String(suffix));
    }
}

QTEST_MAIN(TestWindowDialogs)
#include "tst_windowdialogs.moc"
