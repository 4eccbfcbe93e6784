#pragma once
// A plain POSIX serial client for the simulator tests: opens a port the way a serial program
// does (raw 8-bit mode), writes a command and collects the reply until the line goes quiet.
#include <chrono>
#include <optional>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class TPtyClient {
public:
    explicit TPtyClient(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (fd_ >= 0) {
            termios settings{};
            tcgetattr(fd_, &settings);
            cfmakeraw(&settings);
            cfsetspeed(&settings, B19200);
            tcsetattr(fd_, TCSANOW, &settings);
        }
    }
    ~TPtyClient() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    TPtyClient(const TPtyClient&) = delete;
    TPtyClient& operator=(const TPtyClient&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }

    bool Write(const std::string& bytes) const {
        return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }

    // Waits up to firstByteMs for the first reply byte, then reads until quietMs pass without
    // more. Empty when nothing came.
    std::string Read(int firstByteMs = 1000, int quietMs = 60) const {
        std::string reply;
        int wait = firstByteMs;
        for (;;) {
            pollfd entry{fd_, POLLIN, 0};
            if (::poll(&entry, 1, wait) <= 0 || (entry.revents & POLLIN) == 0) {
                return reply;
            }
            char buffer[512];
            const ssize_t n = ::read(fd_, buffer, sizeof buffer);
            if (n <= 0) {
                return reply;
            }
            reply.append(buffer, static_cast<std::size_t>(n));
            wait = quietMs;
        }
    }

    std::string Exchange(const std::string& bytes, int firstByteMs = 1000) const {
        return Write(bytes) ? Read(firstByteMs) : std::string();
    }

private:
    int fd_ = -1;
};

// One exchange on a freshly opened port, closed afterwards, as the console's serial layer does it.
inline std::optional<std::string> ExchangeOnce(const std::string& path, const std::string& bytes,
                                               int firstByteMs = 1000) {
    TPtyClient client(path);
    if (!client.IsOpen()) {
        return std::nullopt;
    }
    return client.Exchange(bytes, firstByteMs);
}

// The reply without the control characters and spaces around it.
inline std::string Trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= ' ') {
        --end;
    }
    return text.substr(begin, end - begin);
}
