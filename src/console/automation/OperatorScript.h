#pragma once
// Drives the window from a file of operator commands, for automation and demonstrations. Every
// command finds its control by objectName and acts on it the way the operator would: it brings
// the control's tab to the front, waits while the control is disabled (a search or a tool holds
// input out) and then clicks, picks or types.
//
// One command per line; blank lines and lines starting with '#' are skipped. TEXT is the rest of
// the line, or a text in double quotes; "\n" in it stands for a line break and "\\" for a
// backslash.
//   trigger ACTION            a menu entry (QAction); the next command runs once the entry has
//                             started, so it can watch one that serves events while it runs
//                             (the search)
//   click BUTTON              a button
//   select-row PORT [add]     clicks the row of PORT in ListViewDevices (with add: as with Ctrl
//                             held, which adds the row to the selection)
//   choose COMBO TEXT         picks the entry reading TEXT, or whose first word is TEXT
//   type FIELD TEXT           replaces the field's text by typing TEXT, then presses Enter
//   set-plain MEMO TEXT       sets the text of a multi-line field (a recipe)
//   wait-log TEXT [SECONDS]   waits until MemoMain holds TEXT (60 s unless given)
//   hover-chart TIME FLOW     rests the pointer on the chart RtGraph2DMain at that time (in the
//                             display unit) and flow (%), as for a curve's tip
//   wait SECONDS              lets the window run for a while
//   touch FILE                creates FILE or updates its time (a signal to an outside script)
//   wait-file FILE [SECONDS]  waits until FILE exists (a signal from an outside script; 60 s
//                             unless given)
//   window-boxes              from here on the window shows its message boxes as it does for an
//                             operator (a demonstration of the boxes themselves); texts the
//                             script took before stay in Messages()
//   close                     closes the window; later lines are not run
//
// The commands run one after another on the main thread, from a timer, so the window goes on
// serving its engine and its workers in between. A line that cannot be run ends the script: its
// reason goes to standard error as "operator script line N: ...", and the window is closed the
// normal way. While the script runs, message boxes go to standard error instead of waiting for
// an OK that nobody will click.
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <string>
#include <vector>

class QMainWindow;
class QTimer;
class QWidget;

// A QObject for its timer's sake; it has no signals of its own.
class TOperatorScript : public QObject {
public:
    // The commands of one line, checked when the script is read.
    struct TCommand {
        int Line = 0;
        QString Name;
        QString Control;
        QString Text;
        double Seconds = 0;
        // hover-chart's place on the chart.
        double X = 0;
        double Y = 0;
    };

    // Reads and checks the script; on a fault, Failed() holds and ErrorText() says why.
    TOperatorScript(QMainWindow& window, const QString& path);
    // Checks the script given as text (path names it in messages).
    TOperatorScript(QMainWindow& window, const QString& text, const QString& path);
    ~TOperatorScript() override;

    // Starts running once the event loop runs. A script that failed to read closes the window.
    void Start();

    bool Running() const { return running_; }
    bool Finished() const { return finished_; }
    bool Failed() const { return !errorText_.isEmpty(); }
    // "operator script line N: ..." for the fault that ended the script; empty when none.
    const QString& ErrorText() const { return errorText_; }
    // The message boxes shown while the script ran, in order.
    std::vector<std::string> Messages() const;

private:
    void Parse(const QString& text);
    void ScheduleNext(int delay_ms);
    void Step();
    // Runs one command; false while it must be tried again later (a disabled control, a text
    // not yet logged), true when done. A fault calls Fail and returns true.
    bool Run(const TCommand& command);
    bool Available(QWidget* widget, const TCommand& command);
    void Fail(int line, const QString& reason);
    void Finish();

    class TMessageSink;

    QMainWindow& window_;
    QString path_;
    std::vector<TCommand> commands_;
    std::size_t next_ = 0;
    QTimer* timer_ = nullptr;
    // When the current command started waiting, for its time limit.
    qint64 waitingSince_ms_ = -1;
    bool running_ = false;
    bool finished_ = false;
    // A trigger waits for its entry to start from the event loop.
    bool triggerQueued_ = false;
    bool triggerStarted_ = false;
    // hover-chart has moved the pointer and shows the tip at its next turn.
    bool pointerMoved_ = false;
    QString errorText_;
    std::unique_ptr<TMessageSink> messages_;
};
