#include "engine/FlowLogFile.h"

#include "engine/FlowLogLines.h"
#include "platform/Clock.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

std::string TwoDigits(int value) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%02d", value);
    return buffer;
}

// Visits every line once to size the text and once to fill it, so the text is allocated once
// even for a table of megabytes.
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

std::string LogFileMinute(double dateTime) {
    const TDateTimeParts t = DecodeDateTime(dateTime);
    return std::to_string(t.Year) + "-" + TwoDigits(t.Month) + "-" + TwoDigits(t.Day) + " " +
           TwoDigits(t.Hour) + "_" + TwoDigits(t.Minute);
}

std::string FlowLogFileName(const std::string& folder, double dateTime, const std::string& suffix) {
    std::string name = LogFileMinute(dateTime) + " log " + suffix + ".txt";
    if (folder.empty())
        return name;
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string FlowLogText(const std::vector<std::string>& lines) {
    return FlowLogText(lines, 0);
}

std::string FlowLogText(const TFlowLogLines& lines) {
    return FlowLogText(lines, 0);
}

std::string FlowLogText(const std::vector<std::string>& lines, std::size_t from) {
    return TextOf([&](const auto& visit) {
        for (std::size_t i = from; i < lines.size(); ++i)
            visit(lines[i]);
    });
}

std::string FlowLogText(const TFlowLogLines& lines, std::size_t from) {
    return TextOf([&](const auto& visit) { lines.ForEachFrom(from, visit); });
}

TFlowLogTable TableOf(const std::vector<std::string>& lines) {
    return {lines.size(), [&lines](std::size_t from) { return FlowLogText(lines, from); }};
}

TFlowLogTable TableOf(const TFlowLogLines& lines) {
    return {lines.size(), [&lines](std::size_t from) { return FlowLogText(lines, from); }};
}

bool WriteAllTo(int fd, const std::string& data, std::uint64_t& written) {
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
        written += static_cast<std::uint64_t>(n);
    }
    return true;
}

int CreateFlowLogTemporary(const std::string& path, bool hidden, std::string& temporary) {
    static std::atomic<unsigned> sequence{0};
    static thread_local std::minstd_rand random(std::random_device{}());
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::string base =
        hidden ? path.substr(0, nameStart) + "." + path.substr(nameStart) : path;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char tag[64];
        std::snprintf(tag, sizeof tag, ".%ld-%u-%08x.partial", static_cast<long>(::getpid()),
                      sequence.fetch_add(1), static_cast<unsigned>(random()));
        temporary = base + tag;
        // The mode an ordinary file gets here, unlike mkstemp's.
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

bool WriteFlowLogFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error) {
    return WriteFlowLogText(path, FlowLogText(lines), error);
}

bool WriteFlowLogText(const std::string& path, const std::string& text, std::string& error,
                      std::uint64_t* bytesWritten) {
    std::string temporary;
    const int fd = CreateFlowLogTemporary(path, false, temporary);
    if (fd < 0) {
        error = "Cannot create file " + path + ": " + std::strerror(errno);
        return false;
    }
    std::uint64_t written = 0;
    const bool complete = WriteAllTo(fd, text, written) && ::fsync(fd) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(fd) == 0;
    if (bytesWritten != nullptr)
        *bytesWritten += written;
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
    return true;
}
