#include "engine/FlowLogWriter.h"

#include <system_error>

TFlowLogWriter::~TFlowLogWriter() {
    if (thread_.joinable())
        thread_.join();
}

bool TFlowLogWriter::Collect(bool wait, const Log& log) {
    if (!thread_.joinable() || (!wait && !done_.load(std::memory_order_acquire)))
        return true;
    thread_.join();
    // Copied: a message box may run an event loop in which the next save starts and reuses them.
    const TFlowLogJob job = job_;
    const TFlowLogOutcome outcome = outcome_;
    saver_.Finish(job, outcome);
    return failures_.Report(outcome, log);
}

bool TFlowLogWriter::Wait(const Log& log) {
    return Collect(true, log);
}

void TFlowLogWriter::Start(const TFlowLogJob& job, const TFlowLogLines& lines) {
    job_ = job;
    outcome_ = {};
    done_.store(false, std::memory_order_relaxed);
    // The copy shares the table's full blocks; only the last, partial one is copied here.
    thread_ = std::thread([this, job, snapshot = lines]() {
        outcome_ = saver_.Write(job, TableOf(snapshot));
        done_.store(true, std::memory_order_release);
    });
}

bool TFlowLogWriter::Save(const TFlowLogLines& lines, bool hasContent, bool force,
                          const std::string& suffix, double now, const Log& log,
                          const std::function<void()>& serve) {
    if (serving_)
        return true;
    if (force && serve)
        return SaveServed(lines, hasContent, suffix, now, log, serve);
    bool ok = Collect(force, log);
    if (InFlight())
        return ok;
    const std::optional<TFlowLogJob> job = saver_.Begin(hasContent, force, suffix, now);
    if (!job)
        return ok;
    if (!force) {
        try {
            Start(*job, lines);
            return ok;
        } catch (const std::system_error&) {
            // No thread to be had: the save is still due, and written here it is not lost.
        }
    }
    const TFlowLogOutcome outcome = saver_.Write(*job, TableOf(lines));
    saver_.Finish(*job, outcome);
    return failures_.Report(outcome, log) && ok;
}

bool TFlowLogWriter::SaveServed(const TFlowLogLines& lines, bool hasContent,
                                const std::string& suffix, double now, const Log& log,
                                const std::function<void()>& serve) {
    serving_ = true;
    struct TEndServing {
        bool& serving;
        ~TEndServing() { serving = false; }
    } endServing{serving_};
    const auto serveUntilDone = [&] {
        while (thread_.joinable() && !done_.load(std::memory_order_acquire))
            serve();
    };
    // The table as it stands now, whatever the events served meanwhile add to it.
    const TFlowLogLines snapshot = lines;
    serveUntilDone();
    bool ok = Collect(true, log);
    const std::optional<TFlowLogJob> job = saver_.Begin(hasContent, true, suffix, now);
    if (!job)
        return ok;
    try {
        Start(*job, snapshot);
    } catch (const std::system_error&) {
        const TFlowLogOutcome outcome = saver_.Write(*job, TableOf(snapshot));
        saver_.Finish(*job, outcome);
        return failures_.Report(outcome, log) && ok;
    }
    serveUntilDone();
    return Collect(true, log) && ok;
}
