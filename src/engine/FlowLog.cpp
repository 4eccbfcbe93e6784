#include "engine/FlowLog.h"

#include "engine/FlowLogLines.h"

#include "platform/Clock.h"
#include "platform/OperatorMessages.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

bool WriteAll(int fd, const std::string& data) {
    std::size_t written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        written += static_cast<std::size_t>(n);
    }
    return true;
}

// Opens a new file beside path that no other save uses, the way mkstemp does (created
// exclusively, never through a link), but with the mode an ordinary file gets here.
int CreateUniqueFile(const std::string& path, std::string& temporary) {
    static std::atomic<unsigned> sequence{0};
    static thread_local std::minstd_rand random(std::random_device{}());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char tag[64];
        std::snprintf(tag, sizeof tag, ".%ld-%u-%08x.partial", static_cast<long>(::getpid()),
                      sequence.fetch_add(1), static_cast<unsigned>(random()));
        temporary = path + tag;
        const int fd =
            ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool SyncFolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Some file systems cannot sync a folder at all; they have nothing to lose either.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int syncErrno = errno;
    ::close(fd);
    errno = syncErrno;
    return synced;
}

void RemoveIfStill(const std::string& path, const TFlowLogFileId& id) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
        static_cast<unsigned long long>(info.st_dev) == id.Device &&
        static_cast<unsigned long long>(info.st_ino) == id.Inode)
        ::unlink(path.c_str());
}

} // namespace

std::string FlowLogFileName(const std::string& folder, double dateTime, const std::string& suffix) {
    const TDateTimeParts t = DecodeDateTime(dateTime);
    std::string name = std::to_string(t.Year) + "-" + TwoDigits(t.Month) + "-" + TwoDigits(t.Day) +
                       " " + TwoDigits(t.Hour) + "_" + TwoDigits(t.Minute) + " log " + suffix +
                       ".txt";
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

namespace {

// Visits every line of lines once to size the text and once to fill it, so the text is
// allocated once even for a table of megabytes.
template <typename ForEachLine> std::string TextOf(const ForEachLine& forEachLine) {
    std::size_t size = 0;
    forEachLine([&](const std::string& line) { size += line.size() + 2; });
    std::string text;
    text.reserve(size);
    forEachLine([&](const std::string& line) {
        text += line;
        text += "\r\n";
    });
    return text;
}

} // namespace

std::string FlowLogText(const std::vector<std::string>& lines) {
    return TextOf([&](const auto& visit) {
        for (const std::string& line : lines)
            visit(line);
    });
}

std::string FlowLogText(const TFlowLogLines& lines) {
    return TextOf([&](const auto& visit) { lines.ForEach(visit); });
}

bool WriteFlowLogFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error, TFlowLogFileId* written) {
    return WriteFlowLogText(path, FlowLogText(lines), error, written);
}

bool WriteFlowLogText(const std::string& path, const std::string& text, std::string& error,
                      TFlowLogFileId* written) {
    std::string temporary;
    const int fd = CreateUniqueFile(path, temporary);
    if (fd < 0) {
        error = "Cannot create file " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info {};
    const bool complete = WriteAll(fd, text) && ::fsync(fd) == 0 && ::fstat(fd, &info) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (!complete || !closed) {
        error = "Cannot write file " + path + ": " + std::strerror(complete ? errno : writeErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = "Cannot write file " + path + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename lives in the folder: until the folder is on disk, a power cut may bring back
    // the earlier file or none.
    if (!SyncFolderOf(path)) {
        error = "Cannot write file " + path + ": " + std::strerror(errno);
        return false;
    }
    if (written != nullptr)
        *written = TFlowLogFileId{static_cast<unsigned long long>(info.st_dev),
                                  static_cast<unsigned long long>(info.st_ino)};
    return true;
}

bool TFlowLogSaver::Save(const std::vector<std::string>& lines, bool hasContent, bool force,
                         const std::string& suffix, double now, std::string& error) {
    const std::optional<TFlowLogJob> job = Begin(hasContent, force, suffix, now);
    if (!job)
        return true;
    const TFlowLogOutcome outcome = Write(*job, FlowLogText(lines));
    Finish(*job, outcome);
    if (!outcome.Saved)
        error = outcome.Error;
    return outcome.Saved;
}

std::optional<TFlowLogJob> TFlowLogSaver::Begin(bool hasContent, bool force,
                                                const std::string& suffix, double now) const {
    // A clock set back behind the last save makes a save due, rather than leaving the log
    // unsaved until the clock has passed that save again.
    const bool minutePassed = now > lastSave_ + 1.0 / 1440.0 || now < lastSave_;
    if (!force && (!hasContent || !minutePassed))
        return std::nullopt;
    TFlowLogJob job;
    job.Path = FlowLogFileName(folder_, now, suffix);
    job.Force = force;
    job.Now = now;
    // Each automatic file holds the whole table, so the newest one makes the one before it
    // redundant. Forced saves keep their files.
    if (!force && lastAutomatic_ != job.Path) {
        job.Replaces = lastAutomatic_;
        job.ReplacesId = lastAutomaticId_;
    }
    return job;
}

TFlowLogOutcome TFlowLogSaver::Write(const TFlowLogJob& job, const std::string& text) {
    TFlowLogOutcome outcome;
    outcome.Saved = WriteFlowLogText(job.Path, text, outcome.Error, &outcome.Written);
    // The old file goes only now that the new one is in place, and only when the name still
    // leads to the file this saver wrote: another console may have saved under it.
    if (outcome.Saved && !job.Replaces.empty())
        RemoveIfStill(job.Replaces, job.ReplacesId);
    return outcome;
}

void TFlowLogSaver::Finish(const TFlowLogJob& job, const TFlowLogOutcome& outcome) {
    // A failed save does not count as a save, so the next tick tries again.
    if (!outcome.Saved)
        return;
    lastSave_ = job.Now;
    if (!job.Force) {
        lastAutomatic_ = job.Path;
        lastAutomaticId_ = outcome.Written;
    }
}

bool TFlowLogFailures::Report(const TFlowLogOutcome& outcome,
                              const std::function<void(const std::string&)>& log) {
    if (outcome.Saved) {
        failing_ = false;
        return true;
    }
    if (!failing_) {
        failing_ = true;
        const std::string text = "Flow log not saved: " + outcome.Error;
        log(text);
        ShowOperatorMessage(text);
    }
    return false;
}

bool TFlowLogReporter::Save(const std::vector<std::string>& lines, bool hasContent, bool force,
                            const std::string& suffix, double now,
                            const std::function<void(const std::string&)>& log) {
    TFlowLogOutcome outcome;
    outcome.Saved = saver_.Save(lines, hasContent, force, suffix, now, outcome.Error);
    return failures_.Report(outcome, log);
}
