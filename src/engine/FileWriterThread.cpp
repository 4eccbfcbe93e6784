#include "engine/FileWriterThread.h"

#include <system_error>

TFileWriterThread::~TFileWriterThread() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool TFileWriterThread::Post(TJob job) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
            return false;
        }
    }
    queue_.push_back(std::move(job));
    lock.unlock();
    changed_.notify_all();
    return true;
}

bool TFileWriterThread::Idle() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return queue_.empty() && !busy_;
}

bool TFileWriterThread::WaitIdle(std::chrono::steady_clock::time_point deadline) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_until(lock, deadline, [this] { return queue_.empty() && !busy_; });
}

void TFileWriterThread::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
        if (queue_.empty())
            return; // stopping, with everything posted written
        TJob job = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        try {
            job();
        } catch (...) {
            // A job reports its own failures; one that throws must not take the writer, and the
            // files queued behind it, down with it.
        }
        job = nullptr; // what the job held goes before the writer counts as idle
        lock.lock();
        busy_ = false;
        changed_.notify_all();
    }
}
