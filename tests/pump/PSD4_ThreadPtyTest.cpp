// The pump worker driving the simulated pump over a real pseudo-terminal, with the test's main
// thread serving its hand-overs as the console's event loop would.
#include "PumpWorkerFixture.h"

#include "platform/RecordingMessages.h"
#include "pump/PSD4_Thread.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace std::chrono_literals;
using Frames = std::vector<std::string>;

namespace {

const std::string ProgramA = "gIV6000A24000OV82A0GR";
const std::string ProgramB = "gIV6000A24000OV1000gD1M268G24000GR";

} // namespace

TEST(PSD4ThreadPty, KeepsThePumpOnTheRequestedProgramAndStopsItOnTerminate) {
    ScopedRecordingMessages messages;
    TScopedQueueGate scoped;
    auto& gate = scoped.gate;
    TPumpTestRig rig(10.0);

    // What the worker's creator does before it starts the worker.
    TPSD4Thread worker;
    ASSERT_NO_FATAL_FAILURE(Prepare(worker, rig));
    worker.Start();
    const auto watched = WatchWorker(worker);

    // The first pass finds the empty request different from the set-up's last poll.
    std::size_t mark = rig.Received().size();
    const auto receivedSince = [&](std::size_t from, const Frames& expected) {
        return ServeUntilExplained(
            gate, [&] { return rig.ReceivedSince(from) == expected; }, 20s);
    };
    EXPECT_TRUE(receivedSince(mark, {"/1TR\\r", "/1\\r"}))
        << ::testing::PrintToString(rig.ReceivedSince(mark));

    // A request repeated at every tick is sent once; the status follows it.
    mark = rig.Received().size();
    worker.GUIOut.Command = ProgramA;
    worker.GUIOut.Setpoint = 0.4;
    EXPECT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 20s));
    gate.ServeFor(400ms);
    EXPECT_EQ(rig.ReceivedSince(mark), (Frames{"/1TR\\r", "/1" + ProgramA + "\\r"}));
    EXPECT_TRUE(rig.Server().State().Busy);
    EXPECT_GT(worker.GUIIn.DataTime, 0.0);

    // A changed request: first the stop, then the new program.
    mark = rig.Received().size();
    worker.GUIOut.Command = ProgramB;
    worker.GUIOut.Setpoint = 0.01;
    EXPECT_TRUE(receivedSince(mark, {"/1TR\\r", "/1" + ProgramB + "\\r"}))
        << ::testing::PrintToString(rig.ReceivedSince(mark));
    EXPECT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.01; }, 20s));

    // The console's program stop.
    mark = rig.Received().size();
    worker.GUIOut.Command = "TR";
    worker.GUIOut.Setpoint = 0;
    EXPECT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.0; }, 20s));
    gate.ServeFor(200ms);
    EXPECT_EQ(rig.ReceivedSince(mark), Frames{"/1TR\\r"});
    EXPECT_FALSE(rig.Server().State().Busy);

    mark = rig.Received().size();
    worker.GUIOut.Command = ProgramA;
    worker.GUIOut.Setpoint = 0.4;
    EXPECT_TRUE(receivedSince(mark, {"/1TR\\r", "/1" + ProgramA + "\\r"}));

    // A pump in an error state cannot confirm its stop: the worker says so and tries again.
    std::string error;
    ASSERT_TRUE(rig.Server().SetStatusCodes({"J"}, error)) << error;
    mark = rig.Received().size();
    worker.GUIOut.ToTerminate = true;
    EXPECT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.aMessage == "Failed to terminate"; }, 20s));
    EXPECT_FALSE(worker.GUIIn.IsTerminated);

    // Once the pump answers cleanly the worker stops it and delivers its end in its last
    // hand-over. From the terminate request on, the pump got "T" and polls only, although the
    // request still holds a program.
    ASSERT_TRUE(rig.Server().SetStatusCodes({}, error)) << error;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.IsTerminated; }, 20s));
    worker.Join();
    EXPECT_EQ(worker.GUIIn.Command, "TR");
    EXPECT_TRUE(worker.GUIIn.SafeStopConfirmed);
    for (const auto& frame : rig.ReceivedSince(mark))
        EXPECT_TRUE(frame == "/1T\\r" || frame == "/1Q\\r") << frame;
    EXPECT_FALSE(rig.Server().State().Busy);
    EXPECT_EQ(gate.ServePending(), 0);
    EXPECT_TRUE(messages.recorder.Messages().empty());
}

// A pump unplugged while it dispenses cannot confirm its stop; the worker reports that and ends
// after its give-up time instead of holding the shutdown forever.
TEST(PSD4ThreadPty, UnpluggedPumpEndsTheWorkerWithFailedToTerminate) {
    ScopedRecordingMessages messages;
    TScopedQueueGate scoped;
    auto& gate = scoped.gate;
    TPumpTestRig rig(10.0);
    TPSD4Thread worker;
    ASSERT_NO_FATAL_FAILURE(Prepare(worker, rig));
    worker.TerminateGiveUp_s = 1.0;
    worker.GUIOut.Command = ProgramA;
    worker.GUIOut.Setpoint = 0.4;
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 20s));

    rig.Server().Unplug();
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.IsTerminated; }, 30s));
    worker.Join();
    EXPECT_EQ(worker.GUIIn.aMessage, "Failed to terminate");
    EXPECT_FALSE(worker.GUIIn.SafeStopConfirmed);
    EXPECT_EQ(worker.GUIIn.Command, "") << "the pump was not seen to stop";
    EXPECT_EQ(messages.recorder.Messages(), Frames{"Set pump states failed. Used string: "});
}
