#include "console/session/ReentryGuard.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

TReentryGuard::TReentryGuard(QObject& context, THooks hooks)
    : context_(context), hooks_(std::move(hooks)) {}

TReentryGuard::TBlockingOperation::TBlockingOperation(TReentryGuard& guard, bool stopEngine)
    : guard_(guard) {
    if (guard_.blockingDepth_++ == 0 && guard_.hooks_.HoldInput)
        guard_.hooks_.HoldInput(true);
    if (stopEngine && guard_.hooks_.EngineRunning && guard_.hooks_.EngineRunning()) {
        guard_.hooks_.RunEngine(false);
        restartEngine_ = true;
    }
}

TReentryGuard::TBlockingOperation::~TBlockingOperation() {
    if (restartEngine_ && !guard_.closing_)
        guard_.hooks_.RunEngine(true);
    if (--guard_.blockingDepth_ > 0)
        return;
    if (guard_.hooks_.HoldInput)
        guard_.hooks_.HoldInput(false);
    if (guard_.closePending_) {
        // Outside the operation's own call stack, so the close never runs inside it.
        TReentryGuard* guard = &guard_;
        QTimer::singleShot(0, &guard_.context_, [guard] {
            guard->closePending_ = false;
            if (guard->hooks_.Close)
                guard->hooks_.Close();
        });
    }
}

TReentryGuard::TClose TReentryGuard::RequestClose() {
    if (blockingDepth_ > 0) {
        closePending_ = true;
        return TClose::Deferred;
    }
    if (closing_)
        return TClose::Ignored;
    closing_ = true;
    return TClose::Proceed;
}

TReentryGuard::TTick::TTick(TReentryGuard& guard) : guard_(guard), entered_(!guard.ticking_) {
    guard_.ticking_ = true;
}

TReentryGuard::TTick::~TTick() {
    if (entered_)
        guard_.ticking_ = false;
}

void TReentryGuard::ServeEvents(std::chrono::milliseconds slice) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, static_cast<int>(slice.count()));
    QThread::msleep(1);
}
