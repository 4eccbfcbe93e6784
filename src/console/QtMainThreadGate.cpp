#include "console/QtMainThreadGate.h"

#include <QThread>

#include <exception>

TQtMainThreadGate::TQtMainThreadGate() : anchor_(std::make_unique<QObject>()) {}

TQtMainThreadGate::~TQtMainThreadGate() = default;

void TQtMainThreadGate::RunOnMainThread(const std::function<void()>& work) {
    if (QThread::currentThread() == anchor_->thread()) {
        work();
        return;
    }
    // An exception must not unwind through Qt's event loop; it is carried back to the caller.
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        anchor_.get(),
        [&] {
            try {
                work();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}
