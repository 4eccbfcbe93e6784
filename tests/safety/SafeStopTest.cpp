// Stopping instruments nobody drives any more, against the simulated rig on pseudo-terminals: an
// instrument that answers as recorded is stopped and its stop read back; one that answers as
// another is left alone; silence and a port still held are waited out within the bound.
#include "safety/SafeStop.h"

#include "SafetyRig.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace std::chrono_literals;

TEST(SafeStop, StopsWhatAnswersAsRecordedAndLeavesEveryOtherInstrumentAlone) {
    TSafetyRig rig;
    ASSERT_TRUE(rig.Started()) << rig.Error();
    rig.BringToOutput();

    TSafeStopOptions options;
    options.Bound = 3000ms;
    TRecordedDevice renumbered = TSafetyRig::Mfc("183311"); // set 2's serial, on set 1's port
    renumbered.Port = "COM4";
    TRecordedDevice pumpOnAnMfc = TSafetyRig::Pump("COM4");
    pumpOnAnMfc.Name = "a pump that was there once";
    const std::vector<TSafeStopResult> results = StopRecordedDevices(
        {TSafetyRig::Mfc(), TSafetyRig::Pump(), renumbered, pumpOnAnMfc}, options);
    ASSERT_EQ(results.size(), 4u);

    EXPECT_EQ(results[0].Outcome, TSafeStopOutcome::Stopped) << SafeStopLine(results[0]);
    EXPECT_NE(rig.State("COM3").find(" setpoint=0 "), std::string::npos) << rig.State("COM3");
    EXPECT_EQ(results[1].Outcome, TSafeStopOutcome::Stopped) << SafeStopLine(results[1]);
    EXPECT_NE(rig.State("COM5").find(" busy=0 "), std::string::npos) << rig.State("COM5");
    EXPECT_GE(rig.Received("COM5", "/1T\\r"), 1);

    // MFC B answers with its own serial: named, and sent nothing but the question.
    EXPECT_EQ(results[2].Outcome, TSafeStopOutcome::DifferentInstrument);
    EXPECT_EQ(SafeStopLine(results[2]),
              "COM4 - Set 1 MFC A (setpoint 40 %): not touched, another instrument answers there "
              "(serial 183302, recorded 183311)");
    // A controller does not answer a pump's frames: no answer, and no terminate reached it
    // as anything it would act on.
    EXPECT_EQ(results[3].Outcome, TSafeStopOutcome::NoAnswer);
    EXPECT_NE(SafeStopLine(results[3])
                  .find("stop not confirmed, no answer within 3 s; the device "
                        "may still be running"),
              std::string::npos)
        << SafeStopLine(results[3]);
    EXPECT_EQ(rig.Received("COM4", "A0\\r"), 0);
    EXPECT_EQ(rig.Received("COM4", "/1T\\r"), 0);
    EXPECT_NE(rig.State("COM4").find(" setpoint=0 "), std::string::npos);
}

TEST(SafeStop, ASilentInstrumentIsNamedNotConfirmedAtTheBound) {
    TSafetyRig rig;
    ASSERT_TRUE(rig.Started()) << rig.Error();
    rig.BringToOutput();
    rig.Control("silent COM3 on");
    TSafeStopOptions options;
    options.Bound = 1500ms;
    const auto start = std::chrono::steady_clock::now();
    const TSafeStopResult result = StopRecordedDevice(TSafetyRig::Mfc(), options);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.Outcome, TSafeStopOutcome::NoAnswer);
    EXPECT_FALSE(SafeStopIsConfirmed(result));
    EXPECT_GE(took, 1500ms);
    EXPECT_LT(took, 5000ms); // the bound plus one exchange, whatever the load
}

TEST(SafeStop, APortTheDyingConsoleStillHoldsIsTakenOnceReleased) {
    TSafetyRig rig;
    ASSERT_TRUE(rig.Started()) << rig.Error();
    rig.BringToOutput();
    // The exclusive lock every exchange takes, as a worker killed in mid-exchange held it until
    // the kernel closed its descriptors.
    const int held = ::open((rig.PortFolder() + "/COM3").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    std::thread release([held] {
        std::this_thread::sleep_for(800ms);
        ::close(held);
    });
    TSafeStopOptions options;
    options.Bound = 5000ms;
    const TSafeStopResult result = StopRecordedDevice(TSafetyRig::Mfc(), options);
    release.join();
    EXPECT_EQ(result.Outcome, TSafeStopOutcome::Stopped) << SafeStopLine(result);
    EXPECT_GE(result.Seconds, 0.8);
    EXPECT_NE(rig.State("COM3").find(" setpoint=0 "), std::string::npos);
}
