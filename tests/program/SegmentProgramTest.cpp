#include "program/SegmentProgram.h"
#include "platform/RecordingMessages.h"
#include "registry/Orvello_DeviceInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

double SetpointAt(const std::string& program, double minutes) {
    TSegment result;
    SegmentAt(program, minutes, result);
    return result.Setpoint;
}

using Messages = std::vector<std::string>;

} // namespace

TEST(SegmentCount, CountsLinesWhateverTheLineBreak) {
    const struct {
        const char* program;
        int count;
    } cases[] = {
        {"", 0},
        {"1 100 Ramp", 1},
        {"1 100 Ramp\r\n", 1},
        {"1 100 Ramp\r\n2 0 Step", 2},
        {"1 100 Ramp\n2 0 Step\r3 5 Step", 3},
        {"1 100 Ramp\r\n\r\n2 0 Step", 3}, // the empty line is a (faulty) segment
        {"\r\n", 1},
        {"\n\r", 2}, // LF then a lone CR, not a CR LF pair
    };
    for (const auto& c : cases)
        EXPECT_EQ(SegmentCount(c.program), c.count) << c.program;
}

TEST(ReadSegment, ReadsFieldsSplitAtRunsOfBlanks) {
    ScopedRecordingMessages messages;
    const std::string program = "1 100 Ramp\r\n  2\t100   Step Some_random_comment \r\n1  100 Ramp";
    TSegment segment;
    ReadSegment(1, program, segment);
    EXPECT_EQ(segment.Time, 2);
    EXPECT_EQ(segment.Setpoint, 100);
    EXPECT_EQ(segment.aType, "Step");
    EXPECT_EQ(segment.Index, 1);
    EXPECT_EQ(segment.Note, "Some_random_comment");

    // Three fields leave the note the record held before.
    ReadSegment(2, program, segment);
    EXPECT_EQ(segment.Time, 1);
    EXPECT_EQ(segment.aType, "Ramp");
    EXPECT_EQ(segment.Index, 2);
    EXPECT_EQ(segment.Note, "Some_random_comment");

    // So do five fields.
    ReadSegment(0, "3 20 Step a b", segment);
    EXPECT_EQ(segment.Time, 3);
    EXPECT_EQ(segment.Note, "Some_random_comment");
    EXPECT_EQ(messages.recorder.Messages(), Messages{});
}

TEST(ReadSegment, PastTheEndGivesTheNotFoundRecord) {
    ScopedRecordingMessages messages;
    for (int i : {6, 7, 1000, -1}) {
        TSegment segment{1, 2, "Step", 3, "x"};
        ReadSegment(i, MakeDemoDevice().SegmentProgram, segment);
        EXPECT_EQ(segment.Time, -1.0);
        EXPECT_EQ(segment.Setpoint, -1.0);
        EXPECT_EQ(segment.aType, "ID not found");
        EXPECT_EQ(segment.Index, -1);
        EXPECT_EQ(segment.Note, "");
    }
    TSegment segment;
    ReadSegment(0, "", segment);
    EXPECT_EQ(segment.Index, -1);
    EXPECT_EQ(messages.recorder.Messages(), Messages{});
}

TEST(ReadSegment, FaultyLineIsReportedAndKeepsWhatWasRead) {
    ScopedRecordingMessages messages;
    TSegment segment{7, 8, "Ramp", 9, "n"};
    ReadSegment(0, "3 abc Step x", segment);
    EXPECT_EQ(segment.Time, 3);
    EXPECT_EQ(segment.Setpoint, 8);
    EXPECT_EQ(segment.aType, "Ramp");
    EXPECT_EQ(segment.Index, 9);

    ReadSegment(1, "1 2 Step\r\n\r\n", segment); // an empty line in the middle
    ReadSegment(0, "4 5", segment);
    EXPECT_EQ(segment.Time, 4);
    EXPECT_EQ(segment.Setpoint, 5);
    ReadSegment(0, "1,5 50 Step", segment);
    EXPECT_EQ(messages.recorder.Messages(), Messages(4, "Failed to read segment"));
}

TEST(SegmentAt, DemonstrationProgram) {
    ScopedRecordingMessages messages;
    const std::string program = MakeDemoDevice().SegmentProgram;
    const double cases[][2] = {{0, 0},     {0.5, 50}, {1, 100}, {1.5, 100}, {2, 100},  {2.6, 30},
                               {2.25, 65}, {2.5, 30}, {3, 30},  {3.25, 50}, {3.5, 50}, {3.75, 15},
                               {4, 0},     {10, 0},   {1e9, 0}, {3.1, 50},  {4.5, 0}};
    for (const auto& c : cases)
        EXPECT_NEAR(SetpointAt(program, c[0]), c[1], 1e-9) << c[0];
    EXPECT_EQ(messages.recorder.Messages(), Messages{});
}

TEST(SegmentAt, StepsHoldUpToTheirOwnTime) {
    EXPECT_EQ(SetpointAt("0 50 Step", 0), 0);
    EXPECT_EQ(SetpointAt("0 50 Step", 1e-9), 50);
    EXPECT_EQ(SetpointAt("2 40 Step\r\n5 60 Step", 2), 0);
    EXPECT_EQ(SetpointAt("2 40 Step\r\n5 60 Step", 5), 40);
    EXPECT_EQ(SetpointAt("2 40 Step\r\n5 60 Step", 5.5), 60);
}

TEST(SegmentAt, RampsStartFromThePreviousPoint) {
    EXPECT_DOUBLE_EQ(SetpointAt("5 40 Ramp", 2.5), 20);
    EXPECT_DOUBLE_EQ(SetpointAt("2 40 Step\r\n6 80 Ramp", 4), 60);
    // Only the exact word ramps; the check refuses other spellings.
    EXPECT_EQ(SetpointAt("5 40 ramp", 2.5), 0);
    EXPECT_EQ(SetpointAt("5 40 RAMP", 6), 40);
}

TEST(SegmentAt, RecordFieldsFollowTheSegmentInForce) {
    const std::string program = MakeDemoDevice().SegmentProgram;
    TSegment result{-5, -5, "before", 42, "kept"};
    SegmentAt(program, 0.5, result); // under a ramp only time and setpoint change
    EXPECT_EQ(result.Time, 0.5);
    EXPECT_EQ(result.aType, "before");
    EXPECT_EQ(result.Index, 42);
    EXPECT_EQ(result.Note, "kept");

    SegmentAt(program, 2, result); // under a step: the previous segment as a whole
    EXPECT_EQ(result.Time, 1);
    EXPECT_EQ(result.aType, "Ramp");
    EXPECT_EQ(result.Index, 0);

    SegmentAt(program, 1.5, result);
    EXPECT_EQ(result.Index, 0);
    SegmentAt(program, 2.75, result);
    EXPECT_EQ(result.Index, 2);
    SegmentAt(program, 10, result); // past the end the last segment keeps
    EXPECT_EQ(result.Index, 5);
    EXPECT_EQ(result.Time, 4);

    SegmentAt("", 3, result); // nothing: the start point
    EXPECT_EQ(result.Setpoint, 0);
    EXPECT_EQ(result.aType, "Step");
    EXPECT_EQ(result.Index, -2);
    SegmentAt("5 40 Step", 1, result);
    EXPECT_EQ(result.Index, -2);
}

TEST(SegmentAt, DegenerateProgramsGiveFiniteSetpoints) {
    ScopedRecordingMessages messages;
    const struct {
        const char* program;
        double minutes;
        double setpoint;
    } cases[] = {
        {"0 50 Ramp", 0, 50},              // a ramp of no duration is at its end
        {"0 50 Ramp\r\n0 70 Ramp", 0, 50}, // duplicate times
        {"1 1e308 Ramp\r\n2 -1e308 Ramp", 1.5, -1e308},
        {"-1 50 Ramp", -2, 100}, // negative times extrapolate, no fault
        {"5 40 Ramp", -INFINITY, 40},
        {"5 40 Ramp", INFINITY, 40},
        {"5 40 Ramp", NAN, 40},
    };
    for (const auto& c : cases) {
        const double setpoint = SetpointAt(c.program, c.minutes);
        EXPECT_TRUE(std::isfinite(setpoint)) << c.program;
        EXPECT_EQ(setpoint, c.setpoint) << c.program << " at " << c.minutes;
    }
    EXPECT_EQ(messages.recorder.Messages(), Messages{});
}

TEST(SegmentAt, FaultyLinesAreReportedOncePerEvaluation) {
    ScopedRecordingMessages messages;
    const std::string program = "1 20 Step\r\n2 x Step\r\n3 60 Step";
    (void)SetpointAt(program, 2.5);
    EXPECT_EQ(messages.recorder.Messages(), Messages{"Failed to read segment"});
    messages.recorder.Clear();
    // A line the scan does not reach is not read.
    EXPECT_EQ(SetpointAt(program, 0.5), 0);
    EXPECT_EQ(messages.recorder.Messages(), Messages{});
}
