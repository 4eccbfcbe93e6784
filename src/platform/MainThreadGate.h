#pragma once
// The one meeting point of a worker thread and the main thread: a worker hands a function to the
// gate, which runs it on the main thread and returns once it has run. The console implements it
// with a blocking queued call into the Qt event loop; tests use a queue that they pump.
#include <functional>

class MainThreadGate {
public:
    virtual ~MainThreadGate() = default;
    // Called from a worker thread; blocks until work has run on the main thread.
    virtual void RunOnMainThread(const std::function<void()>& work) = 0;
};
