#include "platform/RecordingFileDialogs.h"

void RecordingFileDialogs::Answer(std::optional<std::string> path) {
    answers_.push_back(std::move(path));
}

std::optional<std::string> RecordingFileDialogs::OpenFileName(const TFileDialogRequest& request) {
    return Next(TKind::Open, request);
}

std::optional<std::string> RecordingFileDialogs::SaveFileName(const TFileDialogRequest& request) {
    return Next(TKind::Save, request);
}

std::optional<std::string> RecordingFileDialogs::Next(TKind kind,
                                                      const TFileDialogRequest& request) {
    asked_.push_back({kind, request});
    if (answers_.empty())
        return std::nullopt;
    std::optional<std::string> answer = std::move(answers_.front());
    answers_.pop_front();
    return answer;
}

ScopedRecordingFileDialogs::ScopedRecordingFileDialogs() : previous_(&GetFileDialogs()) {
    SetFileDialogs(&recorder);
}

ScopedRecordingFileDialogs::~ScopedRecordingFileDialogs() {
    SetFileDialogs(previous_);
}
