#include "platform/MainThreadGate.h"

#include <algorithm>
#include <atomic>

bool QueueMainThreadGate::RunOnMainThread(const std::function<void()>& work, std::stop_token stop) {
    TRequest request{&work};
    std::unique_lock lock(mutex_);
    if (closed_ || stop.stop_requested())
        return false;
    queue_.push_back(&request);
    queued_.notify_all();
    // A request still in the queue can be withdrawn; one the main thread has taken up refers to
    // this frame until it is done, so that one is always waited for.
    finished_.wait(lock, stop, [&] { return request.State != TRequestState::Queued; });
    if (request.State == TRequestState::Queued) {
        queue_.erase(std::find(queue_.begin(), queue_.end(), &request));
        return false;
    }
    finished_.wait(lock, [&] { return request.State != TRequestState::Running; });
    return request.State == TRequestState::Done;
}

void QueueMainThreadGate::Close() {
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
        for (TRequest* request : queue_)
            request->State = TRequestState::Dropped;
        queue_.clear();
    }
    finished_.notify_all();
}

bool QueueMainThreadGate::IsClosed() const {
    std::lock_guard lock(mutex_);
    return closed_;
}

int QueueMainThreadGate::Pending() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(queue_.size());
}

int QueueMainThreadGate::ServePending() {
    int served = 0;
    for (;;) {
        TRequest* request = nullptr;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty())
                return served;
            request = queue_.front();
            queue_.pop_front();
            request->State = TRequestState::Running;
        }
        // Run outside the lock: the work may itself touch the gate's users.
        (*request->Work)();
        {
            std::lock_guard lock(mutex_);
            request->State = TRequestState::Done;
        }
        finished_.notify_all();
        ++served;
    }
}

bool QueueMainThreadGate::ServeUntil(const std::function<bool()>& done,
                                     std::chrono::milliseconds timeout) {
    // done() may turn true without any hand-over (a worker that has just returned from its last
    // one), so the wait for new work is short and done() is looked at again after it.
    constexpr auto recheck = std::chrono::milliseconds(5);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        ServePending();
        if (done())
            return true;
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return false;
        std::unique_lock lock(mutex_);
        queued_.wait_until(lock, std::min(deadline, now + recheck),
                           [&] { return !queue_.empty(); });
    }
}

void QueueMainThreadGate::ServeFor(std::chrono::milliseconds duration) {
    ServeUntil([] { return false; }, duration);
}

namespace {
std::atomic<MainThreadGate*> installedGate{nullptr};
} // namespace

QueueMainThreadGate& DefaultQueueGate() {
    static QueueMainThreadGate gate;
    return gate;
}

MainThreadGate& GetMainThreadGate() {
    MainThreadGate* gate = installedGate.load();
    return gate ? *gate : DefaultQueueGate();
}

void SetMainThreadGate(MainThreadGate* gate) {
    installedGate.store(gate);
}
