#pragma once
// A thread for file writes. A write may take any time: a busy disk, or a network folder whose
// server went away, where every call into the file system waits until the server is back.
// Whoever posts a job never waits for it unless it asks to, and then only until a deadline of its
// own, so a stalled folder holds nothing but the files written through its writer.
//
// Jobs run one at a time on the writer's thread, in the order they were posted (a file's lines,
// a save that must follow another). The thread starts with the first job.
//
// Thread contract: Post, Idle and WaitIdle may be called from any thread; jobs run on the
// writer's thread only.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class TFileWriterThread {
public:
    using TJob = std::function<void()>;

    TFileWriterThread() = default;
    // Runs what was posted and joins: nothing posted is lost. A job that never returns (a folder
    // that never answers) holds the destructor as well, so a program that gives up on its files
    // ends without destroying its writers (std::_Exit).
    ~TFileWriterThread();
    TFileWriterThread(const TFileWriterThread&) = delete;
    TFileWriterThread& operator=(const TFileWriterThread&) = delete;

    // Queues the job. False, with nothing queued, when no thread could be started.
    bool Post(TJob job);
    // True when no job is queued or running.
    bool Idle() const;
    // Waits until Idle or the deadline passes; returns Idle().
    bool WaitIdle(std::chrono::steady_clock::time_point deadline) const;

private:
    void Run();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<TJob> queue_; // guarded by mutex_
    bool busy_ = false;      // a job runs; guarded by mutex_
    bool stopping_ = false;  // guarded by mutex_
    std::thread thread_;
};
