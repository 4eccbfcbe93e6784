#include "program/SegmentProgramTable.h"
#include "platform/LocaleSettings.h"
#include "platform/RecordingMessages.h"
#include "program/UnitUtils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using Items = std::vector<std::string>;
using Messages = std::vector<std::string>;

namespace {
const std::string Blank14 = std::string(14, ' ') + " | ";
} // namespace

TEST(MergeSegmentPrograms, TwoDevicesSideBySide) {
    const std::string table =
        MergeSegmentPrograms({"m", "1", "COM3|MFCA|0 0 Step\r\n5 30 Ramp", "COM4|MFCB|5 20 Step"});
    const std::string expected =
        "  Time,m |            Time |      COM3 MFCA |      COM4 MFCB | \r\n"
        "---------+-----------------+-Setpoint--Type-+-Setpoint--Type-+-\r\n"
        "   0.000 |                 |        0  Step | " +
        Blank14 +
        "\r\n"
        "   5.000 |              5m |       30  Ramp |       20  Step | \r\n";
    EXPECT_EQ(table, expected);
}

TEST(MergeSegmentPrograms, FaultTexts) {
    EXPECT_EQ(MergeSegmentPrograms({}), "No segment programs to format");
    EXPECT_EQ(MergeSegmentPrograms({"m", "1"}), "No segment programs to format");
    EXPECT_EQ(MergeSegmentPrograms({"", "1", "COM3|MFCA|1 2 Step"}), "Time unit name not provided");
    for (const char* factor : {"", "x", "0", "1,5,0"})
        EXPECT_EQ(MergeSegmentPrograms({"m", factor, "COM3|MFCA|1 2 Step"}),
                  "Time conversion factor not provided")
            << factor;
}

TEST(MergeSegmentPrograms, LocaleShapesFactorTimesAndSetpoints) {
    ScopedLocaleSettings comma({',', ':'});
    EXPECT_EQ(MergeSegmentPrograms({"h", "60.0", "COM3|MFCA|1 2 Step"}),
              "Time conversion factor not provided");
    const std::string table = MergeSegmentPrograms({"h", "60", "COM3|MFCA|90 12.5 Step"});
    EXPECT_NE(table.find("   1,500 |          1h 30m |     12,5  Step | "), std::string::npos)
        << table;
    const std::string halves = MergeSegmentPrograms({"m", "0,5", "COM3|MFCA|3 1 Step"});
    EXPECT_NE(halves.find("   6,000 |              3m |"), std::string::npos) << halves;
}

TEST(MergeSegmentPrograms, SecondsRoundToEvenAndEveryColumnIsComplete) {
    const std::string table = MergeSegmentPrograms(
        {"s", "1", "COM1|MFCA|0.01 5 Step", "com1 |MFCB|0.025 6 Step\r\n0.0083333 7 Ramp",
         "COM2|Pump|1 1 Step\r\n2 2 Step\r\n3 3 Step\r\n4 4 Step"});
    // 0.6 s goes to second 1, 1.5 s to second 2, 0.5 s to second 0; the unknown unit leaves the
    // time column empty; COM1 and "com1 " are the same port.
    const std::vector<std::string> rows = {
        "         |                 |        7  Ramp |        7  Ramp | " + Blank14,
        "         |              1s |        5  Step |        5  Step | " + Blank14,
        "         |              2s |        6  Step |        6  Step | " + Blank14,
        "         |              1m | " + Blank14 + Blank14 + "       1  Step | ",
        "         |              4m | " + Blank14 + Blank14 + "       4  Step | ",
    };
    std::size_t at = 0;
    for (const std::string& row : rows) {
        at = table.find(row + "\r\n", at);
        EXPECT_NE(at, std::string::npos) << row << "\nin\n" << table;
    }
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 2 + 7);
}

TEST(MergeSegmentPrograms, FaultyLinesAreReportedAndLeftOut) {
    ScopedRecordingMessages messages;
    const std::string table =
        MergeSegmentPrograms({"m", "1", "COM3|MFCA|1 x Step\r\n2 5 Step", "COM4", "||"});
    EXPECT_EQ(messages.recorder.Messages(), Messages{"Failed to read segment"});
    EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3);
    EXPECT_NE(table.find("   2.000 |              2m |        5  Step | "), std::string::npos)
        << table;
}
