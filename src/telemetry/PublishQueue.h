#pragma once
// The messages waiting for the broker. Rows and device states are worth most while fresh: past
// their bound the oldest go first. Events (warnings, alarms, stop outcomes) are what someone
// must be told of, so they are kept, up to a bound of their own that only a flood reaches, as a
// week without a broker must not exhaust the memory of the console that drives the rig.
// Messages leave oldest first, whatever their kind. Not thread-safe: the publisher guards it.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

struct TOutgoing {
    std::string Topic;
    std::string Payload;
    int Qos = 0;
    bool Retain = false;
    bool Kept = false;          // an event: dropped only past the events' own bound
    std::uint64_t Sequence = 0; // set by the queue: the order of arrival

    // What the message holds in memory, near enough for a bound.
    std::size_t Bytes() const { return sizeof(TOutgoing) + Topic.size() + Payload.size(); }
};

class TPublishQueue {
public:
    TPublishQueue(std::size_t dataBytes, std::size_t keptBytes)
        : dataLimit_(dataBytes), keptLimit_(keptBytes) {}

    void Push(TOutgoing message);
    // A message taken but not delivered (its connection was lost before the broker confirmed
    // it) goes back before everything queued after it.
    void Return(TOutgoing message);
    // The oldest message of either kind.
    std::optional<TOutgoing> Pop();
    bool Empty() const { return data_.empty() && kept_.empty(); }
    std::size_t Bytes() const { return dataBytes_ + keptBytes_; }
    std::size_t Count() const { return data_.size() + kept_.size(); }
    // Messages dropped for room since the last call, of each kind.
    std::uint64_t TakeDroppedData();
    std::uint64_t TakeDroppedKept();

private:
    void Trim(std::deque<TOutgoing>& queue, std::size_t& bytes, std::size_t limit,
              std::uint64_t& dropped);

    std::size_t dataLimit_;
    std::size_t keptLimit_;
    std::deque<TOutgoing> data_;
    std::deque<TOutgoing> kept_;
    std::size_t dataBytes_ = 0;
    std::size_t keptBytes_ = 0;
    std::uint64_t next_ = 0;
    std::uint64_t droppedData_ = 0;
    std::uint64_t droppedKept_ = 0;
};
