#pragma once
// Turns SIGINT, SIGTERM, SIGHUP and SIGQUIT into a close of a window, so that stopping the program
// from a terminal (Ctrl-C, Ctrl-\, a terminal or ssh session that closes) or a service manager
// stops the devices exactly as closing the window does. SIGPIPE is ignored while it is installed:
// a closed terminal or pipe on standard error must not end the program in the middle of a stop.
//
// A signal handler may do next to nothing, so it only writes a byte into a pipe; a socket
// notifier on the main thread reads it and asks the window to close. The window decides what a
// close means at that moment (it defers one that arrives during a blocking operation).
//
// One instance per process: the handlers are process-wide. Construct it on the main thread once
// the application object exists, best before the window, so that no signal finds the default
// handler (which ends the program at once); a signal that arrives before the window is set or
// before the event loop runs is kept until both are there. The previous handlers come back when
// it is destroyed.
#include <QObject>
#include <QPointer>
#include <QString>

#include <csignal>
#include <functional>
#include <vector>

class QSocketNotifier;
class QWidget;

class TSignalClose : public QObject {
    Q_OBJECT

public:
    explicit TSignalClose(std::vector<int> signalNumbers = {SIGINT, SIGTERM, SIGHUP, SIGQUIT});
    ~TSignalClose() override;
    TSignalClose(const TSignalClose&) = delete;
    TSignalClose& operator=(const TSignalClose&) = delete;

    // False when the pipe or a handler could not be set up; ErrorText says why.
    bool Installed() const { return installed_; }
    const QString& ErrorText() const { return error_; }
    // The window that a signal closes; with a close action, the action is called instead of the
    // window's close().
    void SetWindow(QWidget* window, std::function<void()> closeAction = {});

private:
    void SignalArrived();

    void Close();

    QPointer<QWidget> window_;
    std::function<void()> closeAction_;
    std::vector<int> signals_;
    std::vector<struct sigaction> previous_;
    struct sigaction previousPipe_ {};
    bool pipeIgnored_ = false;
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
    bool closeWanted_ = false;
    QString error_;
};
