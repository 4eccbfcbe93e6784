#include "platform/LocaleSettings.h"
#include "platform/RecordingMessages.h"
#include "program/SegmentProgram.h"
#include "registry/Orvello_DeviceInfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Messages = std::vector<std::string>;

TEST(ValidateSegmentProgram, MessagesAndVerdicts) {
    const struct {
        std::string program;
        bool valid;
        Messages messages;
    } cases[] = {
        {MakeDemoDevice().SegmentProgram, true, {}},
        {"", true, {}},
        // Only the words the evaluation knows: a lower-case "ramp" would run as a step.
        {"1 100 ramp\r\n2 0 Step\r\n", false, {"Invalid S/R"}},
        {"1 100 Ramp\r\n2 0 sTeP\r\n", false, {"Invalid S/R"}},
        {"1 100 RAMP", false, {"Invalid S/R"}},
        {"1 50 Step\n2 60 Ramp\r3 0 Step", true, {}},
        {"  1 50 Step  ", true, {}},
        {"1  100 Ramp", false, {"Invalid S/R"}},
        {"1 -5 Ramp", false, {"Invalid character: -", "Setpoint out of bounds:-5"}},
        {"1 100.5 Ramp", false, {"Setpoint out of bounds:100.5"}},
        {"1,5 50 Step", false, {"Invalid character: ,", "Invalid time format"}},
        {"1 50 Step a-b", true, {"Invalid character: -"}},
        {"-1 50 Step", false, {"Invalid character: -", "Time out of bounds: -1"}},
        {"1 50", false, {"Invalid element count"}},
        {"1 50 Step a b", false, {"Invalid element count"}},
        {"1 50 Step\r\n\r\n2 0 Step", false, {"Invalid element count"}},
        {"1 50 Hold", false, {"Invalid S/R"}},
        // Faulty numbers do not stop the check; the bounds test is skipped for them.
        {"x y Step\r\n2 200 Ramp",
         false,
         {"Invalid time format", "Invalid setpoint format", "Setpoint out of bounds:200"}},
        {"1e1 5E1 Step", true, {}},
        {"1 50 Step\t", true, {"Invalid character: \t"}},
        {"1 50 Step 20\xC2\xB0"
         "C",
         true,
         {"Invalid character: \xC2\xB0"}},
        {"1 50 Step \xFF\xC2", true, {"Invalid character: \xFF", "Invalid character: \xC2"}},
        {std::string("1 50 St\0ep", 10),
         false,
         {std::string("Invalid character: \0", 20), "Invalid S/R"}},
    };
    for (const auto& c : cases) {
        ScopedRecordingMessages messages;
        EXPECT_EQ(ValidateSegmentProgram(c.program), c.valid) << c.program;
        EXPECT_EQ(messages.recorder.Messages(), c.messages) << c.program;
    }
}

TEST(ValidateSegmentProgram, ManyInvalidCharactersShowTheFirstFiveAndACount) {
    const struct {
        std::string program;
        bool valid;
        Messages messages;
    } cases[] = {
        {"1 50 Step a-b-c-d-e-f", true, Messages(5, "Invalid character: -")},
        {"1 50 Step a-b-c-d-e-f-g-h-i", true,
         [] {
             Messages expected(5, "Invalid character: -");
             expected.push_back("... and 3 more invalid characters");
             return expected;
         }()},
        // The count goes on past a fault that stops the line checks.
        {std::string(2000, '\x01') + "\r\n1 -5 Ramp", false,
         [] {
             Messages expected(5, "Invalid character: \x01");
             expected.push_back("... and 1996 more invalid characters");
             expected.push_back("Invalid element count");
             return expected;
         }()},
    };
    for (const auto& c : cases) {
        ScopedRecordingMessages messages;
        EXPECT_EQ(ValidateSegmentProgram(c.program), c.valid) << c.program;
        EXPECT_EQ(messages.recorder.Messages(), c.messages) << c.program;
    }
}

TEST(ValidateSegmentProgram, NumbersUsePointsInTheTextAndTheLocaleInMessages) {
    ScopedLocaleSettings comma({',', ':'});
    ScopedRecordingMessages messages;
    EXPECT_TRUE(ValidateSegmentProgram("1.5 50.25 Step"));
    EXPECT_FALSE(ValidateSegmentProgram("2.5 100.5 Ramp"));
    EXPECT_EQ(messages.recorder.Messages(), Messages{"Setpoint out of bounds:100,5"});
}
