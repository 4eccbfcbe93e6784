#include "engine/FlowLog.h"

#include "platform/OperatorMessages.h"

bool TFlowLogSaver::Save(const std::vector<std::string>& lines, bool hasContent, bool force,
                         const std::string& suffix, double now, std::string& error) {
    const std::optional<TFlowLogJob> job = Begin(hasContent, force, suffix, now);
    if (!job)
        return true;
    const TFlowLogOutcome outcome = Write(*job, TableOf(lines));
    Finish(*job, outcome);
    if (!outcome.Saved)
        error = outcome.Error;
    return outcome.Saved;
}

std::optional<TFlowLogJob> TFlowLogSaver::Begin(bool hasContent, bool force,
                                                const std::string& suffix, double now) const {
    // A clock set back behind the last save makes a save due, rather than leaving the log
    // unsaved until the clock has passed that save again.
    const bool minutePassed = now > lastSave_ + 1.0 / 1440.0 || now < lastSave_;
    if (!force && (!hasContent || !minutePassed))
        return std::nullopt;
    TFlowLogJob job;
    job.Path = FlowLogFileName(folder_, now, suffix);
    job.Force = force;
    job.Now = now;
    job.Table = table_;
    return job;
}

TFlowLogOutcome TFlowLogSaver::Write(const TFlowLogJob& job, const TFlowLogTable& table) {
    if (!job.Force)
        return automatic_.Save(job.Path, table, job.Table);
    TFlowLogOutcome outcome;
    outcome.Saved = WriteFlowLogText(job.Path, table.TextFrom(0), outcome.Error, &outcome.Bytes);
    return outcome;
}

void TFlowLogSaver::Finish(const TFlowLogJob& job, const TFlowLogOutcome& outcome) {
    bytesWritten_ += outcome.Bytes;
    // A failed save does not count as a save, so the next tick tries again.
    if (outcome.Saved)
        lastSave_ = job.Now;
}

bool TFlowLogFailures::Report(const TFlowLogOutcome& outcome,
                              const std::function<void(const std::string&)>& log) {
    if (outcome.Saved) {
        failing_ = false;
        return true;
    }
    if (!failing_) {
        failing_ = true;
        const std::string text = "Flow log not saved: " + outcome.Error;
        log(text);
        ShowOperatorMessage(text);
    }
    return false;
}

bool TFlowLogReporter::Save(const std::vector<std::string>& lines, bool hasContent, bool force,
                            const std::string& suffix, double now,
                            const std::function<void(const std::string&)>& log) {
    TFlowLogOutcome outcome;
    outcome.Saved = saver_.Save(lines, hasContent, force, suffix, now, outcome.Error);
    return failures_.Report(outcome, log);
}
