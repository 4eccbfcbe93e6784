#include "platform/RecordingMessages.h"

void RecordingMessages::ShowMessage(const std::string& text) {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
}

std::vector<std::string> RecordingMessages::Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
}

void RecordingMessages::Clear() {
    std::lock_guard lock(mutex_);
    messages_.clear();
}

ScopedRecordingMessages::ScopedRecordingMessages() : previous_(&GetOperatorMessages()) {
    SetOperatorMessages(&recorder);
}

ScopedRecordingMessages::~ScopedRecordingMessages() {
    SetOperatorMessages(previous_);
}
