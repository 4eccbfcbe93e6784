// What a pump worker counts as done: a program only once the pump acknowledged it, a stop only
// once the pump confirmed it; and a worker nobody serves any more still stops its pump and ends.
#include "PumpWorkerFixture.h"

#include "platform/RecordingMessages.h"
#include "pump/PSD4_Thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string Program = "gIV6000A24000OV82A0GR";
const std::string ProgramFrame = "/1" + Program + "\\r";

void FilterReplies(TPumpTestRig& rig, TSimPumpReplyFilter filter) {
    rig.Server().WithInstrument([&](TSimInstrument& sim) {
        static_cast<TSimPump&>(sim).SetReplyFilter(std::move(filter));
    });
}

// Waits, without serving, until the worker waits in its next hand-over.
::testing::AssertionResult WaitsInHandOver(const QueueMainThreadGate& gate) {
    for (int i = 0; i < 12000 && gate.Pending() == 0; ++i)
        std::this_thread::sleep_for(5ms);
    if (gate.Pending() == 1)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "waited 60 s for the worker's hand-over; hand-overs queued: " << gate.Pending();
}

} // namespace

TEST(PSD4ThreadSafeStop, ProgramThePumpDidNotAcknowledgeIsSentAgain) {
    ScopedRecordingMessages messages;
    TScopedQueueGate scoped;
    auto& gate = scoped.gate;
    TPumpTestRig rig(10.0);
    TPSD4Thread worker;
    ASSERT_NO_FATAL_FAILURE(Prepare(worker, rig));
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.DataTime > 0; }, 60s))
        << "waited for the worker's first status";

    // The program's reply is no frame of the pump: not applied, so sent again.
    FilterReplies(rig, [](std::string_view command, const std::string& reply) {
        return command == Program ? std::string("xx`garbage\r") : reply;
    });
    std::size_t mark = rig.Received().size();
    worker.GUIOut.Command = Program;
    worker.GUIOut.Setpoint = 0.4;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return CountOf(rig.ReceivedSince(mark), ProgramFrame) >= 3; }, 60s))
        << ::testing::PrintToString(rig.ReceivedSince(mark));
    EXPECT_EQ(worker.GUIIn.Setpoint, 0.0)
        << "the screen must not show a program the pump did not take";

    // Acknowledged at last: applied once, and not sent again.
    FilterReplies(rig, {});
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 60s))
        << "waited for the program to be applied; frames: "
        << ::testing::PrintToString(WithoutRepeatedPolls(rig.Received()));
    mark = rig.Received().size();
    gate.ServeFor(400ms);
    EXPECT_EQ(CountOf(rig.ReceivedSince(mark), ProgramFrame), 0);
    EXPECT_EQ(worker.Pump->LastCommand, Program);

    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.IsTerminated; }, 60s))
        << "waited for the worker to end; aMessage: " << worker.GUIIn.aMessage;
    worker.Join();
    EXPECT_TRUE(worker.GUIIn.SafeStopConfirmed);
}

// A status character outside the table answers the stop: no confirmation, so the worker ends
// after its give-up time reporting the stop as not confirmed.
TEST(PSD4ThreadSafeStop, StopAnsweredWithAnUnknownStatusIsNotConfirmed) {
    ScopedRecordingMessages messages;
    TScopedQueueGate scoped;
    auto& gate = scoped.gate;
    TPumpTestRig rig(10.0);
    TPSD4Thread worker;
    ASSERT_NO_FATAL_FAILURE(Prepare(worker, rig));
    worker.TerminateGiveUp_s = 1.0;
    worker.GUIOut.Command = Program;
    worker.GUIOut.Setpoint = 0.4;
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 60s))
        << "waited for the program to be applied; frames: "
        << ::testing::PrintToString(WithoutRepeatedPolls(rig.Received()));

    FilterReplies(rig, [](std::string_view, const std::string&) { return std::string("/0Z\r"); });
    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.IsTerminated; }, 60s))
        << "waited for the worker to give up; aMessage: " << worker.GUIIn.aMessage;
    worker.Join();
    EXPECT_FALSE(worker.GUIIn.SafeStopConfirmed);
    EXPECT_EQ(worker.GUIIn.aMessage, "Failed to terminate");
    EXPECT_NE(worker.GUIIn.Command, "TR");
}

// Destroying a worker that waits in a hand-over nobody serves returns, after the pump stopped.
TEST(PSD4ThreadSafeStop, DestroyingAWorkerWaitingInItsHandOverStopsThePump) {
    ScopedRecordingMessages messages;
    TScopedQueueGate scoped;
    auto& gate = scoped.gate;
    TPumpTestRig rig(10.0);
    auto worker = std::make_unique<TPSD4Thread>();
    ASSERT_NO_FATAL_FAILURE(Prepare(*worker, rig));
    worker->GUIOut.Command = Program;
    worker->GUIOut.Setpoint = 0.4;
    worker->Start();
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker->GUIIn.Setpoint == 0.4; }, 60s))
        << "waited for the program to be applied; frames: "
        << ::testing::PrintToString(WithoutRepeatedPolls(rig.Received()));
    ASSERT_TRUE(rig.Server().State().Busy);
    ASSERT_TRUE(WaitsInHandOver(gate));

    const std::size_t mark = rig.Received().size();
    worker.reset();
    EXPECT_EQ(gate.Pending(), 0);
    EXPECT_FALSE(rig.Server().State().Busy);
    EXPECT_EQ(WithoutRepeatedPolls(rig.ReceivedSince(mark)).front(), "/1T\\r");
}

// A closed gate lets the worker go as well: it stops its pump and ends on its own.
TEST(PSD4ThreadSafeStop, ClosedGateEndsTheWorkerWithItsPumpStopped) {
    ScopedRecordingMessages messages;
    TScopedQueueGate scoped;
    auto& gate = scoped.gate;
    TPumpTestRig rig(10.0);
    TPSD4Thread worker;
    ASSERT_NO_FATAL_FAILURE(Prepare(worker, rig));
    worker.GUIOut.Command = Program;
    worker.GUIOut.Setpoint = 0.4;
    worker.Start();
    const auto watched = WatchWorker(worker);
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 60s))
        << "waited for the program to be applied; frames: "
        << ::testing::PrintToString(WithoutRepeatedPolls(rig.Received()));
    ASSERT_TRUE(WaitsInHandOver(gate));

    gate.Close();
    worker.Join();
    EXPECT_TRUE(worker.ThreadOut.IsTerminated);
    EXPECT_TRUE(worker.ThreadOut.SafeStopConfirmed);
    EXPECT_FALSE(rig.Server().State().Busy);
}
