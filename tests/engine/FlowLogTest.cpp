#include "engine/FlowLog.h"
#include "platform/Clock.h"
#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class FlowLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        folder = fs::temp_directory_path() /
                 ("orvello-flowlog-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override {
        fs::permissions(folder, fs::perms::owner_all);
        fs::remove_all(folder);
    }
    fs::path folder;
};

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
