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
    // The frames are compared one by one here; the status polls have a test of their own.
    worker.StatusPoll_s = 3600;
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

// With nothing to send the worker asks the pump for its status now and then, without sending
// its program again: a pump that stops answering shows as an answer time that stands still, and
// its return as one that moves on.
TEST(PSD4ThreadPty, AnIdleWorkerPollsThePumpSoThatItsSilenceShows) {
    ScopedRecordingMessages messages;
    TScopedQueueGate scoped;
    auto& gate = scoped.gate;
    TPumpTestRig rig(10.0);
    TPSD4Thread worker;
    ASSERT_NO_FATAL_FAILURE(Prepare(worker, rig));
    worker.StatusPoll_s = 0.2;
    worker.Pump->COM->fReadoutTimeoutMS = 300; // a silent pump is given up on sooner
    worker.GUIOut.Command = ProgramA;
    worker.GUIOut.Setpoint = 0.4;
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 20s));

    const std::string poll = "/1Q\\r";
    const auto pollsSince = [&](std::size_t mark) {
        return CountOf(rig.ReceivedSince(mark), poll);
    };
    std::size_t mark = rig.Received().size();
    double answered = worker.GUIIn.AnswerTime;
    EXPECT_TRUE(ServeUntilExplained(
        gate, [&] { return pollsSince(mark) >= 2 && worker.GUIIn.AnswerTime > answered; }, 20s));
    for (const std::string& frame : rig.ReceivedSince(mark))
        EXPECT_EQ(frame, poll) << "a steady pump gets status polls only";

    // Silent: the answer time stands still. A poll is handed over before the next one is sent,
    // so once the second poll since the silence has arrived the first one's (lost) answer is in,
    // and once the third has, the second one's.
    rig.Server().SetSilent(true);
    mark = rig.Received().size();
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return pollsSince(mark) >= 2; }, 20s));
    answered = worker.GUIIn.AnswerTime;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return pollsSince(mark) >= 3; }, 20s));
    EXPECT_EQ(worker.GUIIn.AnswerTime, answered);

    rig.Server().SetSilent(false);
    EXPECT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.AnswerTime > answered; }, 20s));
    EXPECT_EQ(worker.Pump->LastCommand, ProgramA) << "polls leave the program alone";
    EXPECT_EQ(messages.recorder.Messages(), Frames{"Set pump states failed. Used string: "})
        << "the driver's one box for the silence";

    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.IsTerminated; }, 20s));
    worker.Join();
}
