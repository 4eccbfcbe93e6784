#include "program/SegmentProgramEditing.h"
#include "platform/RecordingMessages.h"
#include "program/SegmentProgram.h"
#include "program/UnitUtils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Messages = std::vector<std::string>;
using Items = std::vector<std::string>;

TEST(ProgramFromListView, JoinsRowsAndEncodesNotes) {
    const TSegmentEditorRows rows = {{"1", {"100", "Ramp", ""}},
                                     {"2.5", {"30", "Step", "dry run"}}};
    EXPECT_EQ(ProgramFromListView(rows), "1 100 Ramp \r\n2.5 30 Step dry_run");
    EXPECT_EQ(ProgramFromListView({{"3", {"50", "Step"}}}), "3 50 Step");
    EXPECT_EQ(ProgramFromListView({{"3", {"50", "Step", "50% N2, lot 1.2"}}}),
              "3 50 Step 50%_N2_lot_12");
    EXPECT_EQ(ProgramFromListView({}), "");
}

TEST(ProgramToListView, OneRowPerLineWithNotesReadable) {
    ScopedRecordingMessages messages;
    TSegmentEditorRows rows = {{"old", {}}};
    ProgramToListView("1 100 Ramp\r\n2 100 Step Some_random_comment\r\n3 0 Step a b\r\n", rows);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].Caption, "1");
    EXPECT_EQ(rows[0].SubItems, (Items{"100", "Ramp"}));
    EXPECT_EQ(rows[1].Caption, "2");
    EXPECT_EQ(rows[1].SubItems, (Items{"100", "Step", "Some random comment"}));
    EXPECT_EQ(rows[2].SubItems, (Items{"0", "Step"})); // five fields: no note
    EXPECT_EQ(messages.recorder.Messages(), Messages{});
}

TEST(ProgramToListView, StopsAtTheFirstShortLine) {
    ScopedRecordingMessages messages;
    TSegmentEditorRows rows;
    ProgramToListView("1 100 Ramp\r\n2 50\r\n3 0 Step", rows);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[1].Caption, "2");
    EXPECT_EQ(rows[1].SubItems, Items{"50"});
    EXPECT_EQ(messages.recorder.Messages(), Messages{"Failed to read segment program"});

    ProgramToListView("", rows);
    EXPECT_TRUE(rows.empty());
}

TEST(ProgramListView, RoundTripKeepsTheProgram) {
    const std::string program = "1 100 Ramp\r\n2 100 Step Some_random_comment\r\n2.5 30 Ramp";
    TSegmentEditorRows rows;
    ProgramToListView(program, rows);
    EXPECT_EQ(ProgramFromListView(rows), program);
}

TEST(AddSegmentLine, InsertsSortedAndReplacesTheSameMinute) {
    std::string program = "0 0 Step\r\n20 50 Step";
    AddSegmentLine(program, "10 40 Ramp");
    EXPECT_EQ(program, "0 0 Step\r\n10 40 Ramp\r\n20 50 Step\r\n");
    AddSegmentLine(program, "20 60 Ramp");
    EXPECT_EQ(program, "0 0 Step\r\n10 40 Ramp\r\n20 60 Ramp\r\n");
    AddSegmentLine(program, "5 10 Step note_here");
    EXPECT_EQ(program, "0 0 Step\r\n5 10 Step note_here\r\n10 40 Ramp\r\n20 60 Ramp\r\n");
    // Keys sort as numbers, not as text.
    program = "100 1 Step\r\n9 2 Step";
    AddSegmentLine(program, "10 3 Step\r\n");
    EXPECT_EQ(program, "9 2 Step\r\n10 3 Step\r\n100 1 Step\r\n");
}

TEST(AddSegmentLine, DropsLinesOfOtherFieldCounts) {
    std::string program = "1 2\r\n\r\n3 4 Step a b\r\n5 6 Step";
    AddSegmentLine(program, "7 8 Ramp");
    EXPECT_EQ(program, "5 6 Step\r\n7 8 Ramp\r\n");
    program = "";
    AddSegmentLine(program, "1 50 Step");
    EXPECT_EQ(program, "1 50 Step\r\n");
}

TEST(AddSegmentLine, FractionalTimeThrowsAndChangesNothing) {
    for (const auto& [start, line] : std::vector<std::pair<std::string, std::string>>{
             {"0 0 Step\r\n2.5 30 Ramp", "10 40 Ramp"},
             {"0 0 Step", "2.5 30 Ramp"},
             {"0 0 Step", "x 30 Ramp"},
         }) {
        std::string program = start;
        EXPECT_THROW(AddSegmentLine(program, line), EConvertError) << line;
        EXPECT_EQ(program, start);
    }
}
