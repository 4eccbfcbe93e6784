#pragma once
// The workers' hand-over into the Qt event loop.
//
// Thread contract: construct on the main thread once the application object exists, and install
// it before any worker starts. RunOnMainThread may be called from any thread: on the main thread
// the work runs at once (a blocking queued call from the main thread to itself would deadlock);
// from another thread it is posted into the main thread's event loop and the caller waits until
// it has run. While the work is still only posted, the caller's stop request or Close() lets it
// go unserved (false) and the work never runs; work the main thread has taken up is always waited
// for. So the main thread must keep its event loop turning while workers run, also while it waits
// for them, and a worker's owner can always end its join. An exception thrown by the work is
// rethrown in the calling thread.
#include "platform/MainThreadGate.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <set>

class TQtMainThreadGate final : public MainThreadGate {
public:
    TQtMainThreadGate();
    // Closes the gate first, so no waiting worker is left behind.
    ~TQtMainThreadGate() override;

    bool RunOnMainThread(const std::function<void()>& work, std::stop_token stop = {}) override;

    // Lets every waiting worker go unserved and every later call return false at once; for the
    // end of the event loop. Any thread.
    void Close();

    struct THandOver;

private:
    // Lives in the main thread: calls posted to it run there.
    std::unique_ptr<QObject> anchor_;
    std::mutex mutex_;
    bool closed_ = false;
    std::set<std::shared_ptr<THandOver>> waiting_;
};
