#include "safety/RunRecordKeeper.h"

#include "safety/RunRecordFile.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

struct TRunRecordKeeper::TShared {
    std::mutex Mutex;
    std::condition_variable Changed;
    std::optional<TRunRecord> Pending;
    bool Urgent = false;
    bool Enabled = false;
    bool Ending = false;
    bool Writing = false;
    std::string Error;
    std::string ReportedError;
};

namespace {

void WriteLoop(std::shared_ptr<TRunRecordKeeper::TShared> shared, std::string path,
               std::chrono::milliseconds interval) {
    using Clock = std::chrono::steady_clock;
    auto lastWrite = Clock::now() - interval;
    std::unique_lock lock(shared->Mutex);
    for (;;) {
        shared->Changed.wait(lock, [&] {
            return shared->Ending || (shared->Enabled && shared->Pending.has_value());
        });
        if (!shared->Pending || !shared->Enabled) {
            if (shared->Ending)
                return;
            continue;
        }
        if (!shared->Urgent && !shared->Ending) {
            const auto due = lastWrite + interval;
            if (Clock::now() < due) {
                shared->Changed.wait_until(lock, due,
                                           [&] { return shared->Urgent || shared->Ending; });
                continue;
            }
        }
        const TRunRecord record = std::move(*shared->Pending);
        shared->Pending.reset();
        shared->Urgent = false;
        shared->Writing = true;
        lock.unlock();
        std::string error;
        WriteRunRecordFile(path, record, error);
        lastWrite = Clock::now();
        lock.lock();
        shared->Writing = false;
        shared->Error = error;
        shared->Changed.notify_all();
    }
}

} // namespace

TRunRecordKeeper::TRunRecordKeeper(std::string path, std::chrono::milliseconds interval)
    : path_(std::move(path)), shared_(std::make_shared<TShared>()) {
    std::thread(WriteLoop, shared_, path_, interval).detach();
}

TRunRecordKeeper::~TRunRecordKeeper() {
    WaitWritten(std::chrono::seconds(2));
    std::lock_guard lock(shared_->Mutex);
    shared_->Ending = true;
    shared_->Changed.notify_all();
}

void TRunRecordKeeper::Enable() {
    std::lock_guard lock(shared_->Mutex);
    shared_->Enabled = true;
    shared_->Changed.notify_all();
}

void TRunRecordKeeper::Submit(const TRunRecord& record, bool now) {
    std::lock_guard lock(shared_->Mutex);
    shared_->Pending = record;
    shared_->Urgent = shared_->Urgent || now;
    shared_->Changed.notify_all();
}

bool TRunRecordKeeper::WaitWritten(std::chrono::milliseconds bound) {
    std::unique_lock lock(shared_->Mutex);
    if (!shared_->Enabled)
        return !shared_->Pending;
    shared_->Urgent = true;
    shared_->Changed.notify_all();
    return shared_->Changed.wait_for(lock, bound,
                                     [&] { return !shared_->Pending && !shared_->Writing; });
}

std::string TRunRecordKeeper::TakeError() {
    std::lock_guard lock(shared_->Mutex);
    if (shared_->Error == shared_->ReportedError)
        return {};
    shared_->ReportedError = shared_->Error;
    return shared_->Error;
}
