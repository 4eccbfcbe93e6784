#pragma once
// Flow log files: copies of the whole data table written into the "Logs" folder under a name
// made of the minute and a suffix that tells who asked for the save ("auto", "OnClose", ...).
#include <functional>
#include <optional>
#include <string>
#include <vector>

class TFlowLogLines;

// "<folder>/yyyy-mm-dd hh_mm log <suffix>.txt" for the given date-time.
std::string FlowLogFileName(const std::string& folder, double dateTime, const std::string& suffix);

// Which file a save wrote (device and inode), so that a later removal can make sure the name
// still leads to it.
struct TFlowLogFileId {
    unsigned long long Device = 0;
    unsigned long long Inode = 0;
};

// Writes lines, each followed by CR LF, to path as a whole or not at all: the text goes to a
// temporary file of its own in the same folder (created exclusively, never through a link), is
// synced, replaces path, and the folder is synced; so a failed save never leaves a truncated log,
// an earlier file of the same name stays intact, and two savers never share a temporary file. On
// failure returns false and sets error to a text naming the file and the reason. written, when
// given, receives the identity of the file now under path.
bool WriteFlowLogFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error, TFlowLogFileId* written = nullptr);

// The same for a text already made of the lines (FlowLogText).
bool WriteFlowLogText(const std::string& path, const std::string& text, std::string& error,
                      TFlowLogFileId* written = nullptr);

// The lines, each followed by CR LF, as a flow log file holds them.
std::string FlowLogText(const std::vector<std::string>& lines);
std::string FlowLogText(const TFlowLogLines& lines);

// A save that is due: where it goes, and for an automatic save the previous automatic file that
// the new one makes redundant (empty when there is none to remove).
struct TFlowLogJob {
    std::string Path;
    bool Force = false;
    double Now = 0;
    std::string Replaces;
    TFlowLogFileId ReplacesId;
};

// What became of a save.
struct TFlowLogOutcome {
    bool Saved = false;
    std::string Error;
    TFlowLogFileId Written;
};

// The automatic save rule and the saving itself, for a data table kept as lines.
class TFlowLogSaver {
public:
    explicit TFlowLogSaver(std::string folder) : folder_(std::move(folder)) {}

    // Saves when forced, or when the table has content and more than a minute has passed since
    // the last save. Returns false only when a due save failed; error then says why. A failed
    // save does not count as a save, so the next tick tries again. An automatic (unforced) save
    // that succeeds removes the previous automatic file of this saver, when its name still leads
    // to the file it wrote: the new file holds everything the old one did. Forced saves keep
    // their files.
    bool Save(const std::vector<std::string>& lines, bool hasContent, bool force,
              const std::string& suffix, double now, std::string& error);

    // Save in three steps, so that the writing can run on another thread: Begin says whether a
    // save is due and what it is, Write writes the text and removes the file it replaces, and
    // Finish records the outcome. Begin and Finish belong to the saver's own thread; Write
    // touches nothing of the saver.
    std::optional<TFlowLogJob> Begin(bool hasContent, bool force, const std::string& suffix,
                                     double now) const;
    static TFlowLogOutcome Write(const TFlowLogJob& job, const std::string& text);
    void Finish(const TFlowLogJob& job, const TFlowLogOutcome& outcome);

    const std::string& Folder() const { return folder_; }
    double LastSaveTime() const { return lastSave_; }

private:
    std::string folder_;
    double lastSave_ = 0;
    std::string lastAutomatic_;
    TFlowLogFileId lastAutomaticId_;
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
