#include "console/session/CrashProtection.h"

#include "platform/Clock.h"
#include "registry/Orvello_DeviceInfo.h"
#include "safety/Guardian.h"
#include "safety/GuardianWord.h"
#include "safety/LastRun.h"
#include "safety/RecordedDevices.h"
#include "safety/RunRecordFile.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <cstdio>
#include <thread>
#include <unistd.h>

namespace {

// The record is rewritten at least this often, so that it tells when the run was last heard of.
constexpr double HeartbeatInterval = 60.0 / 86400; // days
// How long the end of a run waits for the clean record and the guardian's end.
constexpr int EndWait_ms = 3000;
// What the start allows the stop of each device the last run left.
constexpr auto LastRunStopBound = std::chrono::seconds(8);

std::string JoinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace

TCrashProtection::TCrashProtection(THooks hooks)
    : hooks_(std::move(hooks)), alive_(std::make_shared<TAliveToken>()) {
    alive_->Self = this;
}

TCrashProtection::~TCrashProtection() {
    {
        const std::lock_guard lock(alive_->Mutex);
        alive_->Self = nullptr;
    }
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

void TCrashProtection::StartGuardian() {
    std::string error;
    if (!guardian_.Start(guardianProgram_, GuardianArguments(recordPath_, portFolder_), error)) {
        guardianWarned_ = true;
        hooks_.Warn("Crash protection is off: " + error +
                    ". A crash of the console would leave its devices running.");
        return;
    }
    hooks_.Log("Crash protection on: guardian pid " + std::to_string(guardian_.Pid()) +
               ", run record " + recordPath_);
}

void TCrashProtection::Start(const std::string& portFolder, const std::string& guardianProgram) {
    if (Started())
        return;
    portFolder_ = portFolder;
    recordPath_ = RunRecordPath(portFolder);
    guardianProgram_ = guardianProgram;
    started_ = GetClock().Now();
    keeper_ = std::make_unique<TRunRecordKeeper>(recordPath_);
    // The record is taken and read on a thread of its own (a home folder on a stalled network
    // must not hold the window), and neither the guardian nor the file hears of this run before
    // the last run's record has been read: should this run die first, the next start still finds
    // that record. Nothing talks to the ports meanwhile (the device search waits), so no worker
    // starts before the guardian.
    stoppingLastRun_ = true;
    RunInBackground([path = recordPath_, folder = portFolder]() -> TContinuation {
        bool busy = false;
        std::string lockError;
        const int lock = LockRunRecord(path, busy, lockError);
        TRunRecordRead read;
        if (lock >= 0) {
            read = ReadRunRecordFile(path, folder);
            if (read.Found && !read.Record) {
                // Kept for whoever wants to look, out of the way of this run's record.
                ::rename(path.c_str(), (path + ".unreadable").c_str());
            }
        }
        return [lock, lockError, read = std::move(read)](TCrashProtection& self) mutable {
            self.LastRunRead(lock, lockError, std::move(read));
        };
    });
}

void TCrashProtection::RunInBackground(std::function<TContinuation()> job) {
    // Detached, and posting back only while this object lives: a stalled disk or a slow port
    // must not hold the console's end.
    std::thread([token = alive_, job = std::move(job)] {
        TContinuation done = job();
        const std::lock_guard lock(token->Mutex);
        if (TCrashProtection* self = token->Self)
            QMetaObject::invokeMethod(
                self, [self, done = std::move(done)]() mutable { done(*self); },
                Qt::QueuedConnection);
    }).detach();
}

void TCrashProtection::LastRunRead(int lock, const std::string& lockError, TRunRecordRead read) {
    if (lock < 0) {
        stoppingLastRun_ = false;
        hooks_.Warn("Crash protection is off: " + lockError +
                    ". A crash of this console would leave its devices running.");
        return;
    }
    lockFd_ = lock;
    recordRead_ = true;
    StartGuardian();
    std::optional<TRunRecord>& record = read.Record;
    if (read.Found && !record) {
        const std::string line = "The run record " + recordPath_ + " cannot be used (" +
                                 read.Error + "); nothing was stopped from it. It was kept as " +
                                 recordPath_ + ".unreadable";
        hooks_.TellOutside(line);
        hooks_.ShowBox(line);
    }
    if (record && record->Clean && !record->GuardianReport.empty()) {
        hooks_.Warn(UncleanRunLine(*record) + " Its guardian stopped its devices and reported:");
        for (const std::string& line : record->GuardianReport)
            hooks_.Warn("  " + line);
    }
    const bool leftBehind = record && !record->Clean;
    if (leftBehind && record->Devices.empty())
        hooks_.Warn(UncleanRunLine(*record) + " No device of it may have output.");
    keeper_->Enable();
    if (!leftBehind || record->Devices.empty()) {
        stoppingLastRun_ = false;
        Submit(true);
        return;
    }
    // Kept in this run's record until they are stopped: should this run die too, the next start
    // or this run's guardian still knows of them.
    lastRunRecord_ = *record;
    leftovers_ = record->Devices;
    for (TRecordedDevice& device : leftovers_)
        device.FromEarlierRun = true;
    Submit(true);
    hooks_.TellOutside(UncleanRunLine(*record) + " Stopping the " +
                       std::to_string(leftovers_.size()) + " device(s) it may have left running.");
    RunInBackground([devices = leftovers_]() -> TContinuation {
        TSafeStopOptions options;
        options.Bound = LastRunStopBound;
        std::vector<TSafeStopResult> results = StopRecordedDevices(devices, options);
        return [results = std::move(results)](TCrashProtection& self) mutable {
            self.LastRunStopped(std::move(results));
        };
    });
}

void TCrashProtection::LastRunStopped(std::vector<TSafeStopResult> results) {
    std::vector<std::string> lines{UncleanRunLine(lastRunRecord_) +
                                   " What it may have left running:"};
    for (const TSafeStopResult& result : results) {
        TRecordedDevice device = result.Device;
        device.FromEarlierRun = false;
        lines.push_back(SafeStopLine(result) + "; last request at " +
                        RecordTimeText(device.SentAt));
    }
    const int confirmed = ConfirmedStops(results);
    lines.push_back(std::to_string(confirmed) + " of " + std::to_string(results.size()) +
                    " stop(s) confirmed; no program of the last run is resumed.");
    for (const std::string& line : lines)
        hooks_.TellOutside(line);
    hooks_.ShowBox(JoinLines(lines));
    leftovers_.clear();
    stoppingLastRun_ = false;
    Submit(true);
}

TRunRecord TCrashProtection::CurrentRecord() const {
    TRunRecord record;
    record.PortFolder = portFolder_;
    record.ConsolePid = static_cast<long>(::getpid());
    record.Started = started_;
    record.LastHeard = GetClock().Now();
    record.SessionLog = hooks_.SessionLogPath ? hooks_.SessionLogPath() : std::string();
    record.Clean = false;
    record.Devices = leftovers_;
    record.Devices.insert(record.Devices.end(), devices_.begin(), devices_.end());
    return record;
}

void TCrashProtection::Submit(bool now) {
    const TRunRecord record = CurrentRecord();
    lastSubmitted_ = record.LastHeard;
    keeper_->Submit(record, now);
    guardian_.SendRecord(FormatRunRecord(record));
    CheckGuardian();
}

void TCrashProtection::CheckGuardian() {
    if (guardianWarned_ || !guardian_.Started() || ended_)
        return;
    guardian_.Flush();
    if (!guardian_.Gone())
        return;
    guardianWarned_ = true;
    hooks_.Warn("Crash protection is off: " + guardian_.GoneReason() +
                ". A crash of the console would leave its devices running.");
}

void TCrashProtection::Update() {
    if (!Started() || ended_ || !recordRead_)
        return;
    const double now = GetClock().Now();
    std::vector<TRecordedDevice> devices = RecordedDevicesOf(
        DevicesLocal,
        hooks_.UnconfirmedPorts ? hooks_.UnconfirmedPorts() : std::vector<std::string>{}, devices_,
        now);
    const bool changed = !SameRecordedOutput(devices, devices_);
    devices_ = std::move(devices);
    if (changed || now - lastSubmitted_ >= HeartbeatInterval)
        Submit(false);
    else
        CheckGuardian();
    if (const std::string error = keeper_->TakeError(); !error.empty())
        hooks_.Warn("The run record cannot be written: " + error);
}

void TCrashProtection::EndOfRun(bool everyStopConfirmed, const std::function<void()>& serve) {
    if (!Started() || ended_)
        return;
    QElapsedTimer waited;
    waited.start();
    // A stop of the last run's devices still under way ends within its bound; the record must
    // not call the run clean before it has.
    while (stoppingLastRun_ && waited.elapsed() < LastRunStopBound.count() * 1000 + EndWait_ms)
        serve();
    if (!recordRead_)
        return; // another console keeps this rig's record, or it was never read
    Update();
    ended_ = true;
    TRunRecord record = CurrentRecord();
    const bool clean = everyStopConfirmed && !stoppingLastRun_ && record.Devices.empty();
    record.Clean = clean;
    keeper_->Submit(record, true);
    guardian_.SendRecord(FormatRunRecord(record));
    if (clean)
        guardian_.SendClean();
    waited.restart();
    while (!keeper_->WaitWritten(std::chrono::milliseconds(0)) ||
           (clean && !guardian_.Idle() && guardian_.Flush()) ||
           (clean && guardian_.Started() && !guardian_.WaitForEnd(std::chrono::milliseconds(0)))) {
        if (waited.elapsed() >= EndWait_ms)
            break;
        serve();
    }
    if (!keeper_->WaitWritten(std::chrono::milliseconds(0)))
        hooks_.TellOutside(
            "The run record " + recordPath_ + " could not be written at the end of the run" +
            (clean ? "; the next start may stop devices that are already safe" : ""));
}
