// The writer's thread that file writes go through: jobs keep their order, a job that never
// returns (a folder that does not answer) holds nobody who only posts or waits with a deadline,
// and what was posted is done before the writer goes.
#include "engine/FileWriterThread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

} // namespace

TEST(FileWriterThread, AStalledJobHoldsOnlyTheJobsBehindItAndEveryJobRunsInOrder) {
    std::promise<void> answer;
    std::shared_future<void> answered = answer.get_future().share();
    std::mutex mutex;
    std::vector<int> done;
    {
        TFileWriterThread writer;
        EXPECT_TRUE(writer.Idle());
        ASSERT_TRUE(writer.Post([&] {
            answered.wait();
            const std::lock_guard<std::mutex> lock(mutex);
            done.push_back(0);
        }));
        for (int i = 1; i <= 100; ++i)
            ASSERT_TRUE(writer.Post([&, i] {
                const std::lock_guard<std::mutex> lock(mutex);
                done.push_back(i);
            }));
        EXPECT_FALSE(writer.Idle());
        EXPECT_FALSE(writer.WaitIdle(Clock::now() + std::chrono::milliseconds(50)));
        {
            const std::lock_guard<std::mutex> lock(mutex);
            EXPECT_TRUE(done.empty());
        }
        answer.set_value();
        EXPECT_TRUE(writer.WaitIdle(Clock::now() + std::chrono::seconds(60)));
        EXPECT_TRUE(writer.Idle());

        // Posted last, while nothing waits: the writer's end still runs them.
        for (int i = 101; i <= 200; ++i)
            writer.Post([&, i] {
                const std::lock_guard<std::mutex> lock(mutex);
                done.push_back(i);
            });
    }
    ASSERT_EQ(done.size(), 201u);
    for (int i = 0; i <= 200; ++i)
        EXPECT_EQ(done[static_cast<std::size_t>(i)], i);
}

TEST(FileWriterThread, AJobThatThrowsLeavesTheWriterToTheJobsBehindIt) {
    TFileWriterThread writer;
    auto ran = std::make_shared<std::promise<void>>();
    std::future<void> ranLater = ran->get_future();
    writer.Post([] { throw std::runtime_error("disk gone"); });
    writer.Post([ran] { ran->set_value(); });
    EXPECT_EQ(ranLater.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_TRUE(writer.WaitIdle(Clock::now() + std::chrono::seconds(60)));
}
