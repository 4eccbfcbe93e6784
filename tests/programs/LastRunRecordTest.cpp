// A start after a run that did not end cleanly, from records written by hand: it stops only what
// answers as recorded, names what it leaves alone, and acts on no record it cannot trust.
#include "ConsoleAndRig.h"

#include "safety/RunRecord.h"
#include "safety/RunRecordFile.h"

using namespace std::chrono_literals;

namespace {

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TRecordedDevice Recorded(const std::string& port, const std::string& kind,
                         const std::string& serial, double setpoint) {
    TRecordedDevice device;
    device.Port = port;
    device.Kind = kind;
    device.Name = "recorded " + port;
    device.Identity = serial;
    device.Setpoint_pct = setpoint;
    device.PumpProgram = kind == "Pump" ? "gIV6000A24000OV1000A0GR" : "";
    return device;
}

// Writes the record where the console of this port folder looks for it; its path.
std::string PlaceRecord(const TConsoleAndRig& programs, const std::string& text) {
    ::setenv("XDG_STATE_HOME", programs.StateHome().c_str(), 1);
    const std::string path = RunRecordPath(programs.PortFolder());
    ::unsetenv("XDG_STATE_HOME");
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << text;
    return path;
}

TRunRecord OpenRecord(const TConsoleAndRig& programs) {
    TRunRecord record;
    record.PortFolder = programs.PortFolder();
    record.ConsolePid = 99999;
    record.LastHeard = 46367.5;
    return record;
}

} // namespace

TEST(LastRunRecord, ARenumberedPortIsNotTouchedAndASilentOneIsNamed) {
    TConsoleAndRig programs;
    ASSERT_TRUE(programs.RigReady());
    programs.Control("silent COM4 on");
    TRunRecord record = OpenRecord(programs);
    // After a reboot COM3 answers with set 2's MFC A serial; COM4 stays silent.
    record.Devices = {Recorded("COM3", "MFCA", "183311", 40),
                      Recorded("COM4", "MFCB", "183302", 10),
                      Recorded("COM5", "Pump", "12345678", 50)};
    PlaceRecord(programs, FormatRunRecord(record));

    TChildProcess& console = programs.StartConsole(
        "start", "wait-log \"stop(s) confirmed; no program of the last run is resumed\" 60\n"
                 "close\n");
    EXPECT_EQ(console.WaitForExit(90s), 0);
    const std::string errors = programs.ErrorText("start");
    EXPECT_TRUE(Has(errors, "COM3 - recorded COM3 (setpoint 40 %): not touched, another "
                            "instrument answers there (serial 183301, recorded 183311)"))
        << errors;
    EXPECT_TRUE(Has(errors, "COM4 - recorded COM4 (setpoint 10 %): stop not confirmed, no answer "
                            "within 8 s; the device may still be running"))
        << errors;
    EXPECT_TRUE(Has(errors, "COM5 - recorded COM5 (setpoint 50 %, program "
                            "gIV6000A24000OV1000A0GR): stopped, terminated, not busy"))
        << errors;
    EXPECT_TRUE(Has(errors, "1 of 3 stop(s) confirmed")) << errors;
    // COM3 heard the question and nothing else.
    for (const std::string& command : programs.Commands("COM3"))
        EXPECT_EQ(command, "A??M5\\r");
    EXPECT_FALSE(programs.Commands("COM3").empty());
}

class UnusableRecord : public ::testing::TestWithParam<const char*> {};

TEST_P(UnusableRecord, IsNamedAndNotActedOn) {
    TConsoleAndRig programs;
    ASSERT_TRUE(programs.RigReady());
    TRunRecord record = OpenRecord(programs);
    record.Devices = {Recorded("COM3", "MFCA", "183301", 40)};
    std::string text = FormatRunRecord(record);
    const std::string which = GetParam();
    if (which == "torn") {
        text = text.substr(0, text.size() - 20);
    } else if (which == "foreign") {
        record.PortFolder = "/run/user/4242/orvello-rig";
        text = FormatRunRecord(record);
    } else if (which == "port_outside") {
        record.Devices[0].Port = "../../dev/ttyS0";
        text = FormatRunRecord(record);
    }
    const std::string path = PlaceRecord(programs, text);

    TChildProcess& console = programs.StartConsole("start", "wait 4\nclose\n");
    EXPECT_EQ(console.WaitForExit(60s), 0);
    const std::string errors = programs.ErrorText("start");
    EXPECT_TRUE(Has(errors, "The run record " + path + " cannot be used (")) << errors;
    EXPECT_TRUE(Has(errors, "nothing was stopped from it")) << errors;
    EXPECT_TRUE(programs.Commands("COM3").empty());
    // Kept aside for whoever wants to look; the run's own record took its place.
    EXPECT_EQ(TConsoleAndRig::Read(path + ".unreadable"), text);
}

INSTANTIATE_TEST_SUITE_P(Records, UnusableRecord,
                         ::testing::Values("torn", "foreign", "port_outside"));

TEST(LastRunRecord, ASecondConsoleOnTheSameRigLeavesTheFirstsRecordAlone) {
    TConsoleAndRig programs;
    ASSERT_TRUE(programs.RigReady());
    TChildProcess& first = programs.StartConsole("first", "wait 60\nclose\n");
    ASSERT_TRUE(TConsoleAndRig::WaitFor([&] { return programs.GuardianPid() > 0; }, 30s));
    TChildProcess& second = programs.StartConsole("second", "wait 3\nclose\n");
    EXPECT_EQ(second.WaitForExit(60s), 0);
    const std::string logs = programs.SessionLogs();
    EXPECT_TRUE(Has(logs, "Crash protection is off: another console of this port folder runs"))
        << logs;
    EXPECT_FALSE(Has(logs, "did not end cleanly")) << logs;
    EXPECT_TRUE(first.Signal(SIGTERM));
    EXPECT_EQ(first.WaitForExit(60s), 0);
}
