#include "sim/OrvelloRig.h"

#include "serial/PortList.h"
#include "sim/SimRig.h"
#include "sim/SimText.h"

#include "OrvelloVersion.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <string>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = saved;
}

constexpr const char* Usage = "usage: orvello-rig [--port-dir DIR] [--sets N] [--journal FILE] "
                              "[--time-scale F] [--stop-on-eof]\n";
constexpr std::size_t MaxControlLine = 4096;

struct TRigArguments {
    TSimRigOptions Rig;
    // Set by a script that starts the rig beside something else and feeds its input: when the
    // script ends, however it ends (even killed), the input closes and the rig goes with it.
    bool StopOnEndOfInput = false;
};

// One line per option; its manual page (packaging/man/orvello-rig.1.in) names the same.
std::string OptionsHelp() {
    return "Publishes a simulated gas-conditioning rig (MFC A, MFC B and a humidifier's pump per\n"
           "set) on pseudo-terminals linked into a port folder, where the console's device search\n"
           "finds them. Control lines on standard input work its fault knobs.\n"
           "\n"
           "Options:\n"
           "  --port-dir DIR    the port folder (default: the console's, " +
           RigPortFolder() +
           ")\n"
           "  --sets N          the number of instrument sets, 1 to " +
           std::to_string(SimRigMaxSets) +
           " (default 1)\n"
           "  --journal FILE    appends every command the instruments receive to FILE\n"
           "  --time-scale F    runs the instruments' clocks F times as fast (default 1)\n"
           "  --stop-on-eof     stops when standard input ends\n"
           "  -h, --help        prints this help and exits\n"
           "  --version         prints the version and exits\n";
}

enum class TRigAction { Run, Help, Version, Refuse };

TRigAction ParseArguments(int argc, char** argv, TRigArguments& arguments, std::string& error) {
    TSimRigOptions& options = arguments.Rig;
    options.PortDir = RigPortFolder();
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            return TRigAction::Help;
        }
        if (argument == "--version") {
            return TRigAction::Version;
        }
        if (argument == "--stop-on-eof") {
            arguments.StopOnEndOfInput = true;
            continue;
        }
        if (argument != "--port-dir" && argument != "--journal" && argument != "--sets" &&
            argument != "--time-scale") {
            error = "unknown argument " + argument;
            return TRigAction::Refuse;
        }
        if (i + 1 >= argc) {
            error = "missing value after " + argument;
            return TRigAction::Refuse;
        }
        const std::string value = argv[++i];
        if (argument == "--port-dir") {
            options.PortDir = value;
        } else if (argument == "--journal") {
            options.JournalPath = value;
        } else if (argument == "--sets") {
            const auto sets = SimParseCount(value);
            if (!sets || *sets < 1 || *sets > SimRigMaxSets) {
                error = "--sets takes 1 to " + std::to_string(SimRigMaxSets);
                return TRigAction::Refuse;
            }
            options.Sets = *sets;
        } else if (argument == "--time-scale") {
            const auto scale = SimParseNumber(value);
            if (!scale || *scale <= 0 || *scale > 1e6) {
                error = "--time-scale takes a positive number";
                return TRigAction::Refuse;
            }
            options.TimeScale = *scale;
        }
    }
    return TRigAction::Run;
}

void InstallStopSignals() {
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // A closed terminal (SIGHUP) or the quit key (SIGQUIT) must not leave the links behind either.
    for (const int stop : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
        sigaction(stop, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

// Feeds complete lines of standard input to the rig; false at end of input.
bool ReadControlInput(TSimRig& rig, std::string& pending) {
    char buffer[1024];
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) {
        return false;
    }
    if (n > 0) {
        pending.append(buffer, static_cast<std::size_t>(n));
    }
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
        std::string line = pending.substr(0, end);
        pending.erase(0, end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        rig.Control(line, std::cout, std::cerr);
    }
    if (pending.size() > MaxControlLine) {
        std::cerr << "control line too long, ignored" << std::endl;
        pending.clear();
    }
    return true;
}

} // namespace

int RunOrvelloRig(int argc, char** argv) {
    TRigArguments arguments;
    std::string error;
    switch (ParseArguments(argc, argv, arguments, error)) {
    case TRigAction::Help:
        std::cout << Usage << "\n" << OptionsHelp();
        return 0;
    case TRigAction::Version:
        std::cout << "orvello-rig " << OrvelloVersion << "\n";
        return 0;
    case TRigAction::Refuse:
        std::cerr << "orvello-rig: " << error << "\n" << Usage;
        return 2;
    case TRigAction::Run:
        break;
    }
    InstallStopSignals();
    if (signalPipe[0] < 0) {
        std::cerr << "orvello-rig: cannot set up signal handling\n";
        return 1;
    }

    TSimRig rig;
    if (!rig.Start(arguments.Rig, error)) {
        std::cerr << "orvello-rig: " << error << "\n";
        return 1;
    }
    for (const TSimRigPort& port : rig.Ports()) {
        std::cout << TSimRig::PortLine(port) << "\n";
    }
    std::cout << "ready" << std::endl;

    std::string pending;
    bool inputOpen = true;
    for (;;) {
        pollfd entries[2] = {{signalPipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        const int count = ::poll(entries, inputOpen ? 2 : 1, -1);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        if (entries[0].revents != 0) {
            break;
        }
        if (inputOpen && entries[1].revents != 0) {
            inputOpen = ReadControlInput(rig, pending);
            if (!inputOpen && arguments.StopOnEndOfInput) {
                break;
            }
        }
    }
    rig.Stop();
    return 0;
}
