#pragma once
// Which of the window's handlers may run inside which. Everything runs on the main thread, yet a
// handler is not alone there: a command that waits (the device search, a pump tool, a flow log
// save, the stop of the workers) serves events meanwhile, so that the workers' hand-overs go on,
// and a modal box runs an event loop of its own. In such a loop the engine timer fires, the
// operator clicks, a window manager or a signal asks for the close. The rules:
//
// - Blocking operations (TBlockingOperation) hold the operator's input out for as long as the
//   outermost one runs; they nest. One may stop the engine timer for its while (a command that
//   talks to an instrument itself); the timer comes back at its end unless the window closes.
// - A close asked for during a blocking operation is not carried out inside it: it is noted and
//   carried out once the last blocking operation has ended, from the event loop, outside every
//   command's call stack. A close asked for while the window is already closing is ignored (the
//   close in progress stops the workers).
// - The engine tick never runs inside itself (TTick): a tick that would start inside a nested
//   event loop of a tick is skipped, and the timer's next firing does the work.
// - While a device record is being shown (TShowing), values the window sets from code are the
//   record's own: a field's change handler must not store them into the focused device.
//
// Main thread only.
#include <QObject>

#include <chrono>
#include <functional>

class TReentryGuard {
public:
    struct THooks {
        // Input held out (true) at the start of the outermost blocking operation, given back
        // (false) at its end.
        std::function<void(bool held)> HoldInput;
        // The engine timer: whether it runs, and stopping or starting it.
        std::function<bool()> EngineRunning;
        std::function<void(bool run)> RunEngine;
        // Carries out a close that was deferred; called from the event loop.
        std::function<void()> Close;
    };

    // context: the object whose life bounds the deferred close (the window).
    TReentryGuard(QObject& context, THooks hooks);

    class TBlockingOperation {
    public:
        TBlockingOperation(TReentryGuard& guard, bool stopEngine);
        ~TBlockingOperation();
        TBlockingOperation(const TBlockingOperation&) = delete;
        TBlockingOperation& operator=(const TBlockingOperation&) = delete;

    private:
        TReentryGuard& guard_;
        bool restartEngine_ = false;
    };
    bool InBlockingOperation() const { return blockingDepth_ > 0; }

    // What a close asked for now must do.
    enum class TClose { Proceed, Deferred, Ignored };
    // Proceed marks the window as closing from then on.
    TClose RequestClose();
    bool ClosePending() const { return closePending_; }
    bool Closing() const { return closing_; }

    class TTick {
    public:
        explicit TTick(TReentryGuard& guard);
        ~TTick();
        TTick(const TTick&) = delete;
        TTick& operator=(const TTick&) = delete;
        // False when a tick already runs: this one must do nothing.
        bool Entered() const { return entered_; }

    private:
        TReentryGuard& guard_;
        bool entered_;
    };

    class TShowing {
    public:
        explicit TShowing(TReentryGuard& guard) : guard_(guard) { ++guard_.showingDepth_; }
        ~TShowing() { --guard_.showingDepth_; }
        TShowing(const TShowing&) = delete;
        TShowing& operator=(const TShowing&) = delete;

    private:
        TReentryGuard& guard_;
    };
    bool Showing() const { return showingDepth_ > 0; }

    // Serves pending events for at most the slice, then rests a millisecond, so that a command
    // that waits in a loop of these neither starves the hand-overs nor spins a core.
    static void ServeEvents(std::chrono::milliseconds slice = std::chrono::milliseconds(20));

private:
    QObject& context_;
    THooks hooks_;
    int blockingDepth_ = 0;
    bool closePending_ = false;
    bool closing_ = false;
    bool ticking_ = false;
    int showingDepth_ = 0;
};
