#pragma once
// Flow log files: the data table written into the "Logs" folder under a name made of the minute
// and a suffix that tells who asked for the save ("auto", "OnClose", ...).
#include "engine/AutomaticFlowLog.h"
#include "engine/FlowLogFile.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// A save that is due: where it goes, and which table it saves (a number that changes each time
// the table is emptied and starts again).
struct TFlowLogJob {
    std::string Path;
    bool Force = false;
    double Now = 0;
    unsigned Table = 0;
};

// The automatic save rule and the saving itself, for a data table kept as lines.
class TFlowLogSaver {
public:
    explicit TFlowLogSaver(std::string folder) : folder_(std::move(folder)) {}

    // Saves when forced, or when the table has content and more than a minute has passed since
    // the last save. Returns false only when a due save failed; error then says why. A failed
    // save does not count as a save, so the next tick tries again. A forced save writes the whole
    // table to a file of its own, which stays. An automatic (unforced) save goes to the
    // automatic file (TAutomaticFlowLog), which writes only what is new and takes the previous
    // automatic file out of view once the new one holds all its rows.
    bool Save(const std::vector<std::string>& lines, bool hasContent, bool force,
              const std::string& suffix, double now, std::string& error);

    // Save in three steps, so that the writing can run on another thread: Begin says whether a
    // save is due and what it is, Write writes it, and Finish records the outcome. Begin, Finish
    // and NewTable belong to the saver's own thread. Write touches only the automatic file, never
    // what the others do, so one Write at a time may run on another thread meanwhile.
    std::optional<TFlowLogJob> Begin(bool hasContent, bool force, const std::string& suffix,
                                     double now) const;
    TFlowLogOutcome Write(const TFlowLogJob& job, const TFlowLogTable& table);
    void Finish(const TFlowLogJob& job, const TFlowLogOutcome& outcome);

    // The table was emptied and starts again: the next automatic file begins with the new table,
    // and the previous one stays, since its rows are in no newer automatic file.
    void NewTable() { ++table_; }

    const std::string& Folder() const { return folder_; }
    // The table saved now: a number that changes each time the table starts again.
    unsigned Table() const { return table_; }
    double LastSaveTime() const { return lastSave_; }
    // Bytes written to flow log files so far, by every save, finished or failed.
    std::uint64_t BytesWritten() const { return bytesWritten_; }

private:
    std::string folder_;
    double lastSave_ = 0;
    unsigned table_ = 0;
    std::uint64_t bytesWritten_ = 0;
    TAutomaticFlowLog automatic_;
};

// Tells the operator when saving fails: the first failure of a run of failures shows one message
// box and one log line; later failures stay quiet until a save succeeds, so a folder that cannot
// be written does not raise a box every second. Nothing is thrown: the command or tick that asked
// for the save goes on.
class TFlowLogFailures {
public:
    // log receives the log line. Returns outcome.Saved.
    bool Report(const TFlowLogOutcome& outcome, const std::function<void(const std::string&)>& log);

private:
    bool failing_ = false;
};

// A saver that reports its failures (TFlowLogFailures).
class TFlowLogReporter {
public:
    explicit TFlowLogReporter(std::string folder) : saver_(std::move(folder)) {}

    // log receives the log line. Returns true when nothing failed.
    bool Save(const std::vector<std::string>& lines, bool hasContent, bool force,
              const std::string& suffix, double now,
              const std::function<void(const std::string&)>& log);

    const TFlowLogSaver& Saver() const { return saver_; }

private:
    TFlowLogSaver saver_;
    TFlowLogFailures failures_;
};
