#include "console/widgets/WarningsButton.h"

#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

class WarningsButtonTest : public QObject {
    Q_OBJECT
private slots:
    void WarningsStayListedAndLitUntilCleared() {
        QWidget window;
        auto* button = new TWarningsButton(&window);
        window.show();
        QVERIFY(button->styleSheet().isEmpty());
        button->AddWarning("00:00:01:000 No status from COM3 for 10 s");
        button->AddWarning("00:00:02:000 Flow log not saved: Logs is a file");
        QCOMPARE(button->text(), QStringLiteral("Warnings: 2"));
        QVERIFY(!button->styleSheet().isEmpty());
        QCOMPARE(button->toolTip(),
                 QStringLiteral("00:00:02:000 Flow log not saved: Logs is a file"));

        QTest::mouseClick(button, Qt::LeftButton);
        auto* dialog = window.findChild<QDialog*>("DialogWarnings");
        QVERIFY(dialog && dialog->isVisible());
        auto* list = dialog->findChild<QListWidget*>("ListBoxWarnings");
        QCOMPARE(list->count(), 2);
        QCOMPARE(list->item(0)->text(),
                 QStringLiteral("00:00:01:000 No status from COM3 for 10 s"));
        // A warning that arrives while the list is open shows in it.
        button->AddWarning("00:00:03:000 Status codes from COM4");
        QCOMPARE(list->count(), 3);

        QTest::mouseClick(dialog->findChild<QPushButton*>("ButtonClearWarnings"), Qt::LeftButton);
        QCOMPARE(button->Count(), 0);
        QCOMPARE(list->count(), 0);
        QCOMPARE(button->text(), QStringLiteral("Warnings: 0"));
        QVERIFY(button->styleSheet().isEmpty());
    }

    void TheListKeepsTheNewestWhenItIsLong() {
        TWarningsButton button;
        for (int i = 0; i < TWarningsButton::MaxKept + 5; ++i)
            button.AddWarning(QString::number(i));
        QCOMPARE(button.Count(), TWarningsButton::MaxKept + 5);
        QCOMPARE(button.Warnings().size(), TWarningsButton::MaxKept);
        QCOMPARE(button.Warnings().front(), QStringLiteral("5"));
    }
};

QTEST_MAIN(WarningsButtonTest)
#include "WarningsButtonTest.moc"
