#include "engine/FlowLogWriter.h"
#include "LogFolderFixture.h"
#include "engine/FlowLogLines.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr double Minute = 61.0 / 86400;

// Rows of a table long enough to span several blocks and to take a moment to write.
TFlowLogLines Table(std::size_t rows, char fill = 'r') {
    TFlowLogLines lines;
    for (std::size_t i = 0; i < rows; ++i)
        lines.push_back(std::to_string(i) + std::string(280, fill));
    return lines;
}

std::string TextOf(const TFlowLogLines& lines) {
    std::string text;
    lines.ForEach([&](const std::string& line) { text += line + "\r\n"; });
    return text;
}

class FlowLogWriterTest : public TLogFolderTest {
protected:
    std::string File(double at, const std::string& suffix) const {
        return FlowLogFileName(folder.string(), at, suffix);
    }
    std::vector<std::string> log;
    TFlowLogWriter::Log toLog = [this](const std::string& text) { log.push_back(text); };
    const double t0 = EncodeDateTime(2026, 12, 10, 9, 0, 0);
};

} // namespace

TEST(FlowLogLines, CopiesKeepTheirLinesWhileTheTableGrows) {
    TFlowLogLines lines;
    for (int i = 0; i < 2500; ++i)
        lines.push_back(std::to_string(i));
    const TFlowLogLines copy = lines;
    for (int i = 2500; i < 5000; ++i)
        lines.push_back(std::to_string(i));
    ASSERT_EQ(copy.size(), 2500u);
    ASSERT_EQ(lines.size(), 5000u);
    for (std::size_t i : {0u, 1023u, 1024u, 2047u, 2048u, 2499u})
        EXPECT_EQ(copy[i], std::to_string(i));
    for (std::size_t i : {2500u, 3071u, 3072u, 4999u})
        EXPECT_EQ(lines[i], std::to_string(i));
    EXPECT_EQ(lines.back(), "4999");
    std::size_t next = 0;
    bool inOrder = true;
    copy.ForEach([&](const std::string& line) { inOrder &= line == std::to_string(next++); });
    EXPECT_TRUE(inOrder);
    EXPECT_EQ(next, 2500u);
}

TEST_F(FlowLogWriterTest, AnAutomaticSaveWritesTheTableAsItWasWhenItStarted) {
    TFlowLogWriter writer(folder.string());
    TFlowLogLines lines = Table(3000);
    const std::string expected = TextOf(lines);
    EXPECT_TRUE(writer.Save(lines, true, false, "auto", t0, toLog));
    EXPECT_TRUE(writer.InFlight());
    EXPECT_EQ(writer.Saver().LastSaveTime(), 0) << "a save counts once it is collected";
    for (int i = 0; i < 2000; ++i)
        lines.push_back("later row");
    EXPECT_TRUE(writer.Wait(toLog));
    EXPECT_FALSE(writer.InFlight());
    EXPECT_EQ(writer.Saver().LastSaveTime(), t0);
    EXPECT_EQ(ReadFile(File(t0, "auto")), expected);
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{"2026-12-10 09_00 log auto.txt"});
    EXPECT_TRUE(log.empty());
}

// Whether the first save has finished by the next tick or not, there is never more than one in
// flight, a due save is started by a later tick, and the newest file replaces the one before.
TEST_F(FlowLogWriterTest, ADueSaveWaitsForTheOneInFlightAndThenReplacesIt) {
    TFlowLogWriter writer(folder.string());
    const TFlowLogLines first = Table(3000, 'a');
    const TFlowLogLines second = Table(3100, 'b');
    ASSERT_TRUE(writer.Save(first, true, false, "auto", t0, toLog));
    const double t1 = t0 + Minute;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (writer.Saver().LastSaveTime() != t1 && std::chrono::steady_clock::now() < deadline) {
        ASSERT_TRUE(writer.Save(second, true, false, "auto", t1, toLog));
        EXPECT_TRUE(writer.InFlight() || writer.Saver().LastSaveTime() == t1)
            << "a due save is started at once when none is in flight";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(writer.Saver().LastSaveTime(), t1)
        << "waited 60 s for the second save to be collected; the last save collected was at "
        << writer.Saver().LastSaveTime();
    EXPECT_EQ(ReadFile(File(t1, "auto")), TextOf(second));
    EXPECT_EQ(FileNames(folder), std::vector<std::string>{"2026-12-10 09_01 log auto.txt"});
}

TEST_F(FlowLogWriterTest, AForcedSaveWaitsForTheAutomaticOneAndKeepsTheOrder) {
    TFlowLogWriter writer(folder.string());
    TFlowLogLines lines = Table(5000);
    const std::string automatic = TextOf(lines);
    ASSERT_TRUE(writer.Save(lines, true, false, "auto", t0, toLog));
    lines.push_back("stop");
    ASSERT_TRUE(writer.Save(lines, true, true, "OnClose", t0 + Minute / 2, toLog));
    EXPECT_FALSE(writer.InFlight());
    EXPECT_EQ(writer.Saver().LastSaveTime(), t0 + Minute / 2) << "the forced save came last";
    EXPECT_EQ(ReadFile(File(t0, "auto")), automatic);
    EXPECT_EQ(ReadFile(File(t0 + Minute / 2, "OnClose")), TextOf(lines));

    // The next automatic file replaces the earlier automatic one; the named file stays.
    ASSERT_TRUE(writer.Save(lines, true, false, "auto", t0 + 2 * Minute, toLog));
    ASSERT_TRUE(writer.Wait(toLog));
    EXPECT_EQ(FileNames(folder), (std::vector<std::string>{"2026-12-10 09_00 log OnClose.txt",
                                                           "2026-12-10 09_02 log auto.txt"}));
}

TEST_F(FlowLogWriterTest, FailuresAreReportedOncePerRunOnTheCallingThread) {
    ScopedRecordingMessages messages;
    const fs::path gone = folder / "gone";
    TFlowLogWriter writer(gone.string());
    const std::thread::id caller = std::this_thread::get_id();
    bool reportedElsewhere = false;
    TFlowLogWriter::Log check = [&](const std::string& text) {
        reportedElsewhere |= std::this_thread::get_id() != caller;
        log.push_back(text);
    };
    const TFlowLogLines lines = Table(10);
    for (int tick = 0; tick < 5; ++tick) {
        writer.Save(lines, true, false, "auto", t0 + tick / 86400.0, check);
        EXPECT_FALSE(writer.Wait(check));
        EXPECT_EQ(writer.Saver().LastSaveTime(), 0) << "a failed save is not a save";
    }
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Flow log not saved: Cannot create file ", 0), 0u) << log[0];
    EXPECT_EQ(messages.recorder.Messages(), log);
    EXPECT_FALSE(reportedElsewhere);

    fs::create_directories(gone);
    writer.Save(lines, true, false, "auto", t0 + 10 / 86400.0, check);
    EXPECT_TRUE(writer.Wait(check));
    EXPECT_EQ(ReadFile(FlowLogFileName(gone.string(), t0, "auto")), TextOf(lines));
    if (::geteuid() != 0) {
        // A folder that cannot be written: a new run of failures, reported again, and the file
        // written before stays whole.
        fs::permissions(gone, fs::perms::owner_read | fs::perms::owner_exec);
        writer.Save(Table(20), true, false, "auto", t0 + 2 * Minute, check);
        EXPECT_FALSE(writer.Wait(check));
        EXPECT_EQ(log.size(), 2u);
        EXPECT_EQ(FileNames(gone), std::vector<std::string>{"2026-12-10 09_00 log auto.txt"});
        fs::permissions(gone, fs::perms::owner_all);
    }
}

// What the close tells when a save does not finish: the rows a finished save holds, counted for
// the table as it stands now.
TEST_F(FlowLogWriterTest, LinesOnDiskCountWhatAFinishedSaveOfThisTableHolds) {
    TFlowLogWriter writer(folder.string());
    TFlowLogLines lines = Table(3000);
    EXPECT_EQ(writer.LinesOnDisk(), 0u);
    ASSERT_TRUE(writer.Save(lines, true, false, "auto", t0, toLog));
    EXPECT_EQ(writer.LinesOnDisk(), 0u) << "not before the save is collected";
    for (int i = 0; i < 10; ++i)
        lines.push_back("later row");
    ASSERT_TRUE(writer.Wait(toLog));
    EXPECT_EQ(writer.LinesOnDisk(), 3000u) << "the rows of the copy it wrote, not the later ones";
    ASSERT_TRUE(writer.Save(lines, true, true, "StopSegmentsClick", t0 + Minute / 2, toLog));
    EXPECT_EQ(writer.LinesOnDisk(), 3010u);

    // A failed save adds nothing; a table started again has nothing on disk yet.
    lines.push_back("row of a failed save");
    fs::remove_all(folder);
    {
        ScopedRecordingMessages messages;
        EXPECT_FALSE(writer.Save(lines, true, true, "OnClose", t0 + Minute, toLog));
    }
    fs::create_directories(folder);
    EXPECT_EQ(writer.LinesOnDisk(), 3010u);
    writer.NewTable();
    EXPECT_EQ(writer.LinesOnDisk(), 0u);
}

TEST_F(FlowLogWriterTest, TheAutomaticFileStaysWhenAnotherConsoleOwnsTheName) {
    TFlowLogWriter writer(folder.string());
    ASSERT_TRUE(writer.Save(Table(5), true, false, "auto", t0, toLog));
    ASSERT_TRUE(writer.Wait(toLog));
    std::string error;
    ASSERT_TRUE(WriteFlowLogFile(File(t0, "auto"), {"other console"}, error)) << error;
    ASSERT_TRUE(writer.Save(Table(6), true, false, "auto", t0 + Minute, toLog));
    ASSERT_TRUE(writer.Wait(toLog));
    EXPECT_EQ(ReadFile(File(t0, "auto")), "other console\r\n");
    EXPECT_EQ(ReadFile(File(t0 + Minute, "auto")), TextOf(Table(6)));
}

TEST_F(FlowLogWriterTest, AWriterGoneWithASaveInFlightLeavesTheFileWhole) {
    const TFlowLogLines lines = Table(8000);
    {
        TFlowLogWriter writer(folder.string());
        ASSERT_TRUE(writer.Save(lines, true, false, "auto", t0, toLog));
    }
    EXPECT_EQ(FileNames(folder, true), std::vector<std::string>{"2026-12-10 09_00 log auto.txt"})
        << "no temporary file stays behind";
    EXPECT_EQ(ReadFile(File(t0, "auto")), TextOf(lines));
}
