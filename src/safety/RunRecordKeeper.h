#pragma once
// Keeps the run record on disk without the console's main thread ever waiting for the disk: the
// main thread hands each new record over and goes on; a thread of the keeper's own writes the
// newest one (whole or not at all), at most about once a second, so that a ramp that changes a
// setpoint every tick does not become a write every tick. A write that hangs (a stalled state
// folder) holds only that thread; records handed over meanwhile replace each other.
//
// The keeper writes nothing until Enable: at start the last run's record must be read before
// this run's replaces it.
#include "safety/RunRecord.h"

#include <chrono>
#include <memory>
#include <string>

class TRunRecordKeeper {
public:
    explicit TRunRecordKeeper(std::string path,
                              std::chrono::milliseconds interval = std::chrono::seconds(1));
    // Waits a short while for the last record handed over to be written, then leaves its thread
    // to finish (or hang) alone.
    ~TRunRecordKeeper();
    TRunRecordKeeper(const TRunRecordKeeper&) = delete;
    TRunRecordKeeper& operator=(const TRunRecordKeeper&) = delete;

    const std::string& Path() const { return path_; }
    void Enable();
    // Hands a record over. With now, the interval since the last write is not waited for (the
    // clean mark at the end of a run).
    void Submit(const TRunRecord& record, bool now = false);
    // Waits up to bound for every record handed over to be written; true when it was.
    bool WaitWritten(std::chrono::milliseconds bound);
    // The last write's failure, once ("" when none since the last call).
    std::string TakeError();

    // What the keeper and its thread share; the thread may outlive the keeper.
    struct TShared;

private:
    std::string path_;
    std::shared_ptr<TShared> shared_;
};
