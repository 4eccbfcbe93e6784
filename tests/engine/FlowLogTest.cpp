#include "engine/FlowLog.h"
#include "LogFolderFixture.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

namespace {

using FlowLogTest = TLogFolderTest;

} // namespace

TEST(FlowLogName, MinuteAndSuffix) {
    const double at = EncodeDateTime(2024, 5, 27, 14, 35, 59, 999);
    EXPECT_EQ(FlowLogFileName("Logs", at, "auto"), "Logs/2024-05-27 14_35 log auto.txt");
    EXPECT_EQ(FlowLogFileName("/x/Logs/", EncodeDateTime(2026, 1, 2, 3, 4), "OnClose"),
              "/x/Logs/2026-01-02 03_04 log OnClose.txt");
}

TEST_F(FlowLogTest, LinesEndInCrLfAndASaveInTheSameMinuteReplacesTheFile) {
    TFlowLogSaver saver(folder.string());
    const double t0 = EncodeDateTime(2026, 12, 10, 9, 15, 5);
    std::string error;
    ASSERT_TRUE(saver.Save({"a", "b"}, true, true, "StopSegmentsClick", t0, error)) << error;
    ASSERT_TRUE(
        saver.Save({"a", "b", "c"}, true, true, "StopSegmentsClick", t0 + 20.0 / 86400, error))
        << error;
    EXPECT_EQ(ReadFile(folder / "2026-12-10 09_15 log StopSegmentsClick.txt"), "a\r\nb\r\nc\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1);
}

TEST_F(FlowLogTest, AutomaticSavesWaitForContentAndAMinute) {
    TFlowLogSaver saver(folder.string());
    const double t0 = EncodeDateTime(2026, 12, 10, 9, 0, 0);
    std::string error;
    EXPECT_TRUE(saver.Save({}, false, false, "auto", t0, error));
    EXPECT_EQ(saver.LastSaveTime(), 0);
    EXPECT_TRUE(saver.Save({"row"}, true, false, "auto", t0, error));
    EXPECT_EQ(saver.LastSaveTime(), t0);
    EXPECT_TRUE(saver.Save({"row", "row"}, true, false, "auto", t0 + 60.0 / 86400, error));
    EXPECT_EQ(saver.LastSaveTime(), t0) << "exactly one minute later is not yet due";
    EXPECT_TRUE(saver.Save({"row", "row"}, true, false, "auto", t0 + 61.0 / 86400, error));
    EXPECT_GT(saver.LastSaveTime(), t0);
    // A clock set back an hour: due at once, not an hour later.
    EXPECT_TRUE(saver.Save({"row", "row"}, true, false, "auto", t0 - 1.0 / 24, error));
    EXPECT_EQ(saver.LastSaveTime(), t0 - 1.0 / 24);
    // A forced save of an empty table writes an empty file.
    EXPECT_TRUE(saver.Save({}, false, true, "OnClose", t0 + 2.0 / 1440, error));
    EXPECT_EQ(ReadFile(folder / "2026-12-10 09_02 log OnClose.txt"), "");
}

TEST_F(FlowLogTest, AnUnwritableFolderReportsAndKeepsTheEarlierFileWhole) {
    TFlowLogSaver saver(folder.string());
    const double t0 = EncodeDateTime(2026, 12, 10, 9, 0, 0);
    std::string error;
    ASSERT_TRUE(saver.Save({"first"}, true, true, "auto", t0, error));
    if (::geteuid() != 0) {
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(saver.Save({"second"}, true, true, "auto", t0, error));
        EXPECT_NE(error.find("2026-12-10 09_00 log auto.txt"), std::string::npos) << error;
        fs::permissions(folder, fs::perms::owner_all);
    }
    // A folder that does not exist at all fails the same way, for root too.
    TFlowLogSaver missing((folder / "gone").string());
    EXPECT_FALSE(missing.Save({"x"}, true, true, "auto", t0, error));
    EXPECT_NE(error.find("Cannot create file"), std::string::npos);
    EXPECT_EQ(missing.LastSaveTime(), 0) << "a failed save is not a save";
    EXPECT_EQ(ReadFile(folder / "2026-12-10 09_00 log auto.txt"), "first\r\n");
}

TEST_F(FlowLogTest, ReporterTellsOncePerRunOfFailures) {
    ScopedRecordingMessages messages;
    TFlowLogReporter reporter((folder / "gone").string());
    std::vector<std::string> log;
    auto toLog = [&](const std::string& text) { log.push_back(text); };
    const double t0 = EncodeDateTime(2026, 12, 10, 9, 0, 0);
    for (int tick = 0; tick < 5; ++tick)
        EXPECT_FALSE(reporter.Save({"row"}, true, false, "auto", t0 + tick / 86400.0, toLog));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Flow log not saved: ", 0), 0u) << log[0];
    EXPECT_EQ(messages.recorder.Messages(), log);

    fs::create_directories(folder / "gone");
    EXPECT_TRUE(reporter.Save({"row"}, true, false, "auto", t0 + 10 / 86400.0, toLog));
    fs::remove_all(folder / "gone");
    EXPECT_FALSE(reporter.Save({"row"}, true, true, "OnClose", t0 + 20 / 86400.0, toLog));
    EXPECT_EQ(log.size(), 2u) << "a new run of failures is reported again";
}

TEST_F(FlowLogTest, APlantedTemporaryNameCannotRedirectTheSave) {
    const fs::path victim = folder / "victim.txt";
    std::ofstream(victim) << "keep me";
    const double t0 = EncodeDateTime(2026, 12, 10, 9, 30, 0);
    const std::string path = FlowLogFileName(folder.string(), t0, "OnClose");
    fs::create_symlink(victim, path + ".partial");
    std::string error;
    ASSERT_TRUE(WriteFlowLogFile(path, {"row"}, error)) << error;
    EXPECT_EQ(ReadFile(victim), "keep me");
    EXPECT_EQ(ReadFile(path), "row\r\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
}

// Two consoles saving the same minute's file: each save is whole, and neither spoils the other's.
TEST_F(FlowLogTest, SaversOfTheSameFileNeverShareATemporaryFile) {
    const std::string path = (folder / "2026-12-10 09_30 log OnClose.txt").string();
    const std::vector<std::string> first(200, std::string(100, 'a'));
    const std::vector<std::string> second(300, std::string(100, 'b'));
    auto saveMany = [&](const std::vector<std::string>& lines, int& failures) {
        std::string error;
        for (int i = 0; i < 100; ++i)
            failures += WriteFlowLogFile(path, lines, error) ? 0 : 1;
    };
    int failuresA = 0;
    int failuresB = 0;
    std::thread a(saveMany, std::cref(first), std::ref(failuresA));
    std::thread b(saveMany, std::cref(second), std::ref(failuresB));
    a.join();
    b.join();
    EXPECT_EQ(failuresA, 0);
    EXPECT_EQ(failuresB, 0);
    const std::string text = ReadFile(path);
    std::string wholeA, wholeB;
    for (const std::string& line : first)
        wholeA += line + "\r\n";
    for (const std::string& line : second)
        wholeB += line + "\r\n";
    EXPECT_TRUE(text == wholeA || text == wholeB) << "a file of " << text.size() << " bytes";
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator{}), 1)
        << "no temporary file stays behind";
}

TEST_F(FlowLogTest, EachAutomaticFileReplacesThePreviousOneAndNamedFilesStay) {
    TFlowLogSaver saver(folder.string());
    const double t0 = EncodeDateTime(2026, 12, 10, 9, 0, 0);
    const double minute = 61.0 / 86400;
    std::string error;
    // A file of an earlier run in the same folder is none of this run's business.
    std::ofstream(folder / "2026-12-09 17_00 log auto.txt") << "yesterday";
    ASSERT_TRUE(saver.Save({"1"}, true, false, "auto", t0, error)) << error;
    ASSERT_TRUE(saver.Save({"1", "2"}, true, true, "StopSegmentsClick", t0 + minute / 2, error));
    ASSERT_TRUE(saver.Save({"1", "2", "3"}, true, false, "auto", t0 + minute, error)) << error;
    ASSERT_TRUE(saver.Save({"1", "2", "3", "4"}, true, false, "auto", t0 + 2 * minute, error));

    EXPECT_EQ(FileNames(folder),
              (std::vector<std::string>{"2026-12-09 17_00 log auto.txt",
                                        "2026-12-10 09_00 log StopSegmentsClick.txt",
                                        "2026-12-10 09_02 log auto.txt"}));
    EXPECT_EQ(ReadFile(folder / "2026-12-10 09_02 log auto.txt"), "1\r\n2\r\n3\r\n4\r\n");
}

TEST_F(FlowLogTest, TheAutomaticFileStaysWhenTheNextSaveFailsOrAnotherConsoleOwnsTheName) {
    TFlowLogSaver saver(folder.string());
    const double t0 = EncodeDateTime(2026, 12, 10, 9, 0, 0);
    const double minute = 61.0 / 86400;
    std::string error;
    ASSERT_TRUE(saver.Save({"1"}, true, false, "auto", t0, error)) << error;
    // The next name is taken by a folder: that save fails, and the previous file stays.
    fs::create_directory(folder / "2026-12-10 09_01 log auto.txt");
    EXPECT_FALSE(saver.Save({"1", "2"}, true, false, "auto", t0 + minute, error));
    EXPECT_EQ(ReadFile(folder / "2026-12-10 09_00 log auto.txt"), "1\r\n");
    fs::remove(folder / "2026-12-10 09_01 log auto.txt");

    // Another console saves under the same name meanwhile: its file is not this run's to remove.
    ASSERT_TRUE(WriteFlowLogFile((folder / "2026-12-10 09_00 log auto.txt").string(),
                                 {"other console"}, error));
    ASSERT_TRUE(saver.Save({"1", "2"}, true, false, "auto", t0 + 2 * minute, error)) << error;
    EXPECT_EQ(ReadFile(folder / "2026-12-10 09_00 log auto.txt"), "other console\r\n");
    EXPECT_EQ(ReadFile(folder / "2026-12-10 09_02 log auto.txt"), "1\r\n2\r\n");
}
