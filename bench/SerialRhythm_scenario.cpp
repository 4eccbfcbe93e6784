// Times real serial exchanges against an instrument stand-in on a pseudo-terminal and prints
// how long each kind of exchange takes: the rhythm the drivers are built around.
//
//   SerialRhythm_scenario [repetitions]   (default 5)
#include "serial/SerialPort.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using SteadyClock = std::chrono::steady_clock;

// Answers "FAST\r" at once, "LATE\r" after 800 ms, "LONG\r" with 100 bytes, a raw register
// read with a 9-byte reply, and stays silent on anything else.
class TInstrument {
public:
    TInstrument() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
            std::exit(2);
        char name[128];
        if (ptsname_r(master_, name, sizeof name) != 0)
            std::exit(2);
        path_ = name;
        // Keeps the line up between exchanges.
        slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        thread_ = std::thread([this] { Run(); });
    }
    ~TInstrument() {
        stop_.store(true);
        thread_.join();
        close(slave_);
        close(master_);
    }
    const std::string& Path() const { return path_; }

private:
    void Reply(const std::string& text, int delayMs) {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        if (write(master_, text.data(), text.size()) < 0)
            stop_.store(true);
    }

    void Run() {
        std::string pending;
        while (!stop_.load()) {
            pollfd in{master_, POLLIN, 0};
            if (poll(&in, 1, 10) <= 0 || !(in.revents & POLLIN))
                continue;
            char buffer[256];
            const ssize_t count = read(master_, buffer, sizeof buffer);
            if (count <= 0)
                continue;
            pending.append(buffer, static_cast<std::size_t>(count));
            if (pending == "FAST\r")
                Reply("A 62 count\r", 0);
            else if (pending == "LATE\r")
                Reply("late\r", 800);
            else if (pending == "LONG\r")
                Reply(std::string(100, 'x'), 0);
            else if (pending == std::string("\x01\x03\x00\x00\x00\x02", 6))
                Reply(std::string("\x01\x03\x04\x12\x34\xab\xcd\x00\x00", 9), 0);
            else if (pending.back() != '\r' && pending.size() < 6)
                continue;
            pending.clear();
        }
    }

    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct TCase {
    const char* label;
    std::string message;
    bool raw;
    bool wait;
    std::uint32_t timeoutMS;
};

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    TInstrument instrument;
    const TCase cases[] = {
        {"replied at once", "FAST\r", false, true, 1000},
        {"replied after 800 ms", "LATE\r", false, true, 1000},
        {"100-byte reply", "LONG\r", false, true, 1000},
        {"silent, 1000 ms", "QUIET\r", false, true, 1000},
        {"silent, 2500 ms", "QUIET\r", false, true, 2500},
        {"no reply wanted", "FAST\r", false, false, 1000},
        {"raw, replied", std::string("\x01\x03\x00\x00\x00\x02", 6), true, true, 1000},
        {"raw, silent", "QUIET\r", true, true, 1000},
    };

    std::printf("%-22s %8s %8s %8s   %s\n", "exchange", "min ms", "median", "max ms",
                "status / reply length");
    for (const TCase& c : cases) {
        std::vector<double> ms;
        std::string outcome;
        for (int i = 0; i < repetitions; ++i) {
            TSerialPort port;
            port.fPort = instrument.Path();
            port.fReadoutTimeoutMS = c.timeoutMS;
            const auto start = SteadyClock::now();
            const TSerialResponse r =
                c.raw ? port.SendData(c.message.data(), c.message.size(), c.wait)
                      : port.Send2(c.message, c.wait);
            ms.push_back(
                std::chrono::duration<double, std::milli>(SteadyClock::now() - start).count());
            outcome = (r.Status.empty() ? std::string("ok") : "\"" + r.Status + "\"") + " / " +
                      std::to_string(r.Response.size());
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%-22s %8.1f %8.1f %8.1f   %s\n", c.label, ms.front(), ms[ms.size() / 2],
                    ms.back(), outcome.c_str());
    }
    return 0;
}
