// The pump driver's own logic: status decoding, its texts, and what a driver without a pump does.
#include "pump/PSD4_Interface.h"
#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <stdexcept>

namespace {

TSerialResponse Reply(const std::string& text) {
    TSerialResponse r;
    r.Init();
    r.Response = text;
    return r;
}

} // namespace

TEST(PSD4Interface, StatusCharacterSetsStateAndBusyFlag) {
    ScopedRecordingMessages messages;
    struct Case {
        std::string reply;
        EnumPumpState state;
        bool busy;
    };
    // Every row starts from the previous row's state, so the "unchanged" rows check that.
    const Case cases[] = {
        {"/0`", ps_No_error, false},
        {"/0@", ps_No_error, true},
        {"/0b", ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, false},
        {"/0E", ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, false},
        {"/0B12", ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, true},
        {"/0n", ps_Invalid_command__Occurs_when_an_unrecognized_command_is_used, false},
        {"/0a",
         ps_Initialization_error__Occurs_when_a_syringe_or_valve_error_happens_during_initialization,
         false},
        {"/0C", ps_Invalid_operand__Occurs_when_and_invalid_parameter_is_given_with_a_command,
         true},
        {"/0d",
         ps_Invalid_command_sequence__Occurs_when_the_command_communication_protocol_is_incorrect,
         false},
        {"/0F", ps_EEPROM_failure__Occurs_when_the_EEPROM_is_faulty, true},
        {"/0g", ps_Syringe_not_initialized__Occurs_when_the_syringefails_to_initialize, false},
        {"/0I", ps_Syringe_overload__Occurs_when_the_syringe_encounters_excessive_back_pressure,
         true},
        {"/0j", ps_Valve_overload__Occurs_when_the_valve_drive_encounters_excessive_back_pressure,
         false},
        {"/0K",
         ps_Syringe_move_not_allowed__When_the_valve_is_in_the_bypass_or_throughput_position_syringe_move_commands_are_not_allowed,
         true},
        {"/0o", ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full, false},
        {"/0\x91", ps_No_error, false},
        {"/0O", ps_Pump_is_busy__Occurs_when_the_command_buffer_is_full, true},
        {"/0\xE2\x80\x98"
         "255",
         ps_No_error, false},
        {"/07", ps_No_error, false},
        {"/0H", ps_No_error, false},
    };
    TPSD4 pump;
    for (const Case& c : cases) {
        pump.SetStatus(Reply(c.reply));
        EXPECT_EQ(pump.pState, c.state) << c.reply;
        EXPECT_EQ(pump.pBusy, c.busy) << c.reply;
    }
    EXPECT_TRUE(messages.recorder.Messages().empty());
}

// Only the master's frame with a status character of the table makes a valid reply. A reply
// without the frame counts as none; an unknown status character is decoded by the table (the
// state stays) but confirms nothing.
TEST(PSD4Interface, OnlyFramedRepliesWithAKnownStatusAreValid) {
    ScopedRecordingMessages messages;
    TPSD4 pump;
    pump.SetStatus(Reply("/0@"));
    EXPECT_TRUE(pump.LastReplyValid());
    const struct {
        std::string reply;
        bool valid;
        bool busy;
    } cases[] = {
        {"/0`12", true, false}, {"/0\xE2\x80\x98", true, false}, {"/0@12", true, true},
        {"/0Z", false, false},  {"/07", false, false},           {"xx`garbage", false, false},
        {"/9@", false, false},  {"A +`01", false, false},        {"0/`", false, false},
    };
    for (const auto& c : cases) {
        pump.pState = ps_No_error;
        pump.SetStatus(Reply(c.reply));
        EXPECT_EQ(pump.LastReplyValid(), c.valid) << c.reply;
        EXPECT_EQ(pump.pBusy, c.busy) << c.reply;
        EXPECT_EQ(pump.pState, ps_No_error) << c.reply;
    }
    // One box for the run of replies that were no frames at all.
    EXPECT_EQ(messages.recorder.Messages(),
              std::vector<std::string>{"Set pump states failed. Used string: xx`garbage"});
}

TEST(PSD4Interface, SerialComesOnlyFromReadyRepliesOfDigits) {
    const struct {
        const char* first;
        const char* second;
        int serial;
    } cases[] = {
        {"/0`1234", "/0`5678", 12345678},
        {"/0\xE2\x80\x98"
         "1234",
         "/0`0", 12340},
        {"", "/0`5678", -1},
        {"/0`-12", "/0`345", -1},
        {"/0`", "/0`5678", -1},
        {"/0`1234", "/0`5678x", -1},
        {"/0`1234 ", "/0`5678", -1},
        {"/0@1234", "/0`5678", -1},
        {"/0c1234", "/0`5678", -1},
        {"/1`1234", "/0`5678", -1},
        {"/0Z1234", "/0`5678", -1},
        {"/0`123456", "/0`7", -1},
        {"/0`99999", "/0`99999", -1},
        {"/0`21474", "/0`83647", 2147483647},
        {"/0`21474", "/0`83648", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SerialFromPositionReplies(c.first, c.second), c.serial)
            << c.first << " | " << c.second;
}

TEST(PSD4Interface, StatusAsStringSpellsOutTheState) {
    ScopedRecordingMessages messages;
    TPSD4 pump;
    EXPECT_EQ(pump.StatusAsString(), "Ready, Undefined");
    const std::pair<std::string, std::string> cases[] = {
        {"/0`", "Ready, No error"},
        {"/0C",
         "Busy, Invalid operand - Occurs when and invalid parameter is given with a command"},
        {"/0i",
         "Ready, Syringe overload - Occurs when the syringe encounters excessive back pressure"},
        {"/0k", "Ready, Syringe move not allowed - When the valve is in the bypass or throughput "
                "position syringe move commands are not allowed"},
    };
    for (const auto& [reply, text] : cases) {
        pump.SetStatus(Reply(reply));
        EXPECT_EQ(pump.StatusAsString(), text);
    }
    pump.pState = ps_Connected;
    EXPECT_EQ(pump.StatusAsString(), "Ready, Connected");
    pump.pState = ps_Initialized;
    EXPECT_EQ(pump.StatusAsString(), "Ready, Initialized");
}

// A silent pump is polled every 250 ms; one box per silence, not one per poll.
TEST(PSD4Interface, ShortReplyRaisesTheFailureBoxOncePerSilence) {
    ScopedRecordingMessages messages;
    TPSD4 pump;
    pump.SetStatus(Reply("/0@"));
    for (int i = 0; i < 5; ++i)
        pump.SetStatus(Reply(""));
    EXPECT_EQ(pump.pState, ps_No_error);
    EXPECT_FALSE(pump.pBusy);
    pump.SetStatus(Reply("/0"));
    pump.SetStatus(Reply("/0`"));
    pump.SetStatus(Reply("/0"));
    pump.SetStatus(Reply(""));
    const std::vector<std::string> expected = {"Set pump states failed. Used string: ",
                                               "Set pump states failed. Used string: /0"};
    EXPECT_EQ(messages.recorder.Messages(), expected);
}

TEST(PSD4Interface, RampTimeClampsBothSpeeds) {
    EXPECT_DOUBLE_EQ(TPSD4::RampTimeSeconds(8000, 20, 100), 59.5);
    EXPECT_DOUBLE_EQ(TPSD4::RampTimeSeconds(20, 8000, 100), 59.5);
    EXPECT_DOUBLE_EQ(TPSD4::RampTimeSeconds(1000, 1000, 7), 0.0);
    EXPECT_DOUBLE_EQ(TPSD4::RampTimeSeconds(100, 400, 3), 100.0);
    EXPECT_TRUE(std::isinf(TPSD4::RampTimeSeconds(100, 400, 0)));
}

// A driver that never found its pump sends nothing, however it is asked.
TEST(PSD4Interface, DriverWithoutPumpSendsNothingAndReportsWhy) {
    ScopedRecordingMessages messages;
    TPSD4 pump;
    pump.pTimeScale = 0.02;
    TSerialResponse reply;
    EXPECT_FALSE(pump.SendCommand("Q", reply, true));
    EXPECT_EQ(reply.Status, "Pump state undefined, cannot send command: /1Q\r");
    EXPECT_EQ(pump.LastCommand, "");

    pump.pAddressASCII = '3';
    EXPECT_FALSE(pump.SendCommand("ZN1R", reply, false));
    EXPECT_EQ(reply.Status, "Pump state undefined, cannot send command: /3ZN1R\r");

    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(pump.WaitUntilFree(15)); // 0.3 s at this pace
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(290));
    EXPECT_FALSE(pump.Stop());
    EXPECT_EQ(pump.Serial(), -1);
    EXPECT_FALSE(pump.SerialStore("12345678"));
    EXPECT_EQ(pump.pState, ps_Undefined);
    EXPECT_TRUE(messages.recorder.Messages().empty());
}
