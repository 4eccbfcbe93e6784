#include "telemetry/PublishQueue.h"

#include <algorithm>
#include <utility>

void TPublishQueue::Push(TOutgoing message) {
    message.Sequence = next_++;
    const std::size_t limit = limits_[static_cast<std::size_t>(message.Lane)];
    TQueue& lane = Of(message.Lane);
    lane.Bytes += message.Bytes();
    lane.Messages.push_back(std::move(message));
    // The newest message always stays, however large.
    while (lane.Bytes > limit && lane.Messages.size() > 1) {
        lane.Bytes -= lane.Messages.front().Bytes();
        lane.Messages.pop_front();
        ++lane.Dropped;
    }
}

void TPublishQueue::Return(TOutgoing message) {
    TQueue& lane = Of(message.Lane);
    lane.Bytes += message.Bytes();
    // In order of arrival among what is queued; returned messages are older than most.
    const auto at = std::upper_bound(
        lane.Messages.begin(), lane.Messages.end(), message.Sequence,
        [](std::uint64_t sequence, const TOutgoing& queued) { return sequence < queued.Sequence; });
    lane.Messages.insert(at, std::move(message));
}

std::optional<TOutgoing> TPublishQueue::Pop() {
    TQueue* oldest = nullptr;
    for (TQueue& lane : lanes_)
        if (!lane.Messages.empty() &&
            (!oldest || lane.Messages.front().Sequence < oldest->Messages.front().Sequence))
            oldest = &lane;
    if (!oldest)
        return std::nullopt;
    TOutgoing message = std::move(oldest->Messages.front());
    oldest->Messages.pop_front();
    oldest->Bytes -= message.Bytes();
    return message;
}

bool TPublishQueue::Empty() const {
    return std::all_of(lanes_.begin(), lanes_.end(),
                       [](const TQueue& lane) { return lane.Messages.empty(); });
}

std::size_t TPublishQueue::Bytes() const {
    std::size_t bytes = 0;
    for (const TQueue& lane : lanes_)
        bytes += lane.Bytes;
    return bytes;
}

std::size_t TPublishQueue::Count() const {
    std::size_t count = 0;
    for (const TQueue& lane : lanes_)
        count += lane.Messages.size();
    return count;
}

std::uint64_t TPublishQueue::TakeDropped(TLane lane) {
    return std::exchange(Of(lane).Dropped, 0);
}
