#pragma once
// One flow log file on disk: its name, its text, and how it is written so that a reader, a crash
// or a power cut never finds a part of a line in it.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TFlowLogLines;

// "yyyy-mm-dd hh_mm" for the given date-time: the minute that log file names begin with.
std::string LogFileMinute(double dateTime);

// "<folder>/yyyy-mm-dd hh_mm log <suffix>.txt" for the given date-time.
std::string FlowLogFileName(const std::string& folder, double dateTime, const std::string& suffix);

// The lines, each followed by CR LF, as a flow log file holds them.
std::string FlowLogText(const std::vector<std::string>& lines);
std::string FlowLogText(const TFlowLogLines& lines);
// The same for the lines from index from on.
std::string FlowLogText(const std::vector<std::string>& lines, std::size_t from);
std::string FlowLogText(const TFlowLogLines& lines, std::size_t from);

// A table to save, whatever keeps its lines: how many it has and the text of those from a given
// one on. It refers to the lines, which must outlive it.
struct TFlowLogTable {
    std::size_t Lines = 0;
    std::function<std::string(std::size_t from)> TextFrom;
};
TFlowLogTable TableOf(const std::vector<std::string>& lines);
TFlowLogTable TableOf(const TFlowLogLines& lines);

// What became of a save. Bytes counts what reached the file system, also for a save that failed.
struct TFlowLogOutcome {
    bool Saved = false;
    std::string Error;
    std::uint64_t Bytes = 0;
};

// Writes lines, each followed by CR LF, to path as a whole or not at all: the text goes to a
// temporary file of its own in the same folder (created exclusively, never through a link), is
// synced, replaces path, and the folder is synced; so a failed save never leaves a truncated log,
// an earlier file of the same name stays intact, and two savers never share a temporary file. On
// failure returns false and sets error to a text naming the file and the reason.
bool WriteFlowLogFile(const std::string& path, const std::vector<std::string>& lines,
                      std::string& error);

// The same for a text already made of the lines (FlowLogText). bytesWritten, when given, grows by
// the bytes written.
bool WriteFlowLogText(const std::string& path, const std::string& text, std::string& error,
                      std::uint64_t* bytesWritten = nullptr);

// The steps these writes are made of, for writers that keep files open between saves.
//
// Opens a new file beside path for writing that no other save uses, the way mkstemp does
// (created exclusively, never through a link): "<path>.<pid>-<n>-<random>.partial", or with
// hidden set the same name with a dot before the file's name, for a file that lives as long as
// the run. Returns the descriptor (-1 with errno on failure) and sets temporary to its path.
int CreateFlowLogTemporary(const std::string& path, bool hidden, std::string& temporary);
// Writes all of data; written grows by what was written, even when a later part fails.
bool WriteAllTo(int fd, const std::string& data, std::uint64_t& written);
// Syncs the folder that holds path, so that a rename in it outlives a power cut.
bool SyncFolderOf(const std::string& path);
