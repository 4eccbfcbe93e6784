#include "platform/FileDialogs.h"

#include <atomic>
#include <cstdio>

namespace {

class CancellingFileDialogs final : public FileDialogs {
public:
    std::optional<std::string> OpenFileName(const TFileDialogRequest& request) override {
        return Cancel("open", request);
    }
    std::optional<std::string> SaveFileName(const TFileDialogRequest& request) override {
        return Cancel("save", request);
    }

private:
    static std::optional<std::string> Cancel(const char* kind, const TFileDialogRequest& request) {
        std::fprintf(stderr, "[file dialog] no %s dialog available in %s; cancelled\n", kind,
                     request.InitialFolder.c_str());
        return std::nullopt;
    }
};

CancellingFileDialogs cancellingFileDialogs;
std::atomic<FileDialogs*> installed{nullptr};

} // namespace

FileDialogs& GetFileDialogs() {
    FileDialogs* dialogs = installed.load();
    return dialogs ? *dialogs : cancellingFileDialogs;
}

void SetFileDialogs(FileDialogs* dialogs) {
    installed.store(dialogs);
}
