#include "console/adapters/QtMainThreadGate.h"

#include <QThread>

#include <condition_variable>
#include <exception>

// One hand-over. The posted call and the waiting worker share it, so whichever side finishes
// last frees it, and a call that runs after its worker gave up finds it dropped.
struct TQtMainThreadGate::THandOver {
    enum class TState { Posted, Running, Done, Dropped };
    std::mutex Mutex;
    std::condition_variable_any Changed;
    TState State = TState::Posted;
    const std::function<void()>* Work = nullptr;
    std::exception_ptr Failure;

    void Become(TState state) {
        {
            std::lock_guard lock(Mutex);
            State = state;
        }
        Changed.notify_all();
    }
};

TQtMainThreadGate::TQtMainThreadGate() : anchor_(std::make_unique<QObject>()) {}

TQtMainThreadGate::~TQtMainThreadGate() {
    Close();
}

bool TQtMainThreadGate::RunOnMainThread(const std::function<void()>& work, std::stop_token stop) {
    if (QThread::currentThread() == anchor_->thread()) {
        work();
        return true;
    }
    using TState = THandOver::TState;
    auto handOver = std::make_shared<THandOver>();
    handOver->Work = &work;
    {
        std::lock_guard lock(mutex_);
        if (closed_ || stop.stop_requested())
            return false;
        waiting_.insert(handOver);
    }
    QMetaObject::invokeMethod(
        anchor_.get(),
        [handOver] {
            {
                std::lock_guard lock(handOver->Mutex);
                if (handOver->State != TState::Posted)
                    return; // its worker went on without it: the work's frame may be gone
                handOver->State = TState::Running;
            }
            // An exception must not unwind through Qt's event loop; it goes back to the worker.
            try {
                (*handOver->Work)();
            } catch (...) {
                handOver->Failure = std::current_exception();
            }
            handOver->Become(TState::Done);
        },
        Qt::QueuedConnection);

    std::unique_lock lock(handOver->Mutex);
    handOver->Changed.wait(lock, stop, [&] { return handOver->State != TState::Posted; });
    if (handOver->State == TState::Posted)
        handOver->State = TState::Dropped; // stop requested while still only posted
    handOver->Changed.wait(lock, [&] { return handOver->State != TState::Running; });
    const bool served = handOver->State == TState::Done;
    lock.unlock();
    {
        std::lock_guard gateLock(mutex_);
        waiting_.erase(handOver);
    }
    if (handOver->Failure)
        std::rethrow_exception(handOver->Failure);
    return served;
}

void TQtMainThreadGate::Close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    for (const auto& handOver : waiting_) {
        std::lock_guard handOverLock(handOver->Mutex);
        if (handOver->State == THandOver::TState::Posted) {
            handOver->State = THandOver::TState::Dropped;
            handOver->Changed.notify_all();
        }
    }
}
