// While the broker is away: each lane (rows, device states, events) queues up to its own bound,
// the oldest going first, so device states that change every second cannot push rows out;
// everything leaves in the order it came, and a message the broker never confirmed goes back in
// its place.
#include "telemetry/PublishQueue.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TOutgoing Message(TLane lane, const std::string& name) {
    const char* const topics[] = {"orvello/rig/rows", "orvello/rig/devices/COM3",
                                  "orvello/rig/events"};
    return TOutgoing{topics[static_cast<int>(lane)], name, lane == TLane::Events ? 1 : 0,
                     lane == TLane::States, lane};
}

std::vector<std::string> Drain(TPublishQueue& queue) {
    std::vector<std::string> names;
    while (std::optional<TOutgoing> message = queue.Pop())
        names.push_back(message->Payload);
    return names;
}

std::size_t Size(TLane lane) {
    return Message(lane, "x0").Bytes();
}

} // namespace

TEST(PublishQueueTest, EachLaneDropsItsOwnOldestPastItsBound) {
    // Room for two rows, three device states and four events; names of equal length.
    TPublishQueue queue({2 * Size(TLane::Rows), 3 * Size(TLane::States), 4 * Size(TLane::Events)});
    for (int i = 0; i < 6; ++i) {
        queue.Push(Message(TLane::States, "s" + std::to_string(i)));
        queue.Push(Message(TLane::States, "t" + std::to_string(i)));
        if (i % 2 == 0)
            queue.Push(Message(TLane::Rows, "r" + std::to_string(i)));
        if (i % 3 == 0)
            queue.Push(Message(TLane::Events, "e" + std::to_string(i)));
    }
    EXPECT_EQ(queue.Count(), 2u + 3u + 2u);
    EXPECT_EQ(queue.Bytes(),
              2 * Size(TLane::Rows) + 3 * Size(TLane::States) + 2 * Size(TLane::Events));
    EXPECT_EQ(queue.TakeDropped(TLane::Rows), 1u);
    EXPECT_EQ(queue.TakeDropped(TLane::States), 9u);
    EXPECT_EQ(queue.TakeDropped(TLane::States), 0u);
    EXPECT_EQ(queue.TakeDropped(TLane::Events), 0u);
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"e0", "r2", "e3", "t4", "r4", "s5", "t5"}));
    EXPECT_TRUE(queue.Empty());
    EXPECT_EQ(queue.Bytes(), 0u);
}

TEST(PublishQueueTest, EventsHaveABoundTooAndTheNewestAlwaysStays) {
    const std::size_t event = Size(TLane::Events);
    TPublishQueue queue({event, event, 2 * event});
    for (int i = 0; i < 4; ++i)
        queue.Push(Message(TLane::Events, "e" + std::to_string(i)));
    EXPECT_EQ(queue.TakeDropped(TLane::Events), 2u);
    // A message larger than its whole bound is kept alone rather than lost.
    queue.Push(Message(TLane::Rows, std::string(10 * event, 'x')));
    EXPECT_EQ(queue.Count(), 3u);
    EXPECT_EQ(queue.TakeDropped(TLane::Rows), 0u);
    EXPECT_EQ(Drain(queue).size(), 3u);
}

TEST(PublishQueueTest, AMessageReturnedGoesBackInItsPlace) {
    TPublishQueue queue({1 << 20, 1 << 20, 1 << 20});
    queue.Push(Message(TLane::Events, "e0"));
    queue.Push(Message(TLane::Rows, "r1"));
    queue.Push(Message(TLane::Events, "e2"));
    queue.Push(Message(TLane::Events, "e3"));
    std::optional<TOutgoing> e0 = queue.Pop();
    std::optional<TOutgoing> r1 = queue.Pop();
    std::optional<TOutgoing> e2 = queue.Pop();
    ASSERT_TRUE(e0 && r1 && e2);
    queue.Push(Message(TLane::Rows, "r4"));
    // The connection went before the broker confirmed the events.
    queue.Return(std::move(*e2));
    queue.Return(std::move(*e0));
    EXPECT_EQ(Drain(queue), (std::vector<std::string>{"e0", "e2", "e3", "r4"}));
}
