#include "safety/Guardian.h"

#include "OrvelloVersion.h"

#include "program/NumberFormat.h"
#include "program/UnitUtils.h"
#include "safety/GuardianLink.h"
#include "safety/GuardianWord.h"
#include "safety/LastRun.h"
#include "safety/RunRecordFile.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <future>
#include <syslog.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* Usage =
    "usage: orvello-guard --record FILE --port-dir DIR [--bound SECONDS]\n"
    "Started by the console: stops the instruments of the run record FILE when the console\n"
    "ends without confirming their stops. It reads the console's words on standard input.\n"
    "  --record FILE     the run record of the console it guards\n"
    "  --port-dir DIR    the folder the console finds its ports in\n"
    "  --bound SECONDS   how long it tries each stop (default 8)\n"
    "  --version         prints the version and ends\n"
    "  --help            prints this and ends\n";

// How long the reports that may reach a hung folder (the session log) or a stuck system logger
// may take before the guardian ends without them.
constexpr auto ReportBound = std::chrono::seconds(5);

struct TArguments {
    std::string Record;
    std::string PortFolder;
    double Bound_s = 8;
};

int ParseArguments(int argc, char** argv, TArguments& arguments) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (argument == "--version") {
            std::printf("orvello-guard %s\n", OrvelloVersion);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "orvello-guard: missing value after %s\n%s", argument.c_str(),
                         Usage);
            return 2;
        }
        const std::string value = argv[++i];
        if (argument == "--record") {
            arguments.Record = value;
        } else if (argument == "--port-dir") {
            arguments.PortFolder = value;
        } else if (argument == "--bound") {
            try {
                arguments.Bound_s = StrToFloatDot(value);
            } catch (const EConvertError&) {
                arguments.Bound_s = -1;
            }
            if (!(arguments.Bound_s > 0 && arguments.Bound_s <= 600)) {
                std::fprintf(stderr, "orvello-guard: --bound takes 0 to 600 seconds\n");
                return 2;
            }
        } else {
            std::fprintf(stderr, "orvello-guard: unknown argument %s\n%s", argument.c_str(), Usage);
            return 2;
        }
    }
    if (arguments.Record.empty() || arguments.PortFolder.empty()) {
        std::fprintf(stderr, "orvello-guard: --record and --port-dir are needed\n%s", Usage);
        return 2;
    }
    return -1;
}

void Tell(const std::string& line) {
    std::fprintf(stderr, "orvello-guard: %s\n", line.c_str());
    std::fflush(stderr);
}

// The console's words until its end of the pipe closes.
TGuardianWordReader ReadUntilEnd() {
    TGuardianWordReader reader;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return reader;
        reader.Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
        if (reader.CleanReceived())
            return reader;
    }
}

void AppendToSessionLog(const std::string& path, const std::vector<std::string>& lines) {
    if (path.empty())
        return;
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return;
    std::string text;
    for (const std::string& line : lines)
        text += TimeStampPrefix() + line + "\r\n";
    for (std::size_t at = 0; at < text.size();) {
        const ssize_t n = ::write(fd, text.data() + at, text.size() - at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        at += static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void TellSystemLog(const std::vector<std::string>& lines, bool allConfirmed) {
    ::openlog("orvello-guard", LOG_PID, LOG_USER);
    for (const std::string& line : lines)
        ::syslog(allConfirmed ? LOG_WARNING : LOG_CRIT, "%s", line.c_str());
    ::closelog();
}

} // namespace

std::vector<std::string> GuardianArguments(const std::string& recordPath,
                                           const std::string& portFolder) {
    return {"--record", recordPath, "--port-dir", portFolder};
}

int RunGuardian(int argc, char** argv) {
    TArguments arguments;
    if (const int code = ParseArguments(argc, argv, arguments); code >= 0)
        return code;
    // It must outlive the console: the signals that close a console (a closed terminal, Ctrl-C,
    // a service manager's stop) leave it waiting for the console's end. SIGKILL still ends it.
    // The console starts it with them blocked; ignored, any that came meanwhile is dropped.
    sigset_t closing;
    sigemptyset(&closing);
    for (const int ignored : GuardianIgnoredSignals) {
        std::signal(ignored, SIG_IGN);
        sigaddset(&closing, ignored);
    }
    ::sigprocmask(SIG_UNBLOCK, &closing, nullptr);
    if (::getsid(0) != ::getpid())
        ::setsid();
    // Every exchange resolves the rig's port names in the folder the console used.
    ::setenv("ORVELLO_PORT_DIR", arguments.PortFolder.c_str(), 1);

    const TGuardianWordReader words = ReadUntilEnd();
    if (words.CleanReceived())
        return 0;

    // The console is gone without its word. The pipe's record is the newest; a console that died
    // before it sent one leaves the file (which may still be its predecessor's, also not clean).
    std::optional<TRunRecord> record;
    if (words.Record()) {
        std::string error;
        record = ParseRunRecord(*words.Record(), error);
    }
    if (!record) {
        TRunRecordRead read = ReadRunRecordFile(arguments.Record, arguments.PortFolder);
        if (read.Record && !read.Record->Clean)
            record = std::move(read.Record);
    }
    if (!record || record->Devices.empty()) {
        Tell("the console ended without its stops confirmed; no instrument of it may have output");
        if (record) {
            record->Clean = true;
            std::string error;
            WriteRunRecordFile(arguments.Record, *record, error);
        }
        return 0;
    }

    // The stops first: nothing that may hang (a log folder, the system log) comes before them.
    TSafeStopOptions options;
    options.Bound = std::chrono::milliseconds(static_cast<long long>(arguments.Bound_s * 1000));
    const std::vector<TSafeStopResult> results = StopRecordedDevices(record->Devices, options);

    std::vector<std::string> lines;
    lines.push_back("The console (pid " + std::to_string(record->ConsolePid) +
                    ") ended without its stops confirmed; it was last heard of at " +
                    RecordTimeText(record->LastHeard) + ".");
    for (const TSafeStopResult& result : results)
        lines.push_back(SafeStopLine(result) + " (after " +
                        FormatPictureWith(result.Seconds, "0.0#", '.') + " s)");
    const int confirmed = ConfirmedStops(results);
    const bool allConfirmed = confirmed == static_cast<int>(results.size());
    lines.push_back(std::to_string(confirmed) + " of " + std::to_string(results.size()) +
                    " stop(s) confirmed.");
    for (const std::string& line : lines)
        Tell(line);

    TRunRecord after = RecordAfterStops(*record, results);
    after.GuardianReport = lines;
    std::string error;
    if (!WriteRunRecordFile(arguments.Record, after, error))
        Tell("the run record could not be updated: " + error);

    // Detached with a bound: a session log on a hung folder must not keep the guardian for ever.
    std::packaged_task<void()> report([&lines, allConfirmed, path = record->SessionLog] {
        TellSystemLog(lines, allConfirmed);
        AppendToSessionLog(path, lines);
    });
    std::future<void> reported = report.get_future();
    std::thread(std::move(report)).detach();
    if (reported.wait_for(ReportBound) != std::future_status::ready) {
        Tell("the session log or the system log did not take the report within 5 s");
        std::fflush(nullptr);
        std::_Exit(allConfirmed ? 0 : 3);
    }
    return allConfirmed ? 0 : 3;
}
