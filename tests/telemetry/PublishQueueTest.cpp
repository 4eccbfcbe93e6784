// While the broker is away: rows and device states queue up to their bound, the oldest going
// first; events are kept (up to a bound of their own only a flood reaches); everything leaves in
// the order it came, and a message the broker never confirmed goes back in its place.
#include "telemetry/PublishQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TOutgoing Data(const std::string& name) {
    return TOutgoing{"orvello/rig/rows", name, 0, false, false};
}

TOutgoing Event(const std::string& name) {
    return TOutgoing{"orvello/rig/events", name, 1, false, true};
}

std::vector<std::string> Drain(TPublishQueue& queue) {
    std::vector<std::string> names;
    while (std::optional<TOutgoing> message = queue.Pop())
        names.push_back(message->Payload);
    return names;
}

} // namespace

TEST(PublishQueueTest, DataPastItsBoundGoesOldestFirstWhileEventsAreKept) {
    const std::size_t one = Data("d0").Bytes();
    const std::size_t event = Event("e0").Bytes();
    TPublishQueue queue(3 * one, 100 * one);
    for (int i = 0; i < 6; ++i) {
        queue.Push(Data("d" + std::to_string(i)));
        if (i % 2 == 0)
            queue.Push(Event("e" + std::to_string(i)));
    }
    EXPECT_EQ(queue.Count(), 6u);
    EXPECT_EQ(queue.Bytes(), 3 * one + 3 * event);
    EXPECT_EQ(queue.TakeDroppedData(), 3u);
    EXPECT_EQ(queue.TakeDroppedData(), 0u);
    EXPECT_EQ(queue.TakeDroppedKept(), 0u);
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"e0", "e2", "d3", "d4", "e4", "d5"}));
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Bytes(), 0u);
}

TEST(PublishQueueTest, EventsHaveABoundOfTheirOwnAndTheNewestAlwaysStays) {
    const std::size_t one = Event("e0").Bytes();
    TPublishQueue queue(one, 2 * one);
    for (int i = 0; i < 4; ++i)
        queue.Push(Event("e" + std::to_string(i)));
    EXPECT_EQ(queue.TakeDroppedKept(), 2u);
    // A message larger than its whole bound is kept alone rather than lost.
    queue.Push(TOutgoing{"orvello/rig/rows", std::string(10 * one, 'x'), 0, false, false});
    EXPECT_EQ(queue.Count(), 3u);
    EXPECT_EQ(queue.TakeDroppedData(), 0u);
    EXPECT_EQ(Drain(queue).size(), 3u);
}

TEST(PublishQueueTest, AMessageReturnedGoesBackInItsPlace) {
    TPublishQueue queue(1 << 20, 1 << 20);
    queue.Push(Event("e0"));
    queue.Push(Data("d1"));
    queue.Push(Event("e2"));
    queue.Push(Event("e3"));
    std::optional<TOutgoing> e0 = queue.Pop();
    std::optional<TOutgoing> d1 = queue.Pop();
    std::optional<TOutgoing> e2 = queue.Pop();
    ASSERT_TRUE(e0 && d1 && e2);
    queue.Push(Data("d4"));
    // The connection went before the broker confirmed the events.
    queue.Return(std::move(*e2));
    queue.Return(std::move(*e0));
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"e0", "e2", "e3", "d4"}));
}
