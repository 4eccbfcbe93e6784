#include "telemetry/BrokerCredentials.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A credentials file is two short lines; anything much larger is not one.
constexpr std::size_t MaxFileSize = 64 * 1024;

class TFileDescriptor {
public:
    explicit TFileDescriptor(int fd) : fd_(fd) {}
    ~TFileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

std::string Mode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string NextLine(const std::string& text, std::size_t& at) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end < text.size() ? end + 1 : end;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

} // namespace

std::optional<TBrokerCredentials> ReadBrokerCredentials(const std::string& path,
                                                        std::string& error) {
    const std::string named = "the credentials file " + path;
    // Checked on the open descriptor, so the file read is the file checked.
    const TFileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.Get() < 0) {
        error = named + " cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    struct stat status {};
    if (::fstat(file.Get(), &status) != 0) {
        error = named + " cannot be read: " + std::strerror(errno);
        return std::nullopt;
    }
    if (!S_ISREG(status.st_mode)) {
        error = named + " is not a regular file";
        return std::nullopt;
    }
    if (status.st_uid != ::geteuid()) {
        error = named + " belongs to another user; it must be this user's own";
        return std::nullopt;
    }
    if ((status.st_mode & 077) != 0) {
        error = named + " may be read by others (mode " + Mode(status.st_mode) +
                "); allow only its owner with chmod 600";
        return std::nullopt;
    }
    if (static_cast<std::size_t>(status.st_size) > MaxFileSize) {
        error = named + " is too large for a user name and a password";
        return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(file.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = named + " cannot be read: " + std::strerror(errno);
            return std::nullopt;
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
        if (text.size() > MaxFileSize) {
            error = named + " is too large for a user name and a password";
            return std::nullopt;
        }
    }
    std::size_t at = 0;
    TBrokerCredentials credentials;
    credentials.User = NextLine(text, at);
    credentials.Password = NextLine(text, at);
    if (credentials.User.empty()) {
        error = named + " holds no user name on its first line";
        return std::nullopt;
    }
    return credentials;
}
