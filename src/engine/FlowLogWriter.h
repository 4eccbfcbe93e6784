#pragma once
// Flow log saves in the background. Even a save of only the new rows waits on the syncs that keep
// the files whole, which can take long on a busy disk, and for ever on a network folder whose
// server went away; the first save of a run writes the whole table. On the thread that runs the
// engine tick it would hold the window and the workers' hand-overs. So every save writes from a
// copy of the table on the writer's thread (TFileWriterThread), one after another in the order
// they were asked for, while everything the saver decides and reports stays on the calling
// thread: the rule of when a save is due, what counts as saved, and the operator's messages.
//
// A save that has not finished `patience` after it was asked for is late: it is announced once
// (log), naming its file and the folder that does not answer, and goes on in the background; its
// end is noted once it comes (note). Nothing waits for it without a bound but the destructor.
//
// Not thread-safe itself: call it from one thread only (the tick's).
#include "engine/FileWriterThread.h"
#include "engine/FlowLog.h"
#include "engine/FlowLogLines.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

class TFlowLogWriter {
public:
    using Log = std::function<void(const std::string&)>;
    static constexpr std::chrono::milliseconds DefaultPatience{4000};

    // note receives the line that a late save has ended after all.
    explicit TFlowLogWriter(std::string folder, Log note = {},
                            std::chrono::milliseconds patience = DefaultPatience)
        : saver_(std::move(folder)), note_(std::move(note)), patience_(patience) {}
    // Waits for the saves in flight: their files are written whole or not at all, never left
    // half done by a thread that outlives its writer. Their outcomes are not reported any more.
    ~TFlowLogWriter();
    TFlowLogWriter(const TFlowLogWriter&) = delete;
    TFlowLogWriter& operator=(const TFlowLogWriter&) = delete;

    // Called every tick. First reports the saves that have finished meanwhile and announces late
    // ones. An unforced save that is due starts in the background on a copy of lines, unless one
    // is still in flight: it stays due, and a later call starts it. A forced save without serve
    // waits for the saves in flight, so that the files come in order, and then writes at once.
    // Returns false when a save that finished in this call failed.
    //
    // With serve, a forced save goes to the writer's thread behind the saves in flight, and the
    // calling thread calls serve() while it waits: a program whose workers hand over on that
    // thread keeps them going meanwhile. The wait ends when the save has finished, when it is
    // late (patience), or when serve() returns false (the caller has something more urgent to
    // do, a close); the save then goes on in the background, and the call returns false. Calls
    // made from inside serve() while such a save waits (the next tick's) neither collect nor
    // start anything.
    bool Save(const TFlowLogLines& lines, bool hasContent, bool force, const std::string& suffix,
              double now, const Log& log, const std::function<bool()>& serve = {});

    // Waits for the saves in flight, if any, and reports them. Returns false when one failed.
    bool Wait(const Log& log);
    // Reports the saves that have finished and announces late ones, without waiting. True when
    // none is in flight any more.
    bool Settle(const Log& log);

    // The table was emptied and starts again (TFlowLogSaver::NewTable).
    void NewTable() { saver_.NewTable(); }

    bool InFlight() const { return !inFlight_.empty(); }
    const TFlowLogSaver& Saver() const { return saver_; }
    // Bytes written to flow log files by the saves collected so far.
    std::uint64_t BytesWritten() const { return saver_.BytesWritten(); }
    // How many lines of the current table a finished save holds: the rows from this index on are
    // not known to be on disk.
    std::size_t LinesOnDisk() const;

private:
    struct TResult {
        TFlowLogOutcome Outcome; // written by the writer's thread before Done
        std::atomic<bool> Done{false};
    };
    struct TInFlight {
        TFlowLogJob Job;
        std::size_t Lines = 0;
        std::chrono::steady_clock::time_point Posted;
        std::shared_ptr<TResult> Result;
        bool Announced = false; // told as late
    };

    bool Collect(bool wait, const Log& log);
    void AnnounceLate(const Log& log);
    // Starts the save on the writer's thread; false when no thread is to be had.
    bool Start(const TFlowLogJob& job, const TFlowLogLines& lines);
    bool WriteHere(const TFlowLogJob& job, const TFlowLogLines& lines, const Log& log);
    bool SaveServed(const TFlowLogLines& lines, bool hasContent, const std::string& suffix,
                    double now, const Log& log, const std::function<bool()>& serve);
    void Finished(const TFlowLogJob& job, std::size_t lines, const TFlowLogOutcome& outcome);

    TFlowLogSaver saver_;
    TFlowLogFailures failures_;
    Log note_;
    std::chrono::milliseconds patience_;
    std::deque<TInFlight> inFlight_; // in the order they were started
    bool serving_ = false;
    unsigned diskTable_ = 0;    // the table that diskLines_ counts
    std::size_t diskLines_ = 0; // lines of that table that a finished save holds
    // Last: destroyed first, so its jobs end while what they use still exists.
    TFileWriterThread thread_;
};
