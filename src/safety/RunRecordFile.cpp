#include "safety/RunRecordFile.h"

#include "engine/FlowLogFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        return home;
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found &&
        found->pw_dir)
        return found->pw_dir;
    return "/tmp";
}

// Makes every missing folder of path, the last private to the user.
bool MakeFolders(const std::string& path) {
    for (std::size_t at = 1; at != std::string::npos;) {
        at = path.find('/', at + 1);
        const std::string part = path.substr(0, at);
        if (::mkdir(part.c_str(), at == std::string::npos ? 0700 : 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

std::string FileNamePart(const std::string& folder) {
    std::string name;
    for (const char c : folder) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (plain)
            name += c;
        else if (!name.empty() && name.back() != '_')
            name += '_';
    }
    while (!name.empty() && name.back() == '_')
        name.pop_back();
    return name.size() > 80 ? name.substr(name.size() - 80) : name;
}

std::string FolderChecksum(const std::string& folder) {
    std::uint32_t hash = 2166136261U;
    for (const char c : folder) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 16777619U;
    }
    char text[9];
    std::snprintf(text, sizeof text, "%08x", hash);
    return text;
}

} // namespace

std::string RunRecordFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    // A relative value is to be ignored: it would depend on where the program was started.
    const std::string base =
        state && state[0] == '/' ? std::string(state) : HomeFolder() + "/.local/state";
    return base + "/orvello";
}

std::string RunRecordPath(const std::string& portFolder) {
    return RunRecordFolder() + "/run-" + FileNamePart(portFolder) + "-" +
           FolderChecksum(portFolder) + ".record";
}

bool WriteRunRecordFile(const std::string& path, const TRunRecord& record, std::string& error) {
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) {
        error = "Cannot make the folder of " + path + ": " + std::strerror(errno);
        return false;
    }
    return WriteFlowLogText(path, FormatRunRecord(record), error);
}

int LockRunRecord(const std::string& path, bool& busy, std::string& error) {
    busy = false;
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) {
        error = "cannot make the folder of " + path + ": " + std::strerror(errno);
        return -1;
    }
    const std::string lockPath = path + ".lock";
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "cannot open " + lockPath + ": " + std::strerror(errno);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        busy = errno == EWOULDBLOCK;
        error = busy ? "another console of this port folder runs and keeps " + path
                     : "cannot lock " + lockPath + ": " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

TRunRecordRead ReadRunRecordFile(const std::string& path, const std::string& portFolder) {
    TRunRecordRead read;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        if (errno != ENOENT) {
            read.Found = true;
            read.Error = std::strerror(errno);
        }
        return read;
    }
    read.Found = true;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        read.Error = "it is not a regular file";
        return read;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            read.Error = std::strerror(errno);
            ::close(fd);
            return read;
        }
        if (n == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > MaxRunRecordBytes)
            break;
    }
    ::close(fd);
    std::string error;
    std::optional<TRunRecord> record = ParseRunRecord(text, error);
    if (!record) {
        read.Error = error;
        return read;
    }
    if (record->PortFolder != portFolder) {
        read.Error = "it belongs to the port folder " + record->PortFolder + ", not " + portFolder;
        return read;
    }
    read.Record = std::move(record);
    return read;
}
