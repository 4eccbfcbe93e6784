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
using Frames = std::vector<std::string>;

namespace {

const std::string Program = "gIV6000A24000OV82A0GR";
const std::string ProgramFrame = "/1" + Program + "\\r";
const std::string OtherProgram = "gIV6000A24000OV1000gD1M268G24000GR";

void FilterReplies(TPumpTestRig& rig, TSimPumpReplyFilter filter) {
    rig.Server().WithInstrument([&](TSimInstrument& sim) {
        static_cast<TSimPump&>(sim).SetReplyFilter(std::move(filter));
    });
}

void LoseFrames(TPumpTestRig& rig, TSimPumpFrameFilter lost) {
    rig.Server().WithInstrument(
        [&](TSimInstrument& sim) { static_cast<TSimPump&>(sim).SetLostFrames(std::move(lost)); });
}

// Prepares and starts the worker, then serves until its first status.
::testing::AssertionResult StartedWithFirstStatus(TPSD4Thread& worker, TPumpTestRig& rig,
                                                  QueueMainThreadGate& gate) {
    Prepare(worker, rig);
    if (::testing::Test::HasFatalFailure())
        return ::testing::AssertionFailure() << "the pump could not be prepared";
    worker.Start();
    return ServeUntilExplained(
        gate, [&] { return worker.GUIIn.DataTime > 0; }, 60s);
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

// The line loses the program on its way: the pump neither runs nor answers it. Not applied, so
// sent again on every pass; the operator hears of the fault once, although the pump acknowledges
// the stop before each attempt.
TEST(PSD4ThreadSafeStop, ProgramThePumpNeverGotIsSentAgainAndToldOnce) {
    ScopedRecordingMessages messages;
    TScopedQueueGate scoped;
    auto& gate = scoped.gate;
    TPumpTestRig rig(10.0);
    TPSD4Thread worker;
    ASSERT_TRUE(StartedWithFirstStatus(worker, rig, gate));
    const auto watched = WatchWorker(worker);

    LoseFrames(rig, [](std::string_view command) { return command == Program; });
    std::size_t mark = rig.Received().size();
    worker.GUIOut.Command = Program;
    worker.GUIOut.Setpoint = 0.4;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return CountOf(rig.ReceivedSince(mark), ProgramFrame) >= 3; }, 60s))
        << ::testing::PrintToString(rig.ReceivedSince(mark));
    EXPECT_EQ(worker.GUIIn.Setpoint, 0.0)
        << "the screen must not show a program the pump did not take";
    EXPECT_EQ(messages.recorder.Messages(), Frames{"Set pump states failed. Used string: "});

    // It gets through at last: applied once, and not sent again.
    LoseFrames(rig, {});
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 60s))
        << "waited for the program to be applied; frames: "
        << ::testing::PrintToString(WithoutRepeatedPolls(rig.Received()));
    mark = rig.Received().size();
    gate.ServeFor(400ms);
    EXPECT_EQ(CountOf(rig.ReceivedSince(mark), ProgramFrame), 0);
    EXPECT_EQ(worker.Pump->LastCommand, Program);
    EXPECT_TRUE(rig.Server().State().Busy);
    EXPECT_EQ(messages.recorder.Messages().size(), 1u);

    worker.GUIOut.ToTerminate = true;
    ASSERT_TRUE(ServeUntilExplained(
        gate, [&] { return worker.GUIIn.IsTerminated; }, 60s))
        << "waited for the worker to end; aMessage: " << worker.GUIIn.aMessage;
    worker.Join();
    EXPECT_TRUE(worker.GUIIn.SafeStopConfirmed);
}

// The pump runs the program, but its reply is lost or garbled. The next pass finds the pump
// running it and takes it as applied instead of stopping and restarting it on every pass.
TEST(PSD4ThreadSafeStop, ProgramWhoseReplyIsLostIsNotRestarted) {
    for (const std::string lost : {"", "xx`garbage"}) {
        SCOPED_TRACE("reply \"" + lost + "\"");
        ScopedRecordingMessages messages;
        TScopedQueueGate scoped;
        auto& gate = scoped.gate;
        TPumpTestRig rig(10.0);
        TPSD4Thread worker;
        ASSERT_TRUE(StartedWithFirstStatus(worker, rig, gate));
        const auto watched = WatchWorker(worker);

        FilterReplies(rig, [lost](std::string_view command, const std::string& reply) {
            return command == Program ? lost + (lost.empty() ? "" : "\r") : reply;
        });
        std::size_t mark = rig.Received().size();
        worker.GUIOut.Command = Program;
        worker.GUIOut.Setpoint = 0.4;
        ASSERT_TRUE(ServeUntilExplained(
            gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 20s))
            << ::testing::PrintToString(rig.ReceivedSince(mark));
        gate.ServeFor(400ms);
        const Frames since = rig.ReceivedSince(mark);
        EXPECT_EQ(CountOf(since, ProgramFrame), 1) << ::testing::PrintToString(since);
        EXPECT_EQ(CountOf(since, "/1TR\\r"), 1) << ::testing::PrintToString(since);
        EXPECT_EQ(worker.Pump->LastCommand, Program);
        EXPECT_TRUE(rig.Server().State().Busy);
        EXPECT_EQ(messages.recorder.Messages(),
                  Frames{"Set pump states failed. Used string: " + lost});
    }
}

// "/0b" (ready, invalid command) and "/0i" (ready, overload) answer a program: the pump did not
// take it. Not applied, sent again, and the operator is told once per episode, which ends when a
// program is acknowledged.
TEST(PSD4ThreadSafeStop, ProgramAnsweredWithAnErrorStatusIsNotApplied) {
    const struct {
        std::string reply;
        std::string state;
    } cases[] = {
        {"/0b", "Ready, Invalid command - Occurs when an unrecognized command is used"},
        {"/0i", "Ready, Syringe overload - Occurs when the syringe encounters excessive back "
                "pressure"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reply);
        ScopedRecordingMessages messages;
        TScopedQueueGate scoped;
        auto& gate = scoped.gate;
        TPumpTestRig rig(10.0);
        TPSD4Thread worker;
        ASSERT_TRUE(StartedWithFirstStatus(worker, rig, gate));
        const auto watched = WatchWorker(worker);
        const auto refuse = [&](const std::string& program) {
            FilterReplies(rig, [&c, program](std::string_view command, const std::string& reply) {
                return command == program ? c.reply + "\r" : reply;
            });
        };

        refuse(Program);
        std::size_t mark = rig.Received().size();
        worker.GUIOut.Command = Program;
        worker.GUIOut.Setpoint = 0.4;
        ASSERT_TRUE(ServeUntilExplained(
            gate, [&] { return CountOf(rig.ReceivedSince(mark), ProgramFrame) >= 3; }, 20s))
            << ::testing::PrintToString(rig.ReceivedSince(mark));
        EXPECT_EQ(worker.GUIIn.Setpoint, 0.0);
        EXPECT_NE(worker.Pump->LastCommand, Program);
        const std::string told = "Pump on " + rig.Port() +
                                 " - Set 1 Humidifier did not apply its command: " + c.state +
                                 ". Used string: " + c.reply;
        EXPECT_EQ(messages.recorder.Messages(), Frames{told});

        FilterReplies(rig, {});
        ASSERT_TRUE(ServeUntilExplained(
            gate, [&] { return worker.GUIIn.Setpoint == 0.4; }, 20s));
        mark = rig.Received().size();
        gate.ServeFor(400ms);
        EXPECT_EQ(CountOf(rig.ReceivedSince(mark), ProgramFrame), 0);

        // A later refusal is a new episode: the operator hears of it again.
        refuse(OtherProgram);
        worker.GUIOut.Command = OtherProgram;
        worker.GUIOut.Setpoint = 0.01;
        ASSERT_TRUE(ServeUntilExplained(
            gate, [&] { return messages.recorder.Messages().size() == 2; }, 20s));
    }
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
