#pragma once
// The operator's open and save file dialogs. The console shows real dialogs; tests and headless
// programs install a recorder that answers with the names the test chose.
#include <optional>
#include <string>
#include <vector>

// One entry of a dialog's file type list: "Text files" with the patterns "*.txt" and "*.TXT".
struct TFileFilter {
    std::string Description;
    std::vector<std::string> Patterns;
};

struct TFileDialogRequest {
    std::string InitialFolder;
    std::string SuggestedName; // file name only; used by the save dialog
    std::vector<TFileFilter> Filters;
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // The path the operator chose, or nothing when the dialog was cancelled. Main thread only.
    virtual std::optional<std::string> OpenFileName(const TFileDialogRequest& request) = 0;
    virtual std::optional<std::string> SaveFileName(const TFileDialogRequest& request) = 0;
};

// The dialogs every command asks. Without one installed there is nobody to ask: every dialog is
// cancelled (and said so on standard error), so nothing is read or written.
FileDialogs& GetFileDialogs();
// Installs dialogs (nullptr restores the cancelling ones); the caller keeps ownership.
void SetFileDialogs(FileDialogs* dialogs);
