#pragma once
// The one meeting point of a worker thread and the main thread: a worker hands a function to the
// gate, which runs it on the main thread and returns once it has run. The console implements it
// with a blocking queued call into the Qt event loop; tests and headless programs use
// QueueMainThreadGate and pump it from their main thread.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class MainThreadGate {
public:
    virtual ~MainThreadGate() = default;
    // Called from a worker thread; blocks until work has run on the main thread.
    virtual void RunOnMainThread(const std::function<void()>& work) = 0;
};

// A gate whose queue the main thread serves explicitly. Whoever waits on the main thread for
// workers must keep serving it, or the workers stay blocked in their hand-over.
class QueueMainThreadGate final : public MainThreadGate {
public:
    void RunOnMainThread(const std::function<void()>& work) override;

    // Runs every hand-over queued now; returns how many ran. Main thread only.
    int ServePending();
    // Serves hand-overs as they come until done() is true or the timeout passes; true when
    // done() became true. done() is checked on the main thread between hand-overs.
    bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Serves hand-overs for the given time.
    void ServeFor(std::chrono::milliseconds duration);

private:
    struct TRequest {
        const std::function<void()>* Work;
        bool Done = false;
    };
    std::mutex mutex_;
    std::condition_variable queued_;   // a worker has queued a request
    std::condition_variable finished_; // the main thread has run a request
    std::deque<TRequest*> queue_;
};

// The gate workers hand over through: the installed one, else a process-wide queue gate.
MainThreadGate& GetMainThreadGate();
// Install before workers start; the caller keeps ownership (nullptr restores the default).
void SetMainThreadGate(MainThreadGate* gate);
// The process-wide queue gate used when none is installed.
QueueMainThreadGate& DefaultQueueGate();
