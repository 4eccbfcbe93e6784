#pragma once
// FileDialogs that answer from a queue of names given beforehand and keep every request: used by
// tests, which must never wait for an operator.
#include "platform/FileDialogs.h"

#include <deque>
#include <optional>
#include <string>
#include <vector>

class RecordingFileDialogs final : public FileDialogs {
public:
    enum class TKind { Open, Save };
    struct TAsked {
        TKind Kind;
        TFileDialogRequest Request;
    };

    // The answer to the next dialog, in order; nothing means the operator cancels. A dialog with
    // no answer left is cancelled.
    void Answer(std::optional<std::string> path);

    std::optional<std::string> OpenFileName(const TFileDialogRequest& request) override;
    std::optional<std::string> SaveFileName(const TFileDialogRequest& request) override;

    const std::vector<TAsked>& Asked() const { return asked_; }

private:
    std::optional<std::string> Next(TKind kind, const TFileDialogRequest& request);

    std::deque<std::optional<std::string>> answers_;
    std::vector<TAsked> asked_;
};

// Installs a RecordingFileDialogs for the lifetime of the object, restoring the previous ones
// after.
class ScopedRecordingFileDialogs {
public:
    ScopedRecordingFileDialogs();
    ~ScopedRecordingFileDialogs();
    ScopedRecordingFileDialogs(const ScopedRecordingFileDialogs&) = delete;
    ScopedRecordingFileDialogs& operator=(const ScopedRecordingFileDialogs&) = delete;

    RecordingFileDialogs recorder;

private:
    FileDialogs* previous_;
};
