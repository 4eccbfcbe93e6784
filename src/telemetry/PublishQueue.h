#pragma once
// The messages waiting for the broker, in three lanes with a bound each. Rows are the run's
// history and device states its latest picture, both worth most while fresh: past its bound a
// lane drops its oldest first. A lane of its own each, so that device states changing every second
// during ramps cannot push hours of rows out. Events (warnings, alarms, stop outcomes) are what
// someone must be told of, so they are kept, up to a bound that only a flood reaches, as a week
// without a broker must not exhaust the memory of the console that drives the rig.
// Messages leave oldest first, whatever their lane. Not thread-safe: the publisher guards it.
#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

enum class TLane : std::uint8_t { Rows, States, Events };
constexpr std::size_t LaneCount = 3;

struct TOutgoing {
    std::string Topic;
    std::string Payload;
    int Qos = 0;
    bool Retain = false;
    TLane Lane = TLane::Rows;
    std::uint64_t Sequence = 0; // set by the queue: the order of arrival

    // What the message holds in memory, near enough for a bound.
    std::size_t Bytes() const { return sizeof(TOutgoing) + Topic.size() + Payload.size(); }
};

class TPublishQueue {
public:
    // The bound of each lane in bytes (TOutgoing::Bytes), by TLane.
    explicit TPublishQueue(const std::array<std::size_t, LaneCount>& limits) : limits_(limits) {}

    void Push(TOutgoing message);
    // A message taken but not delivered (its connection was lost before the broker confirmed
    // it) goes back before everything queued after it.
    void Return(TOutgoing message);
    // The oldest message of any lane.
    std::optional<TOutgoing> Pop();
    bool Empty() const;
    std::size_t Bytes() const;
    std::size_t Count() const;
    // Messages of the lane dropped for room since the last call.
    std::uint64_t TakeDropped(TLane lane);

private:
    struct TQueue {
        std::deque<TOutgoing> Messages;
        std::size_t Bytes = 0;
        std::uint64_t Dropped = 0;
    };
    TQueue& Of(TLane lane) { return lanes_[static_cast<std::size_t>(lane)]; }

    std::array<std::size_t, LaneCount> limits_;
    std::array<TQueue, LaneCount> lanes_;
    std::uint64_t next_ = 0;
};
