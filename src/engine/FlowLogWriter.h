#pragma once
// Automatic flow log saves in the background. Even a save of only the new rows waits on the
// syncs that keep the files whole, which can take long on a busy disk, and the first save of a
// run writes the whole table; on the thread that runs the engine tick it would hold the window and
// the workers' hand-overs. So an automatic save writes from a copy of the table on a thread of its
// own, while everything the saver decides and reports stays on the calling thread: the rule of
// when a save is due, what counts as saved, and the operator's message on failure
// (TFlowLogFailures).
//
// Not thread-safe itself: call it from one thread only (the tick's).
#include "engine/FlowLog.h"
#include "engine/FlowLogLines.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

class TFlowLogWriter {
public:
    using Log = std::function<void(const std::string&)>;

    explicit TFlowLogWriter(std::string folder) : saver_(std::move(folder)) {}
    // Waits for a save in flight: its file is written whole or not at all, never left half done
    // by a thread that outlives its writer. Its outcome is not reported any more.
    ~TFlowLogWriter();
    TFlowLogWriter(const TFlowLogWriter&) = delete;
    TFlowLogWriter& operator=(const TFlowLogWriter&) = delete;

    // Called every tick. First reports an automatic save that has finished meanwhile. A forced
    // save waits for an automatic save in flight, so that the two never race and the files come
    // in order, and then writes at once. An unforced save that is due starts in the background
    // on a copy of lines, unless one is still in flight: it stays due, and a later call starts
    // it. Returns false when a save that finished in this call failed.
    //
    // With serve, a forced save is written on the writer's thread as well, and the calling thread
    // calls serve() until it has ended (as it does while an automatic save in flight ends): a
    // program whose workers hand over on that thread keeps them going meanwhile, so a stop asked
    // for just before the save is not held up by a slow or stalled folder. Calls made from inside
    // serve() while such a save runs (the next tick's) neither collect nor start anything.
    bool Save(const TFlowLogLines& lines, bool hasContent, bool force, const std::string& suffix,
              double now, const Log& log, const std::function<void()>& serve = {});

    // Waits for the automatic save in flight, if any, and reports it. Returns false when it
    // failed.
    bool Wait(const Log& log);

    // The table was emptied and starts again (TFlowLogSaver::NewTable).
    void NewTable() { saver_.NewTable(); }

    bool InFlight() const { return thread_.joinable(); }
    const TFlowLogSaver& Saver() const { return saver_; }
    // Bytes written to flow log files by the saves collected so far.
    std::uint64_t BytesWritten() const { return saver_.BytesWritten(); }

private:
    bool Collect(bool wait, const Log& log);
    void Start(const TFlowLogJob& job, const TFlowLogLines& lines);
    bool SaveServed(const TFlowLogLines& lines, bool hasContent, const std::string& suffix,
                    double now, const Log& log, const std::function<void()>& serve);

    TFlowLogSaver saver_;
    TFlowLogFailures failures_;
    TFlowLogJob job_;         // the save in flight
    TFlowLogOutcome outcome_; // written by its thread, read after the join
    std::atomic<bool> done_{false};
    std::thread thread_;
    bool serving_ = false;
};
