#include "console/adapters/SignalClose.h"

#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The pipe's ends; only async-signal-safe calls touch them from the handler.
int signalPipe[2] = {-1, -1};

extern "C" void WriteSignalByte(int) {
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a close request: dropping this byte loses nothing.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

QString SystemError(const char* what) {
    return QString::fromLatin1(what) + QStringLiteral(": ") +
           QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

TSignalClose::TSignalClose(std::vector<int> signalNumbers) : signals_(std::move(signalNumbers)) {
    if (signalPipe[0] >= 0) {
        error_ = QStringLiteral("signal handling is already installed");
        return;
    }
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        error_ = SystemError("pipe2");
        signalPipe[0] = signalPipe[1] = -1;
        return;
    }
    notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &TSignalClose::SignalArrived);

    struct sigaction action {};
    action.sa_handler = WriteSignalByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : signals_) {
        struct sigaction previous {};
        if (::sigaction(number, &action, &previous) != 0) {
            error_ = SystemError("sigaction");
            signals_.resize(previous_.size());
            return;
        }
        previous_.push_back(previous);
    }
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    pipeIgnored_ = ::sigaction(SIGPIPE, &ignore, &previousPipe_) == 0;
    installed_ = true;
}

TSignalClose::~TSignalClose() {
    for (std::size_t i = 0; i < previous_.size(); ++i)
        ::sigaction(signals_[i], &previous_[i], nullptr);
    if (pipeIgnored_)
        ::sigaction(SIGPIPE, &previousPipe_, nullptr);
    if (notifier_) {
        delete notifier_;
        ::close(signalPipe[0]);
        ::close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

void TSignalClose::SetWindow(QWidget* window, std::function<void()> closeAction) {
    window_ = window;
    closeAction_ = std::move(closeAction);
    if (window_ && closeWanted_) {
        closeWanted_ = false;
        Close();
    }
}

void TSignalClose::Close() {
    if (closeAction_)
        closeAction_();
    else
        window_->close();
}

void TSignalClose::SignalArrived() {
    char bytes[64];
    while (::read(signalPipe[0], bytes, sizeof bytes) > 0) {
    }
    if (window_)
        Close();
    else
        closeWanted_ = true;
}
