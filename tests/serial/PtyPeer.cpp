#include "PtyPeer.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

TPtyPeer::TPtyPeer() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("no pseudo-terminal name");
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0)
        throw std::runtime_error("cannot open " + slavePath_);
    // Raw from the start, so that nothing is echoed back before the console configures the line.
    termios raw{};
    tcgetattr(slave_, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave_, TCSANOW, &raw);
}

TPtyPeer::~TPtyPeer() {
    Stop();
    if (master_ >= 0 && !masterClosedByPeer_.load())
        close(master_);
    if (slave_ >= 0)
        close(slave_);
}

void TPtyPeer::Answer(const std::string& command, const std::string& reply, int delayMs) {
    rules_.push_back({command, reply, delayMs, false});
}

void TPtyPeer::HangUpOn(const std::string& command, int delayMs, const std::string& replyFirst) {
    rules_.push_back({command, replyFirst, delayMs, true});
}

void TPtyPeer::Start() {
    thread_ = std::thread([this] { Run(); });
}

void TPtyPeer::Stop() {
    stop_.store(true);
    if (thread_.joinable())
        thread_.join();
}

void TPtyPeer::CloseMaster() {
    Stop();
    if (master_ >= 0 && !masterClosedByPeer_.load())
        close(master_);
    master_ = -1;
}

std::string TPtyPeer::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

void TPtyPeer::Run() {
    std::string pending;
    while (!stop_.load()) {
        pollfd in{master_, POLLIN, 0};
        if (poll(&in, 1, 10) <= 0 || !(in.revents & POLLIN))
            continue;
        char buffer[512];
        const ssize_t count = read(master_, buffer, sizeof buffer);
        if (count <= 0)
            continue;
        pending.append(buffer, static_cast<std::size_t>(count));
        {
            std::lock_guard lock(mutex_);
            received_.append(buffer, static_cast<std::size_t>(count));
        }
        for (const TRule& rule : rules_) {
            if (pending.size() < rule.command.size() ||
                pending.compare(pending.size() - rule.command.size(), rule.command.size(),
                                rule.command) != 0)
                continue;
            pending.clear();
            if (rule.hangUp && write(master_, rule.reply.data(), rule.reply.size()) < 0)
                return;
            const auto until =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(rule.delayMs);
            while (!stop_.load() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (rule.hangUp) {
                close(master_);
                masterClosedByPeer_.store(true);
                return;
            }
            if (write(master_, rule.reply.data(), rule.reply.size()) < 0)
                return;
            break;
        }
    }
}

TTempPortFolder::TTempPortFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvello-ports-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a port folder");
    path_ = pattern;
    if (const char* previous = std::getenv("ORVELLO_PORT_DIR")) {
        hadPrevious_ = true;
        previous_ = previous;
    }
    setenv("ORVELLO_PORT_DIR", path_.c_str(), 1);
    std::string error;
    if (!rig_.Acquire(path_, error))
        throw std::runtime_error(error);
}

TTempPortFolder::~TTempPortFolder() {
    rig_.Release();
    if (hadPrevious_)
        setenv("ORVELLO_PORT_DIR", previous_.c_str(), 1);
    else
        unsetenv("ORVELLO_PORT_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TTempPortFolder::Link(const std::string& name, const std::string& target) const {
    std::filesystem::create_symlink(target, std::filesystem::path(path_) / name);
}
