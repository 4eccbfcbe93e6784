#include "platform/MainThreadGate.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(QueueMainThreadGate, WorkRunsOnTheServingThreadAndTheWorkerWaitsForIt) {
    QueueMainThreadGate gate;
    const auto mainId = std::this_thread::get_id();
    int counter = 0; // touched only inside hand-overs: no lock needed
    std::atomic<int> returned{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < 3; ++w)
        workers.emplace_back([&] {
            for (int i = 0; i < 50; ++i) {
                gate.RunOnMainThread([&] {
                    EXPECT_EQ(std::this_thread::get_id(), mainId);
                    ++counter;
                });
            }
            ++returned;
        });
    EXPECT_TRUE(gate.ServeUntil([&] { return returned == 3; }, 10s));
    for (auto& t : workers)
        t.join();
    EXPECT_EQ(counter, 150);
}

TEST(QueueMainThreadGate, ServeUntilGivesUpAfterItsTimeout) {
    QueueMainThreadGate gate;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(gate.ServeUntil([] { return false; }, 50ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
    EXPECT_EQ(gate.ServePending(), 0);
}

namespace {

// A worker that hands one piece of work over and records what became of it.
struct TWaitingWorker {
    explicit TWaitingWorker(QueueMainThreadGate& gate) {
        thread = std::jthread([this, &gate](std::stop_token stop) {
            served = gate.RunOnMainThread([this] { ran = true; }, stop) ? 1 : 0;
        });
    }
    std::jthread thread;
    std::atomic<int> served{-1}; // -1 while waiting
    bool ran = false;            // written only by the main thread when it serves
};

// Waits until the gate holds the given number of requests, without serving them.
bool QueuedWithin(const QueueMainThreadGate& gate, int count) {
    for (int i = 0; i < 6000 && gate.Pending() < count; ++i)
        std::this_thread::sleep_for(5ms);
    return gate.Pending() == count;
}

} // namespace

TEST(QueueMainThreadGate, ServedWorkReportsTrue) {
    QueueMainThreadGate gate;
    TWaitingWorker worker(gate);
    ASSERT_TRUE(gate.ServeUntil([&] { return worker.served != -1; }, 60s))
        << "the worker's hand-over was never served";
    worker.thread.join();
    EXPECT_EQ(worker.served, 1);
    EXPECT_TRUE(worker.ran);
}

TEST(QueueMainThreadGate, StopRequestLetsAWaitingWorkerGoUnserved) {
    QueueMainThreadGate gate;
    TWaitingWorker worker(gate);
    ASSERT_TRUE(QueuedWithin(gate, 1)) << "the worker never queued its hand-over";
    worker.thread.request_stop();
    worker.thread.join(); // returns: nobody served, the stop let the worker go
    EXPECT_EQ(worker.served, 0);
    EXPECT_EQ(gate.Pending(), 0);
    EXPECT_EQ(gate.ServePending(), 0) << "withdrawn work must never run later";
    EXPECT_FALSE(worker.ran);
    EXPECT_FALSE(gate.IsClosed());
}

TEST(QueueMainThreadGate, ClosingLetsEveryWaiterGoAndRefusesLaterWork) {
    QueueMainThreadGate gate;
    TWaitingWorker first(gate);
    TWaitingWorker second(gate);
    ASSERT_TRUE(QueuedWithin(gate, 2)) << "the workers never queued their hand-overs";
    gate.Close();
    first.thread.join();
    second.thread.join();
    EXPECT_EQ(first.served, 0);
    EXPECT_EQ(second.served, 0);
    EXPECT_EQ(gate.ServePending(), 0);
    EXPECT_FALSE(first.ran || second.ran);
    EXPECT_TRUE(gate.IsClosed());
    bool ran = false;
    EXPECT_FALSE(gate.RunOnMainThread([&] { ran = true; }));
    EXPECT_FALSE(ran);
}
