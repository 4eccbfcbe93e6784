#pragma once
// The console's part in surviving its own death: the run record kept on disk, the guardian
// started before any worker, and at start the stop of whatever a run that did not end cleanly
// left behind (a power cut that took the console and its guardian together).
//
// Main thread, but for a thread of its own that reads the last run's record and stops what it
// lists: serial exchanges and the disk never hold the window. Its findings come back to the main
// thread as queued calls.
#include "safety/GuardianLink.h"
#include "safety/RunRecord.h"
#include "safety/RunRecordFile.h"
#include "safety/RunRecordKeeper.h"
#include "safety/SafeStop.h"

#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class TCrashProtection : public QObject {
    Q_OBJECT
public:
    struct THooks {
        std::function<void(const std::string&)> Log;  // the log pane and the session log
        std::function<void(const std::string&)> Warn; // the same, kept in the Warnings list
        // Standard error as well: for what someone must hear of even when nobody watches.
        std::function<void(const std::string&)> TellOutside;
        // A box that does not wait for its answer.
        std::function<void(const std::string&)> ShowBox;
        std::function<std::string()> SessionLogPath;
        // The ports whose stop was not confirmed in this run: they may still have output.
        std::function<std::vector<std::string>()> UnconfirmedPorts;
    };

    explicit TCrashProtection(THooks hooks);
    // A stop of the last run's devices still under way goes on alone and reports to nobody.
    ~TCrashProtection() override;

    // Reads the last run's record and stops what it left, starts the guardian program and keeps
    // this run's record from now on. Call once, before any worker starts.
    void Start(const std::string& portFolder, const std::string& guardianProgram);
    bool Started() const { return keeper_ != nullptr; }

    // Brings the record up to date with the device list (every tick, and after the workers
    // changed): rewritten when the devices with output or their requests changed, and about once
    // a minute all the same, so that it tells when the run was last heard of.
    void Update();

    // True while the last run's devices are being stopped: nothing else may talk to the ports.
    bool StoppingLastRun() const { return stoppingLastRun_; }

    // The end of the run, after the stops: with every stop confirmed the record is marked clean
    // and the guardian told to end; otherwise the record keeps what may still run, and the
    // guardian goes on to stop it once this program has ended. Waits (serving events) up to a
    // few seconds for the record to reach the disk and for the guardian to end.
    void EndOfRun(bool everyStopConfirmed, const std::function<void()>& serve);

    const std::string& RecordPath() const { return recordPath_; }
    pid_t GuardianPid() const { return guardian_.Pid(); }

private:
    // Work for a thread of its own; what it returns runs on the main thread afterwards, unless
    // this object is gone by then.
    using TContinuation = std::function<void(TCrashProtection&)>;
    void RunInBackground(std::function<TContinuation()> job);
    void LastRunRead(int lock, const std::string& lockError, TRunRecordRead read);
    void StartGuardian();
    void LastRunStopped(std::vector<TSafeStopResult> results);
    void Submit(bool now);
    TRunRecord CurrentRecord() const;
    void CheckGuardian();

    THooks hooks_;
    std::string portFolder_;
    std::string recordPath_;
    std::string guardianProgram_;
    int lockFd_ = -1;
    std::unique_ptr<TRunRecordKeeper> keeper_;
    TGuardianLink guardian_;
    bool guardianWarned_ = false;
    struct TAliveToken {
        std::mutex Mutex;
        TCrashProtection* Self = nullptr;
    };
    std::shared_ptr<TAliveToken> alive_;
    std::atomic<bool> stoppingLastRun_{false};
    bool recordRead_ = false;

    double started_ = 0;
    double lastSubmitted_ = 0;
    std::vector<TRecordedDevice> leftovers_; // the last run's, while this one stops them
    std::vector<TRecordedDevice> devices_;   // this run's, as last recorded
    TRunRecord lastRunRecord_;
    bool ended_ = false;
};
