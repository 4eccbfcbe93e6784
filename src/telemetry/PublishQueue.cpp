#include "telemetry/PublishQueue.h"

#include <algorithm>
#include <utility>

void TPublishQueue::Push(TOutgoing message) {
    message.Sequence = next_++;
    if (message.Kept) {
        keptBytes_ += message.Bytes();
        kept_.push_back(std::move(message));
        Trim(kept_, keptBytes_, keptLimit_, droppedKept_);
    } else {
        dataBytes_ += message.Bytes();
        data_.push_back(std::move(message));
        Trim(data_, dataBytes_, dataLimit_, droppedData_);
    }
}

void TPublishQueue::Return(TOutgoing message) {
    std::deque<TOutgoing>& queue = message.Kept ? kept_ : data_;
    (message.Kept ? keptBytes_ : dataBytes_) += message.Bytes();
    // In order of arrival among what is queued; returned messages are older than most.
    const auto at = std::upper_bound(
        queue.begin(), queue.end(), message.Sequence,
        [](std::uint64_t sequence, const TOutgoing& queued) { return sequence < queued.Sequence; });
    queue.insert(at, std::move(message));
}

std::optional<TOutgoing> TPublishQueue::Pop() {
    if (Empty())
        return std::nullopt;
    const bool fromKept =
        data_.empty() || (!kept_.empty() && kept_.front().Sequence < data_.front().Sequence);
    std::deque<TOutgoing>& queue = fromKept ? kept_ : data_;
    TOutgoing message = std::move(queue.front());
    queue.pop_front();
    (fromKept ? keptBytes_ : dataBytes_) -= message.Bytes();
    return message;
}

std::uint64_t TPublishQueue::TakeDroppedData() {
    return std::exchange(droppedData_, 0);
}

std::uint64_t TPublishQueue::TakeDroppedKept() {
    return std::exchange(droppedKept_, 0);
}

void TPublishQueue::Trim(std::deque<TOutgoing>& queue, std::size_t& bytes, std::size_t limit,
                         std::uint64_t& dropped) {
    // The newest message always stays, however large.
    while (bytes > limit && queue.size() > 1) {
        bytes -= queue.front().Bytes();
        queue.pop_front();
        ++dropped;
    }
}
