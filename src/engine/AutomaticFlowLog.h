#pragma once
// The automatic flow log: each minute the whole data table under the minute's name, the file of
// the minute before gone from view. Rewriting a week-long table every minute would write some
// hundred gigabytes a day, so the table goes to disk in proportion to its growth instead, through
// two files that take turns:
//
// - the named file, "<minute> log auto.txt", holds the table up to the last save: complete,
//   synced, and never written again under its name;
// - the lagging file, the one named before it, now under a hidden temporary name in the same
//   folder, holds the table up to the save before.
//
// A save appends to the lagging file the rows it lacks (those of the last two intervals), syncs
// it and renames it to the new minute's name; the previous named file, once that rename is on
// disk, is renamed to a new hidden temporary name and becomes the lagging file. A crash or a
// power cut at any moment therefore leaves a named file that holds every row up to the last save
// and no part of a row: appending only ever touches a file under a temporary name. What a crash
// may leave behind is that temporary file, a hidden "*.partial" in the folder; the named file
// holds all its rows, unless the save that wrote them failed.
//
// Not thread-safe: one save at a time, from any thread.
#include "engine/FlowLogFile.h"

#include <cstdint>
#include <string>

class TAutomaticFlowLog {
public:
    TAutomaticFlowLog() = default;
    // Closes both files; the lagging file is removed, as the named one holds all it does.
    ~TAutomaticFlowLog();
    TAutomaticFlowLog(const TAutomaticFlowLog&) = delete;
    TAutomaticFlowLog& operator=(const TAutomaticFlowLog&) = delete;

    // Makes path hold the table's text (FlowLogText). tableNumber tells which table it is: one
    // emptied and started again gets a new number. A new table starts a new file, and the
    // previous named file stays, as its rows are in no newer file; a table with fewer lines than
    // were saved counts as a new one too. On success the previous named file is gone from view,
    // unless its name leads to another file by now (another console saved under it). On failure
    // the previous named file keeps its name and its rows.
    TFlowLogOutcome Save(const std::string& path, const TFlowLogTable& table, unsigned tableNumber);

private:
    struct TFile {
        int Fd = -1;
        std::string Path;
        std::size_t Lines = 0;
        std::uint64_t Bytes = 0;
        unsigned long long Device = 0;
        unsigned long long Inode = 0;
    };

    static void Close(TFile& file);
    static void Discard(TFile& file);
    // Does the file hold exactly what this log wrote to it?
    static bool Intact(const TFile& file);
    void Retire(TFile previous, const std::string& newPath);

    TFile named_;
    TFile lagging_;
    unsigned table_ = 0;
};
