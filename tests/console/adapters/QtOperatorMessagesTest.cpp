#include "console/adapters/QtOperatorMessages.h"

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
    void AWorkerGoesOnAtOnceAndItsBoxesAreNotStacked();
    void InsideTheTickABoxDoesNotWaitForTheOperator();
    void ARedirectTakesEveryTextAndCloseAllAnswersTheOpenBox();
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
        // As a later call would: the same complaint again returns at once.
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

void QtOperatorMessagesTest::AWorkerGoesOnAtOnceAndItsBoxesAreNotStacked() {
    TQtOperatorMessages messages;
    std::vector<std::string> notShown;
    messages.SetNotShownLog([&](const std::string& line) { notShown.push_back(line); });
    const std::string first = "Set pump states failed. Used string: ";
    const std::string second = "Set pump states failed. Used string: /1";
    // The worker returns from both calls without anybody answering; nothing runs the main
    // thread's event loop meanwhile, so no box can have been answered.
    std::thread worker([&] {
        messages.ShowMessage(first);
        messages.ShowMessage(second);
    });
    worker.join();
    QTRY_COMPARE_WITH_TIMEOUT(OpenBoxes().size(), 1, 30000);
    QCOMPARE(OpenBoxes().front()->text(), QString::fromStdString(first));
    QVERIFY(!OpenBoxes().front()->isModal());
    QCOMPARE(notShown,
             std::vector<std::string>{"Not shown again while its box is open: " + second});

    // Once the operator has answered, the same worker's next complaint shows again.
    ClickOk(OpenBoxes().front());
    QTRY_VERIFY(OpenBoxes().isEmpty());
    std::thread again([&] { messages.ShowMessage(second); });
    again.join();
    QTRY_COMPARE_WITH_TIMEOUT(OpenBoxes().size(), 1, 30000);
    ClickOk(OpenBoxes().front());
}

void QtOperatorMessagesTest::InsideTheTickABoxDoesNotWaitForTheOperator() {
    TQtOperatorMessages messages;
    {
        const TQtOperatorMessages::TAsynchronous tick(messages);
        messages.ShowMessage("Flow log not saved: Logs is a file");
        messages.ShowMessage("Flow log not saved: Logs is a file");
    }
    QCOMPARE(OpenBoxes().size(), 1);
    QVERIFY(!OpenBoxes().front()->isModal());
    ClickOk(OpenBoxes().front());
    QTRY_VERIFY(OpenBoxes().isEmpty());
}

void QtOperatorMessagesTest::ARedirectTakesEveryTextAndCloseAllAnswersTheOpenBox() {
    TQtOperatorMessages messages;
    std::vector<std::string> redirected;
    bool returned = false;
    // A signal's close arrives while a command's box waits for its answer.
    WhenABoxIsOpen("Change the syringe and click OK only after done.", [&](QMessageBox*) {
        messages.RedirectTo([&](const std::string& text) { redirected.push_back(text); });
        messages.ShowMessage("Flow log not saved: Logs is a file");
        std::thread worker([&] { messages.ShowMessage("Set pump states failed. Used string: "); });
        worker.join();
        QTest::qWait(50); // the worker's text arrives through the event loop
        messages.CloseAll();
    });
    messages.ShowMessage("Change the syringe and click OK only after done.");
    returned = true;
    QVERIFY(returned);
    QVERIFY(OpenBoxes().isEmpty());
    QCOMPARE(redirected, (std::vector<std::string>{"Flow log not saved: Logs is a file",
                                                   "Set pump states failed. Used string: "}));
}

QTEST_MAIN(QtOperatorMessagesTest)
#include "QtOperatorMessagesTest.moc"
