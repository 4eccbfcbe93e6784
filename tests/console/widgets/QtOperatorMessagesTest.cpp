#include "console/QtOperatorMessages.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <functional>
#include <thread>

namespace {

QList<QMessageBox*> OpenBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible())
            boxes << box;
    return boxes;
}

// Runs action from the event loop of the box with this text once it is open (a modal box runs
// its own event loop, so the test answers it from a timer).
void WhenABoxIsOpen(const QString& text, std::function<void(QMessageBox*)> action) {
    auto* timer = new QTimer;
    timer->setInterval(20);
    QObject::connect(timer, &QTimer::timeout, [timer, text, action] {
        for (QMessageBox* box : OpenBoxes())
            if (box->text() == text) {
                timer->stop();
                timer->deleteLater();
                action(box);
                return;
            }
    });
    timer->start();
}

void ClickOk(QMessageBox* box) {
    QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
}

} // namespace

class QtOperatorMessagesTest : public QObject {
    Q_OBJECT
private slots:
    void TheTextIsShownAsPlainText();
    void AnIdenticalBoxIsNotStacked();
    void AWorkerWaitsForTheOperatorsAnswer();
};

void QtOperatorMessagesTest::TheTextIsShownAsPlainText() {
    TQtOperatorMessages messages;
    const QString text = "Port <B>COM3</B> & <img src=x>";
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    WhenABoxIsOpen(text, [&](QMessageBox* box) {
        shown = box->text();
        format = box->textFormat();
        ClickOk(box);
    });
    messages.ShowMessage(text.toStdString());
    QCOMPARE(shown, text);
    QCOMPARE(format, Qt::PlainText);
    QVERIFY(OpenBoxes().isEmpty());
}

void QtOperatorMessagesTest::AnIdenticalBoxIsNotStacked() {
    TQtOperatorMessages messages;
    int boxesWhileOpen = 0;
    int boxesWithOther = 0;
    WhenABoxIsOpen("Failed to read segment", [&](QMessageBox* first) {
        // As a later tick would: the same complaint again returns at once.
        messages.ShowMessage("Failed to read segment");
        boxesWhileOpen = int(OpenBoxes().size());
        // A different message is still shown, on top, and answerable.
        WhenABoxIsOpen("Another message", [&](QMessageBox* second) {
            boxesWithOther = int(OpenBoxes().size());
            ClickOk(second);
        });
        messages.ShowMessage("Another message");
        ClickOk(first);
    });
    messages.ShowMessage("Failed to read segment");
    QCOMPARE(boxesWhileOpen, 1);
    QCOMPARE(boxesWithOther, 2);
    QVERIFY(OpenBoxes().isEmpty());
}

void QtOperatorMessagesTest::AWorkerWaitsForTheOperatorsAnswer() {
    TQtOperatorMessages messages;
    std::atomic<bool> returned{false};
    QString shown;
    bool returnedWhileOpen = true;
    // The box runs its own event loop inside the main thread's; the answer comes from there.
    const QString text = "Set pump states failed. Used string: /1ZN1R";
    WhenABoxIsOpen(text, [&](QMessageBox* box) {
        shown = box->text();
        QTest::qWait(50);
        returnedWhileOpen = returned;
        ClickOk(box);
    });
    std::thread worker([&] {
        messages.ShowMessage(text.toStdString());
        returned = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 30000);
    worker.join();
    QCOMPARE(shown, text);
    QVERIFY2(!returnedWhileOpen, "the worker returned before the operator answered");
}

QTEST_MAIN(QtOperatorMessagesTest)
#include "QtOperatorMessagesTest.moc"
