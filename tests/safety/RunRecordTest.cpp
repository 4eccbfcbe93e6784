// The run record: what is written is read back whole, and whatever a power cut, an editor or
// another rig's console left in its place is refused with a reason rather than acted on.
#include "safety/RunRecord.h"
#include "safety/RunRecordFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

TRunRecord SampleRecord() {
    TRunRecord record;
    record.PortFolder = "/run/user/1000/orvello-rig";
    record.ConsolePid = 4242;
    record.Started = 46367.25;
    record.LastHeard = 46367.2604166667;
    record.SessionLog = "/home/lab/rig/Logs/2026-12-11 06_00 session log.txt";
    TRecordedDevice mfc;
    mfc.Port = "COM3";
    mfc.Kind = "MFCA";
    mfc.Name = "Set 1 MFC A";
    mfc.Identity = "183301";
    mfc.Setpoint_pct = 40;
    mfc.SentAt = 46367.2600000001;
    mfc.ProgramRunning = true;
    mfc.Heard = record.LastHeard;
    TRecordedDevice pump;
    pump.Port = "ttyUSB0";
    pump.Kind = "Pump";
    // Tabs, line ends and backslashes in a name must not break the line it stands on.
    pump.Name = "Hum\tidifier\\one\r\n";
    pump.Identity = "12345678";
    pump.Setpoint_pct = 12.5;
    pump.PumpProgram = "gIV6000A24000OV1000A0GR";
    pump.StopUnconfirmed = true;
    pump.FromEarlierRun = true;
    record.Devices = {mfc, pump};
    record.GuardianReport = {"COM3 - Set 1 MFC A (setpoint 40 %): stopped"};
    return record;
}

std::string Replaced(std::string text, const std::string& part, const std::string& by) {
    const std::size_t at = text.find(part);
    return at == std::string::npos ? text : text.replace(at, part.size(), by);
}

// A record whose last line fits its body, however odd the body: only the parser's own rules can
// refuse it then.
std::string Sealed(const std::string& body, std::size_t devices) {
    std::uint64_t hash = 1469598103934665603ULL;
    for (const char c : body) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ULL;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return body + "end " + std::to_string(devices) + " " + hex + "\n";
}

std::string Body(const std::string& deviceLines, const std::string& head = "") {
    return "Orvello run record 1\nport-folder /f\nconsole-pid 1\nstarted 1\nlast-heard 2\n"
           "session-log \nend-of-run open\n" +
           head + deviceLines;
}

} // namespace

TEST(RunRecord, WhatIsWrittenIsReadBackWhole) {
    const TRunRecord record = SampleRecord();
    const std::string text = FormatRunRecord(record);
    std::string error;
    const std::optional<TRunRecord> read = ParseRunRecord(text, error);
    ASSERT_TRUE(read) << error << "\n" << text;
    EXPECT_EQ(*read, record);
    // The text stays one line per device, whatever the names hold.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 11);
}

TEST(RunRecord, ATornAlteredOrForeignTextIsRefusedWithItsReason) {
    const std::string whole = FormatRunRecord(SampleRecord());
    const struct {
        const char* Case;
        std::string Text;
        const char* Reason;
    } cases[] = {
        {"empty", "", "torn"},
        {"cut mid-line", whole.substr(0, whole.size() / 2), "torn"},
        {"cut after a line", whole.substr(0, whole.find("device")), "last line"},
        {"without the last line", whole.substr(0, whole.rfind("end ")), "last line"},
        {"a changed setpoint", Replaced(whole, "\t40\t", "\t90\t"), "checksum"},
        {"a wrong count", Sealed(Body(""), 1), "count"},
        {"another version", Sealed("Orvello run record 2\n", 0), "version"},
        {"a port with a path", Sealed(Body("device\t../etc\tMFCA\tn\t1\t0\t\t0\t0\t0\t0\t0\n"), 1),
         "port"},
        {"an absolute port",
         Sealed(Body("device\t/dev/ttyS0\tMFCA\tn\t1\t0\t\t0\t0\t0\t0\t0\n"), 1), "port"},
        {"a kind of no device", Sealed(Body("device\tCOM3\tLaser\tn\t1\t0\t\t0\t0\t0\t0\t0\n"), 1),
         "kind"},
        {"a setpoint that is no number",
         Sealed(Body("device\tCOM3\tMFCA\tn\t1\tforty\t\t0\t0\t0\t0\t0\n"), 1), "setpoint"},
        {"too few fields", Sealed(Body("device\tCOM3\tMFCA\n"), 1), "fields"},
        {"a port twice",
         Sealed(Body("device\tCOM3\tMFCA\tn\t1\t0\t\t0\t0\t0\t0\t0\n"
                     "device\tCOM3\tMFCB\tn\t1\t0\t\t0\t0\t0\t0\t0\n"),
                2),
         "twice"},
        {"a broken escape", Sealed(Body("device\tCOM3\tMFCA\tn\\q\t1\t0\t\t0\t0\t0\t0\t0\n"), 1),
         "escape"},
        {"a flag of 2", Sealed(Body("device\tCOM3\tMFCA\tn\t1\t0\t\t0\t2\t0\t0\t0\n"), 1), "flag"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(ParseRunRecord(c.Text, error)) << c.Case;
        EXPECT_NE(error.find(c.Reason), std::string::npos) << c.Case << ": " << error;
    }
    // A record sealed the same way is taken: the cases above fail for their own reason only.
    std::string error;
    EXPECT_TRUE(
        ParseRunRecord(Sealed(Body("device\tCOM3\tMFCA\tn\t1\t0\t\t0\t0\t0\t0\t0\n"), 1), error))
        << error;
}

class RunRecordFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "orvello-record-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        if (const char* state = std::getenv("XDG_STATE_HOME"))
            savedState_ = state;
        ::setenv("XDG_STATE_HOME", (folder_ / "state").c_str(), 1);
    }
    void TearDown() override {
        if (savedState_)
            ::setenv("XDG_STATE_HOME", savedState_->c_str(), 1);
        else
            ::unsetenv("XDG_STATE_HOME");
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    fs::path folder_;
    std::optional<std::string> savedState_;
};

TEST_F(RunRecordFileTest, OneRecordPerPortFolderUnderTheStateFolderWrittenWhole) {
    const std::string path = RunRecordPath("/run/user/1000/orvello-rig");
    EXPECT_EQ(fs::path(path).parent_path(), folder_ / "state" / "orvello");
    EXPECT_NE(path, RunRecordPath("/run/user/1000/orvello-rig2"));
    EXPECT_NE(path, RunRecordPath("/run/user/1000/orvello_rig"));

    const TRunRecord record = SampleRecord();
    std::string error;
    ASSERT_TRUE(WriteRunRecordFile(RunRecordPath(record.PortFolder), record, error)) << error;
    struct stat info {};
    ASSERT_EQ(::stat((folder_ / "state" / "orvello").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // Nothing but the record is left beside it: the temporary file became the record.
    EXPECT_EQ(std::distance(fs::directory_iterator(folder_ / "state" / "orvello"),
                            fs::directory_iterator()),
              1);

    const TRunRecordRead read =
        ReadRunRecordFile(RunRecordPath(record.PortFolder), record.PortFolder);
    EXPECT_TRUE(read.Found);
    ASSERT_TRUE(read.Record) << read.Error;
    EXPECT_EQ(*read.Record, record);

    // A record that lies where this folder's belongs but names another folder is foreign.
    const TRunRecordRead foreign = ReadRunRecordFile(RunRecordPath(record.PortFolder), "/other");
    EXPECT_TRUE(foreign.Found);
    EXPECT_FALSE(foreign.Record);
    EXPECT_NE(foreign.Error.find("belongs to the port folder"), std::string::npos);
    // None at all is the first run's case, not an error.
    const TRunRecordRead none = ReadRunRecordFile(RunRecordPath("/never"), "/never");
    EXPECT_FALSE(none.Found);
    EXPECT_TRUE(none.Error.empty());
}

TEST_F(RunRecordFileTest, ARelativeStateHomeIsIgnored) {
    ::setenv("XDG_STATE_HOME", "relative/state", 1);
    ::setenv("HOME", folder_.c_str(), 1);
    EXPECT_EQ(RunRecordFolder(), (folder_ / ".local" / "state" / "orvello").string());
}
