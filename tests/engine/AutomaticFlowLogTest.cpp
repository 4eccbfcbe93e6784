// The automatic flow log on disk: files that hold the whole table as before, written in
// proportion to the table's growth, and never a part of a row after a full disk or a kill.
#include "LogFolderFixture.h"
#include "engine/FlowLog.h"
#include "engine/FlowLogLines.h"
#include "engine/FlowLogWriter.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double Minute = 61.0 / 86400;
const double T0 = EncodeDateTime(2026, 12, 10, 9, 0, 0);

// Row i of a table: its number and enough text to make saves take a moment.
std::string Row(std::size_t i) {
    char number[32];
    std::snprintf(number, sizeof number, "%08zu | ", i);
    return number + std::string(70, 'r');
}

std::string AutoFile(const fs::path& folder, int save) {
    return FlowLogFileName(folder.string(), T0 + save * Minute, "auto");
}

using AutomaticFlowLogTest = TLogFolderTest;

} // namespace

// Each save gives the minute's file exactly the whole table, the one before it leaves the
// operator's view, and after the first two saves a save writes no more than the rows of the last
// two minutes, however the table grows (across its 1,024-line blocks, not at all, by one row).
TEST_F(AutomaticFlowLogTest, EachFileHoldsTheWholeTableAndASaveWritesOnlyRecentRows) {
    const std::vector<std::vector<std::size_t>> growths = {
        {700, 700, 700, 700, 700, 700, 700, 700, 700, 700},
        {1, 1500, 0, 1, 2100, 3, 1024, 0, 0, 5},
    };
    for (const std::vector<std::size_t>& growth : growths) {
        SCOPED_TRACE("growth starting " + std::to_string(growth[0]) + ", " +
                     std::to_string(growth[1]));
        fs::remove_all(folder);
        fs::create_directories(folder);
        std::vector<std::string> log;
        TFlowLogWriter writer(folder.string());
        TFlowLogLines lines;
        std::vector<std::size_t> bytesOfSave;
        std::vector<std::size_t> tableBytes{0}; // the table's text size after each minute
        for (std::size_t save = 0; save < growth.size(); ++save) {
            for (std::size_t i = 0; i < growth[save]; ++i)
                lines.push_back(Row(lines.size()));
            tableBytes.push_back(FlowLogText(lines).size());
            const std::uint64_t before = writer.BytesWritten();
            writer.Save(lines, true, false, "auto", T0 + static_cast<double>(save) * Minute,
                        [&](const std::string& text) { log.push_back(text); });
            ASSERT_TRUE(writer.Wait([&](const std::string& text) { log.push_back(text); }));
            bytesOfSave.push_back(writer.BytesWritten() - before);

            const std::string path = AutoFile(folder, static_cast<int>(save));
            ASSERT_EQ(ReadFile(path), FlowLogText(lines)) << "save " << save;
            EXPECT_EQ(FileNames(folder),
                      std::vector<std::string>{fs::path(path).filename().string()});
        }
        EXPECT_TRUE(log.empty());
        std::size_t total = 0;
        for (std::size_t save = 0; save < bytesOfSave.size(); ++save) {
            total += bytesOfSave[save];
            // The rows added in this minute and the one before.
            const std::size_t recent = tableBytes[save + 1] - tableBytes[save < 1 ? 0 : save - 1];
            if (save >= 2) {
                EXPECT_LE(bytesOfSave[save], recent) << "save " << save;
            }
        }
        EXPECT_LE(total, 3 * tableBytes.back()) << "bytes written for the whole run";
    }
}

// The table emptied after a device search starts a file of its own; the file before keeps its
// rows, which no newer automatic file holds.
TEST_F(AutomaticFlowLogTest, ANewTableKeepsThePreviousFile) {
    TFlowLogWriter writer(folder.string());
    auto toLog = [](const std::string& text) { ADD_FAILURE() << text; };
    TFlowLogLines before;
    for (std::size_t i = 0; i < 3; ++i) {
        before.push_back(Row(i));
        writer.Save(before, true, false, "auto", T0 + static_cast<double>(i) * Minute, toLog);
        ASSERT_TRUE(writer.Wait(toLog));
    }
    writer.NewTable();
    TFlowLogLines after;
    after.push_back("a new table");
    for (int save = 3; save < 5; ++save) {
        after.push_back(Row(static_cast<std::size_t>(save)));
        writer.Save(after, true, false, "auto", T0 + save * Minute, toLog);
        ASSERT_TRUE(writer.Wait(toLog));
    }
    EXPECT_EQ(FileNames(folder), (std::vector<std::string>{"2026-12-10 09_02 log auto.txt",
                                                           "2026-12-10 09_04 log auto.txt"}));
    EXPECT_EQ(ReadFile(AutoFile(folder, 2)), FlowLogText(before));
    EXPECT_EQ(ReadFile(AutoFile(folder, 4)), FlowLogText(after));
}

// A disk that fills up in the middle of a save leaves the last minute's file as it was, and the
// next save, once there is room, holds the table without a part of a row in it.
TEST_F(AutomaticFlowLogTest, ASaveCutShortByAFullDiskLeavesNoPartOfARow) {
    ScopedRecordingMessages messages;
    TFlowLogSaver saver(folder.string());
    std::vector<std::string> lines;
    std::string error;
    for (int save = 0; save < 3; ++save) {
        for (int i = 0; i < 100; ++i)
            lines.push_back(Row(lines.size()));
        ASSERT_TRUE(saver.Save(lines, true, false, "auto", T0 + save * Minute, error)) << error;
    }
    const std::string saved = FlowLogText(lines);
    for (int i = 0; i < 1000; ++i)
        lines.push_back(Row(lines.size()));

    // A file may not grow past a size the next save needs: its write stops part way.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previousAction {};
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &previousAction), 0);
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlimit previousLimit = limit;
    limit.rlim_cur = static_cast<rlim_t>(saved.size() + 1000);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const bool cutShort = saver.Save(lines, true, false, "auto", T0 + 3 * Minute, error);
    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    ::sigaction(SIGXFSZ, &previousAction, nullptr);

    EXPECT_FALSE(cutShort);
    EXPECT_NE(error.find("Cannot write file"), std::string::npos) << error;
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{"2026-12-10 09_02 log auto.txt"});
    EXPECT_EQ(ReadFile(AutoFile(folder, 2)), saved);

    ASSERT_TRUE(saver.Save(lines, true, false, "auto", T0 + 4 * Minute, error)) << error;
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{"2026-12-10 09_04 log auto.txt"});
    EXPECT_EQ(ReadFile(AutoFile(folder, 4)), FlowLogText(lines));
}

namespace {

// In a child process: grows a table and saves it each minute for ever, writing the number of rows
// of each finished save to the pipe. Never returns.
[[noreturn]] void SaveUntilKilled(const fs::path& folder, int reports) {
    TFlowLogSaver saver(folder.string());
    std::vector<std::string> lines;
    std::string error;
    for (int save = 0; save < 100000; ++save) {
        for (int i = 0; i < 2000; ++i)
            lines.push_back(Row(lines.size()));
        if (!saver.Save(lines, true, false, "auto", T0 + save * Minute, error))
            ::_exit(2);
        const std::uint64_t rows = lines.size();
        if (::write(reports, &rows, sizeof rows) != static_cast<ssize_t>(sizeof rows))
            ::_exit(3);
    }
    ::_exit(0);
}

// Waits up to the bound for the next report; false when none came.
bool ReadReport(int fd, std::uint64_t& rows, int timeout_ms) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, timeout_ms) != 1)
        return false;
    return ::read(fd, &rows, sizeof rows) == static_cast<ssize_t>(sizeof rows);
}

} // namespace

// A kill at any moment leaves the newest automatic file holding every row up to the last save
// that finished, and ending with a whole row; every other automatic file ends with a whole row.
TEST_F(AutomaticFlowLogTest, AKillAtAnyMomentLeavesEveryRowOfTheLastSave) {
    std::mt19937 random(std::random_device{}());
    for (int run = 0; run < 5; ++run) {
        const fs::path runFolder = folder / std::to_string(run);
        fs::create_directories(runFolder);
        int pipeFds[2];
        ASSERT_EQ(::pipe(pipeFds), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(pipeFds[0]);
            SaveUntilKilled(runFolder, pipeFds[1]);
        }
        ::close(pipeFds[1]);

        // Killed after a few saves, at a moment within the next one or two.
        const int savesBefore = std::uniform_int_distribution<int>(1, 4)(random);
        std::uint64_t reported = 0;
        for (int i = 0; i < savesBefore; ++i)
            ASSERT_TRUE(ReadReport(pipeFds[0], reported, 60000))
                << "run " << run << ": the child reported no save for 60 s after " << reported
                << " rows";
        std::this_thread::sleep_for(
            std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status))
            << "run " << run << ": the child ended by itself, status " << status;
        for (std::uint64_t later = 0; ReadReport(pipeFds[0], later, 0);)
            reported = later;
        ::close(pipeFds[0]);

        std::vector<std::string> names = FileNames(runFolder);
        std::erase_if(names, [](const std::string& name) { return !name.ends_with(" auto.txt"); });
        ASSERT_FALSE(names.empty()) << "run " << run;
        for (const std::string& name : names) {
            const std::string text = ReadFile(runFolder / name);
            std::size_t rows = 0;
            bool whole = true;
            for (std::size_t at = 0; at < text.size() && whole; ++rows) {
                const std::size_t end = text.find("\r\n", at);
                whole = end != std::string::npos && text.compare(at, end - at, Row(rows)) == 0;
                at = end + 2;
            }
            EXPECT_TRUE(whole) << "run " << run << ": " << name << " has " << text.size()
                               << " bytes, a bad or partial row after row " << rows;
            if (name == names.back()) {
                EXPECT_GE(rows, reported) << "run " << run << ": " << name;
            }
        }
    }
}
