#include "console/session/HeldMessages.h"

void THeldOperatorMessages::Hold() {
    std::lock_guard lock(mutex_);
    if (depth_++ > 0)
        return;
    previous_ = &GetOperatorMessages();
    SetOperatorMessages(this);
}

void THeldOperatorMessages::Release() {
    std::vector<std::string> held;
    OperatorMessages* previous = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (depth_ == 0 || --depth_ > 0)
            return;
        // Restored before any box shows, so that whatever happens while one is open goes the
        // ordinary way.
        if (&GetOperatorMessages() == this)
            SetOperatorMessages(previous_);
        previous = previous_;
        held.swap(held_);
    }
    for (const std::string& text : held)
        previous->ShowMessage(text);
}

void THeldOperatorMessages::ShowMessage(const std::string& text) {
    OperatorMessages* previous = nullptr;
    {
        std::lock_guard lock(mutex_);
        if (depth_ > 0) {
            held_.push_back(text);
            return;
        }
        previous = previous_;
    }
    OperatorMessages& current = GetOperatorMessages();
    if (&current != this)
        current.ShowMessage(text);
    else if (previous)
        previous->ShowMessage(text);
}
