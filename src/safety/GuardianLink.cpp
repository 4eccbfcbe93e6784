#include "safety/GuardianLink.h"

#include "safety/GuardianWord.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

TGuardianLink::~TGuardianLink() {
    if (writeFd_ >= 0)
        ::close(writeFd_);
    // Not waited for: a guardian that acts now must not hold the console's end, and one that
    // outlives it is reparented and reaped by the system.
    Reap();
}

bool TGuardianLink::Start(const std::string& program, const std::vector<std::string>& arguments,
                          std::string& error) {
    if (Started()) {
        error = "already started";
        return false;
    }
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        error = std::string("no pipe: ") + std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // Its standard input is the pipe; its output goes nowhere, its errors where the console's go.
    posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    // A session of its own: a signal to the console's terminal or process group (Ctrl-C, a
    // closed terminal) does not reach it. Signals start at their defaults, whatever the console
    // did with them; those that close a console start blocked, so that one sent before the
    // guardian has set them aside cannot end it (it ignores them, which discards them).
    sigset_t closing;
    sigset_t all;
    sigemptyset(&closing);
    for (const int signal : GuardianIgnoredSignals)
        sigaddset(&closing, signal);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &closing);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int result =
        ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    ::close(fds[0]);
    if (result != 0) {
        ::close(fds[1]);
        error = "cannot start " + program + ": " + std::strerror(result);
        return false;
    }
    pid_ = pid;
    writeFd_ = fds[1];
    ::fcntl(writeFd_, F_SETFL, ::fcntl(writeFd_, F_GETFL) | O_NONBLOCK);
    return true;
}

void TGuardianLink::SendRecord(const std::string& recordText) {
    nextRecord_ = recordText;
    Flush();
}

void TGuardianLink::SendClean() {
    cleanQueued_ = true;
    Flush();
}

void TGuardianLink::Reap() {
    if (pid_ <= 0 || reaped_)
        return;
    int status = 0;
    const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    if (ended != pid_)
        return;
    reaped_ = true;
    if (goneReason_.empty()) {
        if (WIFEXITED(status))
            goneReason_ = "the guardian ended with code " + std::to_string(WEXITSTATUS(status));
        else if (WIFSIGNALED(status))
            goneReason_ = "the guardian was ended by signal " + std::to_string(WTERMSIG(status));
        else
            goneReason_ = "the guardian ended";
    }
}

bool TGuardianLink::Flush() {
    Reap();
    if (writeFd_ < 0 || Gone())
        return false;
    for (;;) {
        if (inFlight_.empty()) {
            if (nextRecord_) {
                inFlight_ = GuardianRecordWord(*nextRecord_);
                nextRecord_.reset();
            } else if (cleanQueued_) {
                inFlight_ = GuardianCleanWord();
                cleanQueued_ = false;
            } else {
                return true;
            }
        }
        const ssize_t n = ::write(writeFd_, inFlight_.data(), inFlight_.size());
        if (n > 0) {
            inFlight_.erase(0, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true; // the pipe is full: the guardian reads it later
        goneReason_ = std::string("the guardian's pipe broke: ") + std::strerror(errno);
        return false;
    }
}

bool TGuardianLink::WaitForEnd(std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    for (;;) {
        Reap();
        if (reaped_ || pid_ <= 0)
            return true;
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

std::string TGuardianLink::ProgramBesideThisOne(const std::string& name) {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return name;
    std::string self(path, static_cast<std::size_t>(n));
    const std::size_t slash = self.rfind('/');
    return slash == std::string::npos ? name : self.substr(0, slash + 1) + name;
}
