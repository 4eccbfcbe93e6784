#pragma once
// The session log: every line the log pane shows also goes to a file, so that the pane may keep
// only its last lines on screen during a week-long run without anything being lost. A new file
// begins each local day, so that a week is seven files of a day each rather than one that no
// editor opens; the files name each other where one ends and the next begins.
#include <QFile>
#include <QString>

#include <memory>

class TSessionLog {
public:
    // Opens (creating) "<folder>/yyyy-mm-dd hh_mm session log.txt" for appending, named after the
    // core clock's now. A file that cannot be opened leaves the log pane as the only record; the
    // pane says so once.
    explicit TSessionLog(const QString& folder);

    bool IsOpen() const { return file_ && file_->isOpen(); }
    // The file written now.
    QString Path() const { return file_ ? file_->fileName() : QString(); }
    QString ErrorText() const { return error_; }
    // Appends the line and CR LF, flushed at once so a crash loses nothing already shown. The
    // first line of a new day (by the core clock) goes to a new file, named after that moment;
    // the old file ends with a line naming the new one, and the new one begins with a line naming
    // the old. A new file that cannot be opened leaves the lines in the old one, and the change
    // is tried again a minute later.
    void Append(const QString& line);

private:
    std::unique_ptr<QFile> OpenFileFor(double now);
    void StartNewFile(double now);
    static void Write(QFile& file, const QString& line);

    QString folder_;
    std::unique_ptr<QFile> file_;
    QString error_;
    double day_ = 0;       // the day the file belongs to: whole days since 1899-12-30
    double failedAt_ = -1; // when a new file could not be opened last, if ever
};
