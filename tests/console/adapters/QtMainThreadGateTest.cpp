#include "console/adapters/QtMainThreadGate.h"

#include <QCoreApplication>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <stop_token>
#include <thread>
#include <vector>

class QtMainThreadGateTest : public QObject {
    Q_OBJECT
private slots:
    void OnTheMainThreadWorkRunsAtOnce();
    void WorkersWaitForTheirWorkToRunOnTheMainThread();
    void AnExceptionReachesTheWorker();
    void AStopOrACloseLetsAWaitingWorkerGoUnserved();
};

void QtMainThreadGateTest::OnTheMainThreadWorkRunsAtOnce() {
    TQtMainThreadGate gate;
    bool ran = false;
    gate.RunOnMainThread([&] { ran = true; }); // no event loop turns: a queued call would hang
    QVERIFY(ran);
}

void QtMainThreadGateTest::WorkersWaitForTheirWorkToRunOnTheMainThread() {
    TQtMainThreadGate gate;
    QThread* mainThread = QCoreApplication::instance()->thread();
    int counter = 0; // touched only inside hand-overs, on the main thread
    std::atomic<int> wrongThread{0};
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 100; ++i) {
                int seen = -1;
                gate.RunOnMainThread([&] {
                    if (QThread::currentThread() != mainThread)
                        ++wrongThread;
                    seen = ++counter;
                });
                if (seen < 0) // the call returned before its work ran
                    ++wrongThread;
            }
            ++finished;
        });
    QTRY_COMPARE_WITH_TIMEOUT(finished.load(), 3, 30000);
    for (auto& worker : workers)
        worker.join();
    QCOMPARE(counter, 300);
    QCOMPARE(wrongThread.load(), 0);
}

void QtMainThreadGateTest::AnExceptionReachesTheWorker() {
    TQtMainThreadGate gate;
    std::atomic<bool> done{false};
    std::string caught;
    std::thread worker([&] {
        try {
            gate.RunOnMainThread([] { throw std::runtime_error("no such device"); });
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 30000);
    worker.join();
    QCOMPARE(caught, std::string("no such device"));
}

// Nobody turns the event loop here: only the stop request or the close can end the waits, and
// the work, posted but never taken up, must not run later either.
void QtMainThreadGateTest::AStopOrACloseLetsAWaitingWorkerGoUnserved() {
    auto gate = std::make_unique<TQtMainThreadGate>();
    std::atomic<int> ran{0};
    std::atomic<int> unserved{0};
    std::stop_source stopSource;
    std::thread stopped([&] {
        if (!gate->RunOnMainThread([&] { ++ran; }, stopSource.get_token()))
            ++unserved;
    });
    std::thread closed([&] {
        if (!gate->RunOnMainThread([&] { ++ran; }))
            ++unserved;
    });
    QThread::msleep(100); // both are waiting by now, most likely; either order is a valid test
    stopSource.request_stop();
    stopped.join();
    gate->Close();
    closed.join();
    QCOMPARE(unserved.load(), 2);
    QVERIFY(gate->RunOnMainThread([&] { ++ran; })); // on the main thread it runs at once
    QCoreApplication::processEvents(); // the posted calls find their hand-overs dropped
    QCOMPARE(ran.load(), 1);
    gate.reset();
}

QTEST_MAIN(QtMainThreadGateTest)
#include "QtMainThreadGateTest.moc"
