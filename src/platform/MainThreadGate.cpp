#include "platform/MainThreadGate.h"

#include <algorithm>
#include <atomic>

void QueueMainThreadGate::RunOnMainThread(const std::function<void()>& work) {
    TRequest request{&work};
    std::unique_lock lock(mutex_);
    queue_.push_back(&request);
    queued_.notify_all();
    finished_.wait(lock, [&] { return request.Done; });
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
        }
        // Run outside the lock: the work may itself touch the gate's users.
        (*request->Work)();
        {
            std::lock_guard lock(mutex_);
            request->Done = true;
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
