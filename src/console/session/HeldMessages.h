#pragma once
// Holds the operator's message boxes back while devices are being stopped and shows them once the
// stop has been requested or done. A box is modal: shown in the middle of a stop it would hold
// the instruments at their last setpoint until someone answers it, and after a close by signal
// nobody may be there to answer.
//
// The object outlives every hold (the window keeps one), so a worker thread that took it as the
// sink just before a hold ended still reaches a live object; such a late text goes straight on.
#include "platform/OperatorMessages.h"

#include <mutex>
#include <string>
#include <vector>

class THeldOperatorMessages final : public OperatorMessages {
public:
    // Starts a hold: installs itself as the sink. Main thread; holds may nest.
    void Hold();
    // Ends a hold; the last one puts the previous sink back and shows it every text held, in
    // order. Main thread.
    void Release();
    // Any thread: kept during a hold, passed on otherwise.
    void ShowMessage(const std::string& text) override;

    // Holds for the lifetime of the guard.
    class TScope {
    public:
        explicit TScope(THeldOperatorMessages& held) : held_(held) { held_.Hold(); }
        ~TScope() { held_.Release(); }
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        THeldOperatorMessages& held_;
    };

private:
    std::mutex mutex_;
    int depth_ = 0;
    OperatorMessages* previous_ = nullptr;
    std::vector<std::string> held_;
};
