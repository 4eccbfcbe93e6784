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
