#pragma once
// An OperatorMessages sink that keeps every message instead of showing it: used by tests and by
// headless programs. Safe to call from any thread.
#include "platform/OperatorMessages.h"

#include <mutex>
#include <string>
#include <vector>

class RecordingMessages final : public OperatorMessages {
public:
    void ShowMessage(const std::string& text) override;
    std::vector<std::string> Messages() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_;
};

// Installs a RecordingMessages for the lifetime of the object, restoring the previous sink after.
class ScopedRecordingMessages {
public:
    ScopedRecordingMessages();
    ~ScopedRecordingMessages();
    ScopedRecordingMessages(const ScopedRecordingMessages&) = delete;
    ScopedRecordingMessages& operator=(const ScopedRecordingMessages&) = delete;

    RecordingMessages recorder;

private:
    OperatorMessages* previous_;
};
