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
#include <stop_token>

// Contract for every gate:
// - RunOnMainThread is called from a worker thread. It returns true once work has run on the
//   main thread.
// - It returns false, without running work, when the gate lets the worker go unserved: the gate
//   has been closed (each implementation says how), or `stop` was requested before the main
//   thread took the work up. Work let go like this never runs later, so the worker may leave
//   the frame that work refers to. Work the main thread has taken up is always waited for.
// - So a worker that passes its stop token never blocks its owner's join for longer than one
//   hand-over that is already running.
class MainThreadGate {
public:
    virtual ~MainThreadGate() = default;
    virtual bool RunOnMainThread(const std::function<void()>& work, std::stop_token stop = {}) = 0;
};

// A gate whose queue the main thread serves explicitly. Whoever waits on the main thread for
// workers must keep serving it, or the workers stay blocked in their hand-over until their stop
// is requested or the gate is closed.
class QueueMainThreadGate final : public MainThreadGate {
public:
    bool RunOnMainThread(const std::function<void()>& work, std::stop_token stop = {}) override;

    // Lets every waiting worker go unserved, and every later RunOnMainThread return false at
    // once; for a program that stops serving for good (its main loop ends). Any thread.
    void Close();
    bool IsClosed() const;
    // Hand-overs waiting to be served.
    int Pending() const;

    // Runs every hand-over queued now; returns how many ran. Main thread only.
    int ServePending();
    // Serves hand-overs as they come until done() is true or the timeout passes; true when
    // done() became true. done() is checked on the main thread between hand-overs.
    bool ServeUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    // Serves hand-overs for the given time.
    void ServeFor(std::chrono::milliseconds duration);

private:
    enum class TRequestState { Queued, Running, Done, Dropped };
    struct TRequest {
        const std::function<void()>* Work;
        TRequestState State = TRequestState::Queued;
    };
    mutable std::mutex mutex_;
    std::condition_variable queued_;       // a worker has queued a request
    std::condition_variable_any finished_; // a request has run or was dropped
    std::deque<TRequest*> queue_;
    bool closed_ = false;
};

// The gate workers hand over through: the installed one, else a process-wide queue gate.
MainThreadGate& GetMainThreadGate();
// Install before workers start; the caller keeps ownership (nullptr restores the default).
void SetMainThreadGate(MainThreadGate* gate);
// The process-wide queue gate used when none is installed.
QueueMainThreadGate& DefaultQueueGate();
