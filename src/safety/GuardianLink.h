#pragma once
// The console's end of its guardian: starts the guardian program in a session of its own with the
// read end of a pipe as its standard input, and keeps the write end, which no other program gets
// (close-on-exec). However the console ends (a close, a kill, a crash), the kernel closes that end
// and the guardian reads the end of the pipe; only the clean word before it tells the guardian
// that nothing is left to stop.
//
// Sending never blocks: the pipe's write end does not wait, and what the pipe cannot take now
// waits here for the next Flush. Of several records not yet sent only the last is kept.
//
// One thread (the console's main thread).
#include <array>
#include <chrono>
#include <csignal>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

// The signals that close a console, which the guardian must outlive.
constexpr std::array<int, 8> GuardianIgnoredSignals{SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,
                                                    SIGPIPE, SIGTSTP, SIGTTIN, SIGTTOU};

class TGuardianLink {
public:
    TGuardianLink() = default;
    // Closes the write end: without the clean word, the guardian takes this as the console's
    // death and stops what the record lists.
    ~TGuardianLink();
    TGuardianLink(const TGuardianLink&) = delete;
    TGuardianLink& operator=(const TGuardianLink&) = delete;

    // Starts program with the arguments; false with a reason when it could not be started.
    bool Start(const std::string& program, const std::vector<std::string>& arguments,
               std::string& error);
    bool Started() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    // Queues the record's text and sends what the pipe takes.
    void SendRecord(const std::string& recordText);
    // Queues the clean word after every record queued so far, and sends what the pipe takes.
    void SendClean();
    // Sends what is queued. False once the guardian is gone (it ended, or its pipe broke); the
    // reason is in GoneReason.
    bool Flush();
    bool Gone() const { return !goneReason_.empty(); }
    const std::string& GoneReason() const { return goneReason_; }
    // True when nothing waits to be sent.
    bool Idle() const { return inFlight_.empty() && !nextRecord_ && !cleanQueued_; }

    // Waits up to bound for the guardian to end (after the clean word); true when it did.
    bool WaitForEnd(std::chrono::milliseconds bound);

    // The guardian program beside the running program: the folder of /proc/self/exe.
    static std::string ProgramBesideThisOne(const std::string& name);

private:
    void Reap();

    pid_t pid_ = -1;
    int writeFd_ = -1;
    std::string inFlight_; // a word partly written
    std::optional<std::string> nextRecord_;
    bool cleanQueued_ = false;
    std::string goneReason_;
    bool reaped_ = false;
};
