#pragma once
// The session log: every line the log pane shows also goes to a file, so that the pane may keep
// only its last lines on screen during a week-long run without anything being lost. A new file
// begins each local day, so that a week is seven files of a day each rather than one that no
// editor opens; the files name each other where one ends and the next begins.
//
// The file is written on a thread of its own (TFileWriterThread): the log's folder may stall (a
// network folder whose server went away), and a line logged during a stop must never hold the
// stop. Lines keep their order; while the folder does not take them they wait in memory, up to a
// bound beyond which they are counted instead, and the count goes into the file where they are
// missing once the folder answers again.
//
// Main thread only, but for the file itself, which only the writer's thread touches.
#include "engine/FileWriterThread.h"

#include <QObject>
#include <QString>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

class TSessionLog {
public:
    // Beyond this, lines that wait for the folder are counted rather than kept.
    static constexpr std::size_t MaxWaitingBytes = 32u << 20;

    // The file is "<folder>/yyyy-mm-dd hh_mm session log.txt", named after the core clock's now,
    // and opened (created) for appending by the writer's thread. A file that cannot be opened
    // leaves the log pane as the only record: openFailed is then called once on context's thread
    // with the reason, unless context is gone by then.
    explicit TSessionLog(const QString& folder, QObject* context = nullptr,
                         std::function<void(const QString& error)> openFailed = {});
    // Writes the lines still waiting: none is lost while the folder answers.
    ~TSessionLog();
    TSessionLog(const TSessionLog&) = delete;
    TSessionLog& operator=(const TSessionLog&) = delete;

    // False once the file could not be opened.
    bool IsOpen() const;
    // The file written now.
    QString Path() const;
    QString ErrorText() const;
    // Queues the line and CR LF for the file; never waits for it. Written at once when the folder
    // answers, flushed so that a crash loses nothing already shown. The first line of a new day
    // (by the core clock when it was appended) goes to a new file, named after that moment; the
    // old file ends with a line naming the new one, and the new one begins with a line naming the
    // old. A new file that cannot be opened leaves the lines in the old one, and the change is
    // tried again a minute later.
    void Append(const QString& line);
    // Waits until every line appended so far has been written, or until the deadline; true when
    // all have been.
    bool WaitWritten(std::chrono::steady_clock::time_point deadline) const;
    // The time stamp of the first line appended that is not written yet (its own stamp, as the
    // pane shows it); empty when every line is written.
    std::string FirstLineNotWritten() const;

private:
    struct TLine {
        double Time = 0;   // core clock when appended, for the day's file
        std::string Stamp; // time stamp prefix when appended, for the lines of the change
        std::string Text;  // UTF-8, without its line end
    };

    // Runs job on the writer's thread; here when no thread is to be had.
    void Run(const std::function<void()>& job);
    // The writer's thread only.
    void Open(double now);
    void WriteWaiting();
    void WriteLines(const std::deque<TLine>& lines);
    void StartNewFile(const TLine& line);
    int OpenFileFor(double now, QString& error) const;
    QString PathFor(double now) const;
    void Flush();

    QString folder_;
    QObject* context_;
    std::function<void(const QString&)> openFailed_;

    mutable std::mutex mutex_;
    QString path_;                 // guarded by mutex_
    QString error_;                // guarded by mutex_
    bool failed_ = false;          // the file could not be opened; guarded by mutex_
    std::deque<TLine> waiting_;    // guarded by mutex_
    std::size_t waitingBytes_ = 0; // guarded by mutex_
    bool drainPosted_ = false;     // guarded by mutex_
    std::size_t lost_ = 0;         // lines counted rather than kept; guarded by mutex_
    std::string firstLostStamp_;   // guarded by mutex_
    std::string writingFrom_;      // stamp of the first line being written; guarded by mutex_

    // The writer's thread only.
    int fd_ = -1;
    std::string buffer_;   // the lines of one file, written together
    double day_ = 0;       // the day the file belongs to: whole days since 1899-12-30
    double failedAt_ = -1; // when a new file could not be opened last, if ever

    // Last: destroyed first, so the lines still waiting are written while all the above exists.
    TFileWriterThread thread_;
};
