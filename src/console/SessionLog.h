#pragma once
// The session log: every line the log pane shows also goes to a file, so that the pane may keep
// only its last lines on screen during a week-long run without anything being lost.
#include <QFile>
#include <QString>

class TSessionLog {
public:
    // Opens (creating) "<folder>/yyyy-mm-dd hh_mm session log.txt" for appending. A file that
    // cannot be opened leaves the log pane as the only record; the pane says so once.
    explicit TSessionLog(const QString& folder);

    bool IsOpen() const { return file_.isOpen(); }
    QString Path() const { return file_.fileName(); }
    QString ErrorText() const { return error_; }
    // Appends the line and CR LF, flushed at once so a crash loses nothing already shown.
    void Append(const QString& line);

private:
    QFile file_;
    QString error_;
};
