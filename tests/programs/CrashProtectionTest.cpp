// No end of the console leaves an instrument running unnoticed, shown on the real programs: the
// console, its guardian and the simulated rig, with MFC A at 40 % and the pump dispensing.
#include "ConsoleAndRig.h"

#include "safety/RunRecord.h"
#include "safety/RunRecordFile.h"

#include <csignal>
#include <cstdio>

using namespace std::chrono_literals;

namespace {

// Bounds for a loaded two-core machine; the measured times are printed for the record.
constexpr auto SetUpBound = 240s;
constexpr auto SafeBound = 20s;

void Measured(const char* what, double seconds) {
    std::printf("measured: %s %.2f s\n", what, seconds);
    ::testing::Test::RecordProperty(what, std::to_string(seconds));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

} // namespace

class ConsoleDeath : public ::testing::TestWithParam<int> {};

TEST_P(ConsoleDeath, AKillOrACrashLeavesBothInstrumentsSafe) {
    TConsoleAndRig programs;
    ASSERT_TRUE(programs.RigReady());
    TChildProcess& console = programs.StartConsole("run", TConsoleAndRig::FlowingScript("flowing"));
    ASSERT_TRUE(programs.WaitUntilFlowing("flowing", SetUpBound))
        << programs.ErrorText("run") << programs.State("COM3") << programs.State("COM5");

    ASSERT_TRUE(console.Signal(GetParam()));
    const double seconds = programs.SecondsUntilBothAtRest(SafeBound);
    Measured("kill to both safe", seconds);
    EXPECT_GE(seconds, 0) << programs.State("COM3") << "\n" << programs.State("COM5");
    // Ended by the signal (under AddressSanitizer a SIGSEGV ends it through its report).
    const int code = console.WaitForExit(10s);
    EXPECT_NE(code, -1);
    EXPECT_NE(code, 0);

    // Told outside the window: standard error (the guardian's is the console's) and the session
    // log, a line per port.
    EXPECT_TRUE(TConsoleAndRig::WaitFor(
        [&] { return Has(programs.SessionLogs(), "2 of 2 stop(s) confirmed."); }, 20s))
        << programs.SessionLogs();
    const std::string errors = programs.ErrorText("run");
    EXPECT_TRUE(Has(errors, "orvello-guard: COM3 - Set 1 MFC A (setpoint 40 %): stopped, setpoint "
                            "0 read back"))
        << errors;
    EXPECT_TRUE(Has(errors, "orvello-guard: COM5 - Set 1 Humidifier (setpoint 50 %, program "))
        << errors;
}

INSTANTIATE_TEST_SUITE_P(Signals, ConsoleDeath, ::testing::Values(SIGKILL, SIGSEGV),
                         [](const auto& info) {
                             return std::string(info.param == SIGKILL ? "SIGKILL" : "SIGSEGV");
                         });

TEST(ConsoleDeath, APowerCutIsCleanedUpByTheNextStartThatNobodyTouches) {
    TConsoleAndRig programs;
    ASSERT_TRUE(programs.RigReady());
    TChildProcess& console = programs.StartConsole("run", TConsoleAndRig::FlowingScript("flowing"));
    ASSERT_TRUE(programs.WaitUntilFlowing("flowing", SetUpBound)) << programs.ErrorText("run");
    const pid_t guardian = programs.GuardianPid();
    ASSERT_GT(guardian, 0) << programs.SessionLogs();

    // The computer alone loses power: console and guardian go at once, the instruments stay on.
    ASSERT_EQ(::kill(guardian, SIGKILL), 0);
    ASSERT_TRUE(console.Signal(SIGKILL));
    console.WaitForExit(10s);
    std::this_thread::sleep_for(2s);
    ASSERT_TRUE(Has(programs.State("COM3"), " setpoint=25600 "));
    ASSERT_TRUE(Has(programs.State("COM5"), " busy=1 "));

    const std::size_t from = programs.JournalLines();
    TChildProcess& next = programs.StartConsole(
        "next", "wait-log \"stop(s) confirmed; no program of the last run is resumed\" 60\n"
                "close\n");
    const double seconds = programs.SecondsUntilBothAtRest(SafeBound);
    Measured("next start to both safe", seconds);
    EXPECT_GE(seconds, 0) << programs.State("COM3") << "\n" << programs.State("COM5");
    EXPECT_EQ(next.WaitForExit(60s), 0);
    const std::string errors = programs.ErrorText("next");
    for (const std::string port : {"COM3 - Set 1 MFC A", "COM5 - Set 1 Humidifier"})
        EXPECT_TRUE(Has(errors, port)) << errors;
    EXPECT_TRUE(Has(errors, "did not end cleanly; it was last heard of at ")) << errors;
    EXPECT_TRUE(Has(errors, "2 of 2 stop(s) confirmed")) << errors;
    // No program is resumed: the next start sent a question and the stop, nothing else.
    EXPECT_EQ(programs.Commands("COM3", from), (std::vector<std::string>{"A??M5\\r", "A0\\r"}));
}

TEST(ConsoleDeath, AStoppedConsoleIsLeftAloneAndAcleanEndLeavesNothingBehind) {
    TConsoleAndRig programs;
    ASSERT_TRUE(programs.RigReady());
    TChildProcess& console = programs.StartConsole("run", TConsoleAndRig::FlowingScript("flowing"));
    ASSERT_TRUE(programs.WaitUntilFlowing("flowing", SetUpBound)) << programs.ErrorText("run");
    const pid_t guardian = programs.GuardianPid();
    ASSERT_GT(guardian, 0);

    // Held for a minute, as a debugger or a swapping machine would: the guardian waits.
    ASSERT_TRUE(console.Signal(SIGSTOP));
    const std::size_t from = programs.JournalLines();
    std::this_thread::sleep_for(60s);
    EXPECT_TRUE(programs.Commands("COM3", from).empty());
    EXPECT_TRUE(programs.Commands("COM5", from).empty());
    EXPECT_TRUE(Has(programs.State("COM3"), " setpoint=25600 "));
    EXPECT_TRUE(Has(programs.State("COM5"), " busy=1 "));
    ASSERT_TRUE(console.Signal(SIGCONT));

    // Then an orderly end: stops confirmed, the record clean, the guardian gone with it.
    ASSERT_TRUE(console.Signal(SIGTERM));
    EXPECT_EQ(console.WaitForExit(60s), 0);
    EXPECT_TRUE(programs.MfcAtRest("COM3"));
    EXPECT_TRUE(programs.PumpAtRest("COM5"));
    EXPECT_TRUE(TConsoleAndRig::WaitFor([&] { return ::kill(guardian, 0) != 0; }, 10s));
    ::setenv("XDG_STATE_HOME", programs.StateHome().c_str(), 1);
    const TRunRecordRead read =
        ReadRunRecordFile(RunRecordPath(programs.PortFolder()), programs.PortFolder());
    ::unsetenv("XDG_STATE_HOME");
    ASSERT_TRUE(read.Record) << read.Error;
    EXPECT_TRUE(read.Record->Clean);
    EXPECT_TRUE(read.Record->Devices.empty());

    // The next start has nothing to say about the last run.
    TChildProcess& next = programs.StartConsole("next", "wait 3\nclose\n");
    EXPECT_EQ(next.WaitForExit(60s), 0);
    EXPECT_FALSE(Has(programs.ErrorText("next"), "last run")) << programs.ErrorText("next");
    EXPECT_FALSE(Has(programs.SessionLogs(), "did not end cleanly"));
}

TEST(ConsoleDeath, AStopNotConfirmedAtAResetKeepsTheRecordOpenAndTheGuardianFinishesIt) {
    TConsoleAndRig programs;
    ASSERT_TRUE(programs.RigReady());
    TChildProcess& console =
        programs.StartConsole("run", "trigger Searchdevices1\n"
                                     "wait-log \"Finished searching devices\" 300\n"
                                     "select-row COM3\n"
                                     "choose ComboBoxDeviceFluid N2\n"
                                     "click ButtonApplyConfiguration\n"
                                     "type RtDoubleEditDirectControlDesiredFlow 40\n"
                                     "click ButtonApplyFlow\n"
                                     "wait-log \"Device ready: COM3 - \" 300\n"
                                     "wait 3\n"
                                     "touch flowing\n"
                                     "wait-file silenced 300\n"
                                     "trigger Resetsoftware1\n"
                                     "wait-log \"Stop not confirmed on COM3\" 120\n"
                                     "touch reset\n"
                                     "wait-file answering 300\n"
                                     "close\n");
    ASSERT_TRUE(TConsoleAndRig::WaitFor(
        [&] { return std::filesystem::exists(programs.Work() / "flowing"); }, SetUpBound))
        << programs.ErrorText("run");
    ASSERT_TRUE(Has(programs.State("COM3"), " setpoint=25600 "));

    // The reset's stop goes unanswered; the controller answers again only after it.
    programs.Control("silent COM3 on");
    std::ofstream(programs.Work() / "silenced").close();
    ASSERT_TRUE(TConsoleAndRig::WaitFor(
        [&] { return std::filesystem::exists(programs.Work() / "reset"); }, 120s))
        << programs.ErrorText("run");
    programs.Control("silent COM3 off");
    std::ofstream(programs.Work() / "answering").close();

    // The close looks clean (nothing runs a worker any more), but the run is not: code 3, and
    // the guardian, never told the run was clean, stops the controller after the console's end.
    EXPECT_EQ(console.WaitForExit(120s), 3);
    EXPECT_TRUE(TConsoleAndRig::WaitFor([&] { return programs.MfcAtRest("COM3"); }, SafeBound))
        << programs.State("COM3");
    EXPECT_TRUE(TConsoleAndRig::WaitFor(
        [&] { return Has(programs.ErrorText("run"), "orvello-guard: 1 of 1 stop(s) confirmed."); },
        SafeBound))
        << programs.ErrorText("run");
    EXPECT_TRUE(Has(programs.ErrorText("run"),
                    "orvello-guard: COM3 - Set 1 MFC A (its stop not confirmed, last asked for "))
        << programs.ErrorText("run");
}
