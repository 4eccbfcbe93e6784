#include "console/session/SessionLog.h"

#include "engine/FlowLogFile.h"
#include "platform/Clock.h"
#include "program/UnitUtils.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr double RetryInterval = 1.0 / 1440; // a minute, in days
// What a waiting line costs beyond its text.
constexpr std::size_t LineOverhead = 64;

std::string Utf8(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace

TSessionLog::TSessionLog(const QString& folder, QObject* context,
                         std::function<void(const QString& error)> openFailed)
    : folder_(folder), context_(context), openFailed_(std::move(openFailed)) {
    const double now = GetClock().Now();
    path_ = PathFor(now);
    day_ = std::floor(now);
    Run([this, now] { Open(now); });
}

TSessionLog::~TSessionLog() {
    // Queued behind the lines still waiting; the writer's thread, destroyed next, runs it.
    Run([this] {
        Flush();
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    });
}

void TSessionLog::Run(const std::function<void()>& job) {
    if (!thread_.Post(job))
        job();
}

bool TSessionLog::IsOpen() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return !failed_;
}

QString TSessionLog::Path() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return path_;
}

QString TSessionLog::ErrorText() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

QString TSessionLog::PathFor(double now) const {
    return QDir(folder_).filePath(QString::fromStdString(LogFileMinute(now)) +
                                  QStringLiteral(" session log.txt"));
}

int TSessionLog::OpenFileFor(double now, QString& error) const {
    const QString path = PathFor(now);
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0)
        error = path + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
    return fd;
}

void TSessionLog::Open(double now) {
    QString error;
    fd_ = OpenFileFor(now, error);
    if (fd_ >= 0)
        return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
        error_ = error;
        waiting_.clear();
        waitingBytes_ = 0;
    }
    if (openFailed_ && context_)
        QMetaObject::invokeMethod(
            context_, [report = openFailed_, error] { report(error); }, Qt::QueuedConnection);
}

void TSessionLog::Append(const QString& line) {
    TLine entry{GetClock().Now(), TimeStampPrefix(), Utf8(line)};
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (failed_)
            return;
        // Once one is counted, so is every line after it until the writer takes those waiting:
        // the count then stands where the lines are missing.
        const std::size_t size = entry.Stamp.size() + entry.Text.size() + LineOverhead;
        if (lost_ == 0 && waitingBytes_ + size <= MaxWaitingBytes) {
            waitingBytes_ += size;
            waiting_.push_back(std::move(entry));
        } else if (lost_++ == 0) {
            firstLostStamp_ = entry.Stamp;
        }
        if (drainPosted_)
            return;
        drainPosted_ = true;
    }
    Run([this] { WriteWaiting(); });
}

bool TSessionLog::WaitWritten(std::chrono::steady_clock::time_point deadline) const {
    return thread_.WaitIdle(deadline);
}

std::string TSessionLog::FirstLineNotWritten() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    std::string stamp = !writingFrom_.empty() ? writingFrom_
                        : !waiting_.empty()   ? waiting_.front().Stamp
                        : lost_ > 0           ? firstLostStamp_
                                              : std::string();
    return Trim(stamp);
}

void TSessionLog::WriteWaiting() {
    for (;;) {
        std::deque<TLine> lines;
        std::size_t lost = 0;
        std::string lostStamp;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            writingFrom_.clear();
            if (waiting_.empty() && lost_ == 0) {
                drainPosted_ = false;
                return;
            }
            lines.swap(waiting_);
            waitingBytes_ = 0;
            lost = lost_;
            lost_ = 0;
            lostStamp = std::move(firstLostStamp_);
            firstLostStamp_.clear();
            writingFrom_ = lines.empty() ? lostStamp : lines.front().Stamp;
        }
        WriteLines(lines);
        // The lines counted came after those taken with them and before any taken later.
        if (lost > 0 && fd_ >= 0)
            buffer_ += lostStamp + "Session log lost " + std::to_string(lost) +
                       " line(s) here: " + Utf8(folder_) + " did not take them in time\r\n";
        Flush();
    }
}

void TSessionLog::WriteLines(const std::deque<TLine>& lines) {
    if (fd_ < 0)
        return;
    for (const TLine& line : lines) {
        // A clock set back across midnight starts a new file as well: each file holds one day.
        const bool retryDue = failedAt_ < 0 || std::abs(line.Time - failedAt_) >= RetryInterval;
        if (std::floor(line.Time) != day_ && retryDue)
            StartNewFile(line);
        buffer_ += line.Text;
        buffer_ += "\r\n";
    }
}

void TSessionLog::StartNewFile(const TLine& line) {
    QString error;
    const int next = OpenFileFor(line.Time, error);
    if (next < 0) {
        // The lines stay in the old file meanwhile: none is lost.
        failedAt_ = line.Time;
        buffer_ += line.Stamp + "Session log cannot go on in a new file: " + Utf8(error) + "\r\n";
        return;
    }
    const QString nextPath = PathFor(line.Time);
    QString previousPath;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        previousPath = path_;
    }
    buffer_ +=
        line.Stamp + "Session log continues in " + Utf8(QFileInfo(nextPath).fileName()) + "\r\n";
    Flush();
    ::close(fd_);
    fd_ = next;
    buffer_ += line.Stamp + "Session log continued from " +
               Utf8(QFileInfo(previousPath).fileName()) + "\r\n";
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        path_ = nextPath;
    }
    day_ = std::floor(line.Time);
    failedAt_ = -1;
}

void TSessionLog::Flush() {
    if (fd_ >= 0 && !buffer_.empty()) {
        // A full disk loses the lines; the pane still has them, and nothing better is to be had.
        std::uint64_t written = 0;
        WriteAllTo(fd_, buffer_, written);
    }
    buffer_.clear();
}
