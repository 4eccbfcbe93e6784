#include "sim/SimPortServer.h"

#include "sim/SimJournal.h"
#include "sim/SimLineSplitter.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr int PollIntervalMs = 10;

struct TPendingReply {
    SteadyClock::time_point Due;
    std::string Bytes;
};

void WriteAll(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return; // nobody reads, or the buffer is full: the rest is lost, as on a real line
        }
    }
}

// Whether nobody has the slave side open. Bytes written to the master then would wait in the
// terminal and reach the next client as a stale reply, which a real line never does.
bool NobodyListens(int fd) {
    pollfd entry{fd, 0, 0};
    return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP) != 0;
}

// A pseudo-terminal keeps bytes that nobody read when its slave side was closed and hands them
// to the next client, where a real port loses them on closing. So once the client has gone, the
// simulator throws away what it may have left unread.
void DropUnreadReplies(const std::string& slavePath) {
    const int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        tcflush(fd, TCIFLUSH);
        ::close(fd);
    }
}

} // namespace

TSimPortServer::TSimPortServer(std::string name, std::unique_ptr<TSimInstrument> instrument,
                               double timeScale, TSimJournal* journal)
    : name_(std::move(name)), timeScale_(timeScale > 0 ? timeScale : 1.0), journal_(journal),
      origin_(SteadyClock::now()), instrument_(std::move(instrument)),
      garbleRandom_(static_cast<std::uint32_t>(std::hash<std::string>{}(name_))) {}

TSimPortServer::~TSimPortServer() {
    Unplug();
}

double TSimPortServer::Now_s() const {
    const std::chrono::duration<double> elapsed = SteadyClock::now() - origin_;
    return elapsed.count() * timeScale_;
}

bool TSimPortServer::Plug(const std::string& linkPath, std::string& error) {
    if (IsPlugged()) {
        error = name_ + " is plugged in already";
        return false;
    }
    if (!pty_.Open(error)) {
        return false;
    }
    if (!linkPath.empty() && !SimReplaceLink(pty_.SlavePath(), linkPath, error)) {
        pty_.Close();
        return false;
    }
    linkPath_ = linkPath;
    thread_ = std::jthread([this, fd = pty_.MasterFd(), slave = pty_.SlavePath()](
                               std::stop_token stop) { Serve(stop, fd, slave); });
    return true;
}

void TSimPortServer::Unplug() {
    if (!IsPlugged()) {
        return;
    }
    thread_.request_stop();
    thread_.join();
    thread_ = std::jthread();
    if (!linkPath_.empty()) {
        ::unlink(linkPath_.c_str());
    }
    pty_.Close();
}

void TSimPortServer::SetSilent(bool on) {
    std::lock_guard lock(mutex_);
    silent_ = on;
}

void TSimPortServer::SetSlowMs(int milliseconds) {
    std::lock_guard lock(mutex_);
    slowMs_ = milliseconds > 0 ? milliseconds : 0;
}

void TSimPortServer::SetGarble(bool on) {
    std::lock_guard lock(mutex_);
    garble_ = on;
}

bool TSimPortServer::SetStatusCodes(const std::vector<std::string>& codes, std::string& error) {
    std::lock_guard lock(mutex_);
    return instrument_->SetStatusCodes(codes, error);
}

bool TSimPortServer::SetFlowLimit(std::optional<double> percent, std::string& error) {
    // The flow so far follows the old limit up to now; the new one holds from here on.
    const double now = Now_s();
    std::lock_guard lock(mutex_);
    instrument_->Advance(now);
    return instrument_->SetFlowLimit(percent, error);
}

TSimInstrumentState TSimPortServer::State() {
    const double now = Now_s();
    std::lock_guard lock(mutex_);
    return instrument_->State(now);
}

std::string TSimPortServer::Garble(std::string reply) {
    if (reply.empty()) {
        return reply;
    }
    std::uniform_int_distribution<std::size_t> where(0, reply.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255);
    const std::size_t changes = 1 + reply.size() / 8;
    for (std::size_t i = 0; i < changes; ++i) {
        reply[where(garbleRandom_)] = static_cast<char>(byte(garbleRandom_));
    }
    return reply;
}

void TSimPortServer::Serve(std::stop_token stop, int fd, const std::string& slavePath) {
    TSimLineSplitter splitter;
    std::deque<TPendingReply> pending;
    bool unreadPossible = false;
    char buffer[512];
    while (!stop.stop_requested()) {
        int timeoutMs = PollIntervalMs;
        if (!pending.empty()) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
                pending.front().Due - SteadyClock::now());
            timeoutMs = std::clamp(static_cast<int>(wait.count()), 0, PollIntervalMs);
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, timeoutMs);
        bool hungUp = false;
        std::string received;
        if (ready > 0 && (entry.revents & POLLIN) != 0) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                received.assign(buffer, static_cast<std::size_t>(n));
            } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
                hungUp = true; // EIO: nobody has the port open
            }
        }
        if (ready > 0 && (entry.revents & (POLLHUP | POLLERR)) != 0) {
            hungUp = true;
        }

        if (hungUp) {
            // The client that was there has gone, and so has whatever it left unanswered or
            // unread. This happens before the lines just read are handled: the poll saw the
            // hang-up, but by the read a new client may already have opened the port and sent
            // its command (back-to-back exchanges do exactly that), and dropping the reply to
            // that command would cost the new client a whole timeout.
            pending.clear();
            if (unreadPossible) {
                DropUnreadReplies(slavePath);
                unreadPossible = false;
            }
            if (received.empty()) {
                // Nobody there: poll reports the hang-up at once, so pace the loop.
                std::this_thread::sleep_for(std::chrono::milliseconds(PollIntervalMs));
            }
        }

        for (TSimLine& line : splitter.Feed(received)) {
            if (line.Overlong) {
                if (journal_ != nullptr) {
                    journal_->AppendOverlong(name_, line.Bytes.substr(0, 64), line.Length);
                }
                continue; // the instrument's input buffer overflowed: it drops the line
            }
            if (journal_ != nullptr) {
                journal_->Append(name_, line.Bytes + "\r");
            }
            const double now = Now_s();
            std::lock_guard lock(mutex_);
            if (silent_) {
                instrument_->Advance(now);
                continue;
            }
            std::string reply = instrument_->HandleCommand(line.Bytes, now);
            if (reply.empty()) {
                continue;
            }
            if (garble_) {
                reply = Garble(std::move(reply));
            }
            pending.push_back(
                TPendingReply{SteadyClock::now() + std::chrono::milliseconds(slowMs_), reply});
        }

        const auto now = SteadyClock::now();
        if (!pending.empty() && pending.front().Due <= now && NobodyListens(fd)) {
            pending.clear();
        }
        while (!pending.empty() && pending.front().Due <= now) {
            WriteAll(fd, pending.front().Bytes);
            pending.pop_front();
            unreadPossible = true;
        }
        const double instrumentNow = Now_s();
        std::lock_guard lock(mutex_);
        instrument_->Advance(instrumentNow);
    }
}
