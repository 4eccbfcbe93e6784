#pragma once
// The workers' hand-over into the Qt event loop.
//
// Thread contract: construct on the main thread once the application object exists, and install
// it before any worker starts. RunOnMainThread may be called from any thread: on the main thread
// the work runs at once (a blocking queued call from the main thread to itself would deadlock);
// from another thread it is queued into the main thread's event loop and the caller blocks until
// it has run. The main thread must therefore keep its event loop turning while workers run, also
// while it waits for them. An exception thrown by the work is rethrown in the calling thread.
#include "platform/MainThreadGate.h"

#include <QObject>

#include <memory>

class TQtMainThreadGate final : public MainThreadGate {
public:
    TQtMainThreadGate();
    ~TQtMainThreadGate() override;

    void RunOnMainThread(const std::function<void()>& work) override;

private:
    // Lives in the main thread: queued calls made on it run there.
    std::unique_ptr<QObject> anchor_;
};
