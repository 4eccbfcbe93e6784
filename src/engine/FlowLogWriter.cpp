#include "engine/FlowLogWriter.h"

#include "program/NumberFormat.h"

#include <new>

namespace {

std::string FileNameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string SecondsText(std::chrono::steady_clock::duration duration) {
    const auto tenths =
        std::chrono::duration_cast<std::chrono::milliseconds>(duration).count() / 100;
    return FormatGeneral(static_cast<double>(tenths) / 10.0) + " s";
}

} // namespace

// The writer's thread, the last member, finishes the saves still queued before the rest goes.
TFlowLogWriter::~TFlowLogWriter() = default;

std::size_t TFlowLogWriter::LinesOnDisk() const {
    return diskTable_ == saver_.Table() ? diskLines_ : 0;
}

void TFlowLogWriter::Finished(const TFlowLogJob& job, std::size_t lines,
                              const TFlowLogOutcome& outcome) {
    saver_.Finish(job, outcome);
    if (!outcome.Saved || job.Table != saver_.Table())
        return;
    if (diskTable_ != job.Table || lines > diskLines_) {
        diskTable_ = job.Table;
        diskLines_ = lines;
    }
}

bool TFlowLogWriter::Collect(bool wait, const Log& log) {
    bool ok = true;
    while (!inFlight_.empty()) {
        TInFlight& front = inFlight_.front();
        if (wait) {
            while (!front.Result->Done.load(std::memory_order_acquire))
                thread_.WaitIdle(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
        } else if (!front.Result->Done.load(std::memory_order_acquire)) {
            break;
        }
        // Taken out first: a message box may run an event loop in which the next save starts.
        const TInFlight done = std::move(front);
        inFlight_.pop_front();
        Finished(done.Job, done.Lines, done.Result->Outcome);
        if (done.Announced && done.Result->Outcome.Saved && note_)
            note_("Flow log " + FileNameOf(done.Job.Path) + " saved after " +
                  SecondsText(std::chrono::steady_clock::now() - done.Posted));
        ok = failures_.Report(done.Result->Outcome, log) && ok;
    }
    return ok;
}

void TFlowLogWriter::AnnounceLate(const Log& log) {
    const auto now = std::chrono::steady_clock::now();
    for (TInFlight& save : inFlight_) {
        if (save.Announced || save.Result->Done.load(std::memory_order_acquire))
            continue;
        if (now - save.Posted < patience_)
            continue;
        save.Announced = true;
        log("Flow log " + FileNameOf(save.Job.Path) + " not yet saved after " +
            SecondsText(now - save.Posted) + ": " + saver_.Folder() +
            " does not answer; the save goes on in the background");
    }
}

bool TFlowLogWriter::Settle(const Log& log) {
    const bool ok = Collect(false, log);
    AnnounceLate(log);
    return ok && !InFlight();
}

bool TFlowLogWriter::Wait(const Log& log) {
    return Collect(true, log);
}

bool TFlowLogWriter::Start(const TFlowLogJob& job, const TFlowLogLines& lines) {
    auto result = std::make_shared<TResult>();
    // The copy shares the table's full blocks; only the last, partial one is copied here.
    const bool posted = thread_.Post([this, job, result, snapshot = lines] {
        try {
            result->Outcome = saver_.Write(job, TableOf(snapshot));
        } catch (const std::bad_alloc&) {
            result->Outcome.Saved = false;
            result->Outcome.Error = "Cannot write file " + job.Path + ": out of memory";
        }
        result->Done.store(true, std::memory_order_release);
    });
    if (posted)
        inFlight_.push_back({job, lines.size(), std::chrono::steady_clock::now(), result});
    return posted;
}

bool TFlowLogWriter::WriteHere(const TFlowLogJob& job, const TFlowLogLines& lines, const Log& log) {
    const TFlowLogOutcome outcome = saver_.Write(job, TableOf(lines));
    Finished(job, lines.size(), outcome);
    return failures_.Report(outcome, log);
}

bool TFlowLogWriter::Save(const TFlowLogLines& lines, bool hasContent, bool force,
                          const std::string& suffix, double now, const Log& log,
                          const std::function<bool()>& serve) {
    if (serving_)
        return true;
    if (force && serve)
        return SaveServed(lines, hasContent, suffix, now, log, serve);
    bool ok = Collect(force, log);
    AnnounceLate(log);
    if (InFlight())
        return ok;
    const std::optional<TFlowLogJob> job = saver_.Begin(hasContent, force, suffix, now);
    if (!job)
        return ok;
    // An automatic save goes to the writer's thread; with no thread to be had it is written
    // here, so that it is not lost.
    if (!force && Start(*job, lines))
        return ok;
    return WriteHere(*job, lines, log) && ok;
}

bool TFlowLogWriter::SaveServed(const TFlowLogLines& lines, bool hasContent,
                                const std::string& suffix, double now, const Log& log,
                                const std::function<bool()>& serve) {
    serving_ = true;
    struct TEndServing {
        bool& serving;
        ~TEndServing() { serving = false; }
    } endServing{serving_};
    bool ok = Collect(false, log);
    const std::optional<TFlowLogJob> job = saver_.Begin(hasContent, true, suffix, now);
    if (!job)
        return ok;
    // Behind the saves in flight, so the files come in order; the table as it stands now,
    // whatever the events served meanwhile add to it.
    if (!Start(*job, lines))
        return WriteHere(*job, lines, log) && ok;
    const std::shared_ptr<TResult> result = inFlight_.back().Result;
    const auto posted = inFlight_.back().Posted;
    while (!result->Done.load(std::memory_order_acquire) &&
           std::chrono::steady_clock::now() - posted < patience_ && serve()) {
    }
    ok = Collect(false, log) && ok;
    if (!result->Done.load(std::memory_order_acquire)) {
        AnnounceLate(log);
        return false;
    }
    return ok && result->Outcome.Saved;
}
