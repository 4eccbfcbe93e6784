// The pump driver against the simulated pump over a real pseudo-terminal.
#include "PSD4_InterfaceTestRig.h"

#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <chrono>

using Frames = std::vector<std::string>;

TEST(PSD4InterfacePty, ConnectsInitialisesAndKeepsItsSerialNumberInThePump) {
    ScopedRecordingMessages messages;
    TPumpTestRig rig(10.0);
    auto pump = ConnectedPump(rig, 0.2);
    EXPECT_EQ(pump->pState, ps_Connected);
    EXPECT_EQ(pump->StatusAsString(), "Ready, Connected");

    std::string feedback;
    pump->Initialize("ZN1R", feedback);
    EXPECT_TRUE(pump->pInitialized);
    EXPECT_EQ(pump->StatusAsString(), "Busy, No error");
    EXPECT_TRUE(pump->WaitUntilFree(15));
    EXPECT_EQ(pump->LastCommand, "Q");
    EXPECT_EQ(WithoutRepeatedPolls(rig.Received()), (Frames{"/1?22\\r", "/1ZN1R\\r", "/1Q\\r"}));

    std::size_t mark = rig.Received().size();
    EXPECT_EQ(pump->Serial(), 12345678);
    EXPECT_EQ(
        WithoutRepeatedPolls(rig.ReceivedSince(mark)),
        (Frames{"/1ZN1R\\r", "/1Q\\r", "/1e12R\\r", "/1?\\r", "/1e13R\\r", "/1?\\r", "/1A0R\\r"}));

    // The second move starts only once the first is done, so the first four digits are kept
    // small enough for the plunger to get there between two exchanges.
    EXPECT_TRUE(pump->SerialStore("23456789"));
    EXPECT_EQ(rig.Server().WithInstrument(
                  [](TSimInstrument& sim) { return static_cast<TSimPump&>(sim).StoredString(13); }),
              "A6789");
    EXPECT_EQ(pump->Serial(), 23456789);

    // The plunger is still on its way back to 0: the stop ends that move.
    mark = rig.Received().size();
    EXPECT_TRUE(pump->Stop());
    EXPECT_EQ(WithoutRepeatedPolls(rig.ReceivedSince(mark)), (Frames{"/1T\\r"}));
    EXPECT_FALSE(rig.Server().State().Busy);
    EXPECT_EQ(pump->StatusAsString(), "Ready, No error");
    EXPECT_TRUE(messages.recorder.Messages().empty());
}

TEST(PSD4InterfacePty, ErrorStateIsRecordedAndFailsTheStop) {
    ScopedRecordingMessages messages;
    TPumpTestRig rig(10.0);
    auto pump = ConnectedPump(rig, 0.2);
    std::string error;
    ASSERT_TRUE(rig.Server().SetStatusCodes({"I"}, error)) << error;
    EXPECT_FALSE(pump->Stop());
    EXPECT_EQ(
        pump->StatusAsString(),
        "Ready, Syringe overload - Occurs when the syringe encounters excessive back pressure");
    // The driver goes on sending what it is asked to.
    TSerialResponse reply;
    EXPECT_TRUE(pump->SendCommand("?", reply, true));
    EXPECT_EQ(reply.Response, "/0i0");
    EXPECT_EQ(reply.Status, "");

    ASSERT_TRUE(rig.Server().SetStatusCodes({}, error)) << error;
    EXPECT_TRUE(pump->Stop());
    EXPECT_EQ(WithoutRepeatedPolls(rig.Received()),
              (Frames{"/1?22\\r", "/1T\\r", "/1?\\r", "/1T\\r"}));
}

// A pump that goes away is reported in status texts; nothing blocks for longer than its polls.
TEST(PSD4InterfacePty, UnpluggedPumpGivesStatusTextsAndOneBox) {
    ScopedRecordingMessages messages;
    TPumpTestRig rig(10.0);
    auto pump = ConnectedPump(rig, 0.05);
    TSerialResponse reply;
    ASSERT_TRUE(pump->SendCommand("Q", reply, true));
    EXPECT_EQ(pump->StatusAsString(), "Ready, No error");

    rig.Server().Unplug();
    EXPECT_TRUE(pump->SendCommand("Q", reply, true));
    EXPECT_EQ(reply.Response, "");
    EXPECT_EQ(reply.Status, "Failed to setup Com port, port in use");
    EXPECT_EQ(pump->StatusAsString(), "Ready, No error");
    EXPECT_FALSE(pump->Stop()) << "a stop nobody answered is no stop";
    EXPECT_FALSE(pump->WaitUntilFree(15)) << "nobody said the pump was free";
    EXPECT_EQ(messages.recorder.Messages(), Frames{"Set pump states failed. Used string: "});

    TPSD4 absent;
    EXPECT_FALSE(absent.Connect(rig.Port()));
    EXPECT_EQ(absent.pState, ps_Undefined);
}

// The one test that takes the real time: a connected pump that falls silent is polled for the
// whole 15 s (each poll waits out its serial time-out) and raises one box, not one per poll.
TEST(PSD4InterfacePty, SilentPumpIsNotFreeAfterFifteenSeconds) {
    ScopedRecordingMessages messages;
    TPumpTestRig rig(1.0);
    TPSD4 pump;
    ASSERT_TRUE(pump.Connect(rig.Port()));
    rig.Server().SetSilent(true);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pump.WaitUntilFree(15));
    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(took, 15.0);
    EXPECT_LE(took, 20.0);
    EXPECT_GE(rig.Received().size(), 10u) << "the silent pump heard the polls";
    EXPECT_EQ(messages.recorder.Messages(), Frames{"Set pump states failed. Used string: "});
}

namespace {

// Lets every reply of the simulated pump pass through filter.
void FilterReplies(TPumpTestRig& rig, TSimPumpReplyFilter filter) {
    rig.Server().WithInstrument([&](TSimInstrument& sim) {
        static_cast<TSimPump&>(sim).SetReplyFilter(std::move(filter));
    });
}

} // namespace

// Replies that only look like the pump's: no frame, another pump's address, a status character
// outside the table after a good reply. None confirms a stop or a free pump.
TEST(PSD4InterfacePty, RepliesWithoutTheFrameOrAKnownStatusConfirmNothing) {
    for (const std::string bad : {"xx`garbage", "/9`", "A +`01", "/0Z"}) {
        SCOPED_TRACE(bad);
        ScopedRecordingMessages messages;
        TPumpTestRig rig(10.0);
        auto pump = ConnectedPump(rig, 0.02);
        TSerialResponse reply;
        ASSERT_TRUE(pump->SendCommand("Q", reply, true));
        ASSERT_TRUE(pump->LastReplyValid());
        ASSERT_EQ(pump->StatusAsString(), "Ready, No error");

        FilterReplies(rig, [bad](std::string_view, const std::string&) { return bad + "\r"; });
        EXPECT_FALSE(pump->Stop());
        EXPECT_FALSE(pump->LastReplyValid());
        EXPECT_FALSE(pump->WaitUntilFree(15)); // 0.3 s at this pace
        EXPECT_EQ(pump->LastCommand, "Q") << "no command after the good poll was acknowledged";
    }
}

// Each half of the serial number comes from a ready reply without error that holds digits
// only; anything else makes the serial unknown rather than a plausible wrong number.
TEST(PSD4InterfacePty, SerialIsUnknownUnlessBothHalvesAreReadyRepliesOfDigits) {
    const std::string keep = "keep";
    const struct {
        std::string first;
        std::string second;
        int serial;
    } cases[] = {
        {keep, keep, 12345678},   {"", keep, -1}, // the first query got no answer
        {"/0`-12", "/0`345", -1}, {"/0`12a4", keep, -1},
        {keep, "/0`", -1},        {"/0@1234", keep, -1},        // busy
        {"/0b1234", keep, -1},                                  // an error state
        {"/9`1234", keep, -1},                                  // another pump's address
        {"/0`123456", keep, -1},  {"/0`99999", "/0`99999", -1}, // beyond the range of the result
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + " | " + c.second);
        ScopedRecordingMessages messages;
        TPumpTestRig rig(10.0);
        auto pump = ConnectedPump(rig, 0.2);
        // Every position query after a stored move gets that half's reply.
        const std::string* half = &keep;
        FilterReplies(rig, [&](std::string_view command, const std::string& reply) {
            if (command == "e12R" || command == "e13R")
                half = command == "e12R" ? &c.first : &c.second;
            if (command != "?" || *half == keep)
                return reply;
            return half->empty() ? *half : *half + "\r";
        });
        EXPECT_EQ(pump->Serial(), c.serial);
    }
}
