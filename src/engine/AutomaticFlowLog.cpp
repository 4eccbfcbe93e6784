#include "engine/AutomaticFlowLog.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Does path still lead to the file with this identity? Another console may have saved under the
// name, or someone removed or replaced it.
bool LeadsTo(const std::string& path, unsigned long long device, unsigned long long inode) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           static_cast<unsigned long long>(info.st_dev) == device &&
           static_cast<unsigned long long>(info.st_ino) == inode;
}

} // namespace

TAutomaticFlowLog::~TAutomaticFlowLog() {
    // A lagging file ahead of the named one holds rows no named file has (its rename failed):
    // better left on disk than removed.
    if (lagging_.Lines > named_.Lines)
        Close(lagging_);
    else
        Discard(lagging_);
    Close(named_);
}

void TAutomaticFlowLog::Close(TFile& file) {
    if (file.Fd >= 0)
        ::close(file.Fd);
    file = {};
}

void TAutomaticFlowLog::Discard(TFile& file) {
    if (file.Fd >= 0 && LeadsTo(file.Path, file.Device, file.Inode))
        ::unlink(file.Path.c_str());
    Close(file);
}

bool TAutomaticFlowLog::Intact(const TFile& file) {
    struct stat info {};
    return ::fstat(file.Fd, &info) == 0 && static_cast<std::uint64_t>(info.st_size) == file.Bytes &&
           LeadsTo(file.Path, file.Device, file.Inode);
}

TFlowLogOutcome TAutomaticFlowLog::Save(const std::string& path, const TFlowLogTable& table,
                                        unsigned tableNumber) {
    TFlowLogOutcome outcome;
    if (tableNumber != table_ || table.Lines < named_.Lines || table.Lines < lagging_.Lines) {
        // Neither file is the beginning of this table. The named one stays in view with its rows.
        Discard(lagging_);
        Close(named_);
        table_ = tableNumber;
    }
    // Changed behind this log's back: appending to it would not give the table.
    if (lagging_.Fd >= 0 && !Intact(lagging_))
        Discard(lagging_);
    if (lagging_.Fd < 0) {
        lagging_.Fd = CreateFlowLogTemporary(path, true, lagging_.Path);
        if (lagging_.Fd < 0) {
            outcome.Error = "Cannot create file " + path + ": " + std::strerror(errno);
            lagging_ = {};
            return outcome;
        }
        struct stat info {};
        if (::fstat(lagging_.Fd, &info) == 0) {
            lagging_.Device = static_cast<unsigned long long>(info.st_dev);
            lagging_.Inode = static_cast<unsigned long long>(info.st_ino);
        }
    }

    const std::string text = table.TextFrom(lagging_.Lines);
    if (!WriteAllTo(lagging_.Fd, text, outcome.Bytes) || ::fsync(lagging_.Fd) != 0) {
        outcome.Error = "Cannot write file " + path + ": " + std::strerror(errno);
        // Its end may hold a part of a row now: the next save starts a file afresh.
        Discard(lagging_);
        return outcome;
    }
    lagging_.Lines = table.Lines;
    lagging_.Bytes += text.size();
    if (::rename(lagging_.Path.c_str(), path.c_str()) != 0) {
        outcome.Error = "Cannot write file " + path + ": " + std::strerror(errno);
        // Complete and synced under its temporary name: the next save appends to it.
        return outcome;
    }
    TFile previous = named_;
    named_ = lagging_;
    named_.Path = path;
    lagging_ = {};
    if (!SyncFolderOf(path)) {
        outcome.Error = "Cannot write file " + path + ": " + std::strerror(errno);
        // Until the folder is on disk, a power cut may undo the rename: the previous file keeps
        // its name.
        Close(previous);
        return outcome;
    }
    Retire(previous, path);
    outcome.Saved = true;
    return outcome;
}

void TAutomaticFlowLog::Retire(TFile previous, const std::string& newPath) {
    if (previous.Fd < 0)
        return;
    // Replaced by the new file already (the same minute's name), or not the file this log wrote
    // any more: another console saved under its name.
    if (previous.Path == newPath || !LeadsTo(previous.Path, previous.Device, previous.Inode)) {
        Close(previous);
        return;
    }
    // The hidden name is taken exclusively first; the rename then replaces that empty file of
    // ours, never anything planted under the name.
    std::string temporary;
    const int placeholder = CreateFlowLogTemporary(previous.Path, true, temporary);
    if (placeholder >= 0) {
        ::close(placeholder);
        if (::rename(previous.Path.c_str(), temporary.c_str()) == 0) {
            previous.Path = temporary;
            lagging_ = previous;
            return;
        }
        ::unlink(temporary.c_str());
    }
    // No hidden name to be had: the file goes all the same, as the new one holds all its rows.
    ::unlink(previous.Path.c_str());
    Close(previous);
}
