// The guardian program against the simulated rig, with this test in the console's place at the
// other end of the pipe: it does nothing while its console lives, however the console behaves,
// ends on the clean word, and stops what the record lists when the pipe ends without it.
#include "safety/Guardian.h"
#include "safety/GuardianLink.h"
#include "safety/RunRecordFile.h"

#include "SafetyRig.h"

#include <csignal>
#include <sys/wait.h>

using namespace std::chrono_literals;

namespace {

// The guardian's end, waited for with waitpid: its exit code, or -1 when it did not end in time.
int WaitForExit(pid_t pid, std::chrono::milliseconds bound) {
    const auto end = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        const pid_t ended = ::waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (ended < 0)
            return -2;
        std::this_thread::sleep_for(20ms);
    }
    return -1;
}

class GuardianTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(rig_.Started()) << rig_.Error();
        recordPath_ = (rig_.Folder() / "state" / "run.record").string();
        record_.PortFolder = rig_.PortFolder();
        record_.ConsolePid = 77;
        record_.SessionLog = (rig_.Folder() / "session log.txt").string();
        std::ofstream(record_.SessionLog) << "the console's lines\r\n";
        record_.Devices = {TSafetyRig::Mfc(), TSafetyRig::Pump()};
    }

    std::unique_ptr<TGuardianLink> StartGuardian() {
        auto link = std::make_unique<TGuardianLink>();
        std::string error;
        EXPECT_TRUE(link->Start(ORVELLO_GUARD_PATH,
                                GuardianArguments(recordPath_, rig_.PortFolder()), error))
            << error;
        link->SendRecord(FormatRunRecord(record_));
        return link;
    }

    TSafetyRig rig_;
    std::string recordPath_;
    TRunRecord record_;
};

} // namespace

TEST_F(GuardianTest, TheConsolesDeathStopsEveryRecordedInstrumentAndIsReported) {
    rig_.BringToOutput();
    std::unique_ptr<TGuardianLink> link = StartGuardian();
    const pid_t guardian = link->Pid();
    ASSERT_TRUE(link->Flush());
    const auto died = std::chrono::steady_clock::now();
    link.reset(); // the console's end of the pipe closes, as at a kill

    EXPECT_EQ(WaitForExit(guardian, 30s), 0);
    const auto took = std::chrono::steady_clock::now() - died;
    EXPECT_TRUE(rig_.AtRest("COM3")) << rig_.State("COM3");
    EXPECT_TRUE(rig_.AtRest("COM5")) << rig_.State("COM5");
    EXPECT_LT(took, 10s);

    // The record tells the next start that nothing is left, and what the guardian did.
    const TRunRecordRead read = ReadRunRecordFile(recordPath_, rig_.PortFolder());
    ASSERT_TRUE(read.Record) << read.Error;
    EXPECT_TRUE(read.Record->Clean);
    EXPECT_TRUE(read.Record->Devices.empty());
    ASSERT_EQ(read.Record->GuardianReport.size(), 4u);
    EXPECT_NE(read.Record->GuardianReport[1].find("COM3 - Set 1 MFC A (setpoint 40 %): stopped, "
                                                  "setpoint 0 read back"),
              std::string::npos)
        << read.Record->GuardianReport[1];
    // The run's session log has the same lines after its own.
    std::ifstream in(record_.SessionLog);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("the console's lines"), 0u);
    EXPECT_NE(text.str().find("COM5 - Set 1 Humidifier (setpoint 50 %, program "
                              "gIV6000A24000OV1000A0GR): stopped, terminated, not busy"),
              std::string::npos)
        << text.str();
}

TEST_F(GuardianTest, WhileTheConsoleLivesNothingIsTouchedAndTheCleanWordEndsIt) {
    rig_.BringToOutput();
    std::unique_ptr<TGuardianLink> link = StartGuardian();
    ASSERT_TRUE(link->Flush());
    // A terminal that closes, Ctrl-C, a service manager's stop: the guardian stays with its
    // console and touches nothing.
    for (const int signal : {SIGHUP, SIGINT, SIGTERM, SIGQUIT})
        ASSERT_EQ(::kill(link->Pid(), signal), 0);
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(link->Flush()) << link->GoneReason();
    EXPECT_EQ(rig_.Received("COM3", "A??M5\\r"), 0);
    EXPECT_EQ(rig_.Received("COM5", "/1Q\\r"), 0);

    link->SendClean();
    EXPECT_TRUE(link->WaitForEnd(10s));
    link.reset();
    EXPECT_NE(rig_.State("COM3").find(" setpoint=25600 "), std::string::npos);
    EXPECT_EQ(rig_.Received("COM3", "A??M5\\r"), 0);
}

TEST_F(GuardianTest, WithoutARecordOnThePipeItFallsBackToTheFile) {
    rig_.BringToOutput();
    std::string error;
    ASSERT_TRUE(WriteRunRecordFile(recordPath_, record_, error)) << error;
    auto link = std::make_unique<TGuardianLink>();
    ASSERT_TRUE(
        link->Start(ORVELLO_GUARD_PATH, GuardianArguments(recordPath_, rig_.PortFolder()), error))
        << error;
    const pid_t guardian = link->Pid();
    link.reset(); // died before its first word
    EXPECT_EQ(WaitForExit(guardian, 30s), 0);
    EXPECT_TRUE(rig_.AtRest("COM3")) << rig_.State("COM3");
    EXPECT_TRUE(rig_.AtRest("COM5")) << rig_.State("COM5");
}

TEST(GuardianProgram, AWrongCommandLineIsRefused) {
    TGuardianLink link;
    std::string error;
    ASSERT_TRUE(link.Start(ORVELLO_GUARD_PATH, {"--record", "x"}, error)) << error;
    const pid_t pid = link.Pid();
    EXPECT_EQ(WaitForExit(pid, 10s), 2);
    TGuardianLink missing;
    EXPECT_FALSE(missing.Start("/nonexistent/orvello-guard", {}, error));
    EXPECT_NE(error.find("cannot start"), std::string::npos);
}
