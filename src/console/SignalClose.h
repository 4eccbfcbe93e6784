#pragma once
// Turns SIGINT and SIGTERM into a close of a window, so that stopping the program from a terminal
// or a service manager stops the devices exactly as closing the window does.
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
#include <vector>

class QSocketNotifier;
class QWidget;

class TSignalClose : public QObject {
    Q_OBJECT

public:
    explicit TSignalClose(std::vector<int> signalNumbers = {SIGINT, SIGTERM});
    ~TSignalClose() override;
    TSignalClose(const TSignalClose&) = delete;
    TSignalClose& operator=(const TSignalClose&) = delete;

    // False when the pipe or a handler could not be set up; ErrorText says why.
    bool Installed() const { return installed_; }
    const QString& ErrorText() const { return error_; }
    // The window that a signal closes.
    void SetWindow(QWidget* window);

private:
    void SignalArrived();

    QPointer<QWidget> window_;
    std::vector<int> signals_;
    std::vector<struct sigaction> previous_;
    QSocketNotifier* notifier_ = nullptr;
    bool installed_ = false;
    bool closeWanted_ = false;
    QString error_;
};
