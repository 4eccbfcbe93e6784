#include "mfc/AlicatProtocol.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(AlicatProtocol, SetpointCountsRoundHalvesToEvenWithinFullScale) {
    struct Case {
        double Pct;
        const char* Counts;
    };
    const Case cases[] = {
        {50, "32000"},
        {100, "64000"},
        {0.001, "1"},      // 0.64 counts
        {0.0005, "0"},     // 0.32 counts
        {0.00390625, "2"}, // 2.5 counts
        {0.00546875, "4"}, // 3.5 counts
        {12.34567, "7901"},
        {-0.0005, "0"},
        // Whatever reaches the driver, the controller gets counts within its range.
        {150, "64000"},
        {100.001, "64000"},
        {-1, "0"},
        {-1e300, "0"},
        {1e300, "64000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Pct);
        const auto text = SetpointCountsText(c.Pct);
        ASSERT_TRUE(text.has_value());
        EXPECT_EQ(*text, c.Counts);
    }
    for (double bad : {std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::infinity(), 1e308}) {
        EXPECT_FALSE(SetpointCountsText(bad).has_value()) << bad;
        EXPECT_FALSE(std::isfinite(SetpointCounts(bad))) << bad;
    }
}

TEST(AlicatProtocol, StatusFieldsSplitAtBlankRunsAndKeepQuotedBlanks) {
    using Fields = std::vector<std::string>;
    struct Case {
        const char* Line;
        Fields Expected;
    };
    const Case cases[] = {
        {"", {}},
        {" \r\n\t ", {}},
        {"  A +01.0\t\t-2\r", {"A", "+01.0", "-2"}},
        {"A \"Air mix\" N2", {"A", "Air mix", "N2"}},
        {"A \"say \"\"hi\"\"\"x y", {"A", "say \"hi\"x", "y"}},
        {"A \"unterminated field", {"A", "unterminated field"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        EXPECT_EQ(SplitStatusFields(c.Line), c.Expected);
    }
}

TEST(AlicatProtocol, StatusLineFillsTheRecordAndItsCodes) {
    TAlicatData data;
    ASSERT_EQ(ParseStatusLine("A +01.013 +023.50 +00.100 +31999 +32000 +0012.5 N2 MOV junk TMF\r",
                              45000.5, data),
              TStatusLineParse::Parsed);
    EXPECT_DOUBLE_EQ(data.DataTime, 45000.5);
    EXPECT_DOUBLE_EQ(data.Pressure, 1.013);
    EXPECT_DOUBLE_EQ(data.Temp, 23.5);
    EXPECT_DOUBLE_EQ(data.FlowRate_vol, 0.1);
    EXPECT_DOUBLE_EQ(data.FlowRate_mass, 31999);
    EXPECT_DOUBLE_EQ(data.SetpointFromDevice, 32000);
    EXPECT_DOUBLE_EQ(data.Totalizer, 12.5);
    EXPECT_EQ(data.GasSN, "N2");
    TAlicatErrors expected;
    expected.Include(TAlicatError::MOV);
    expected.Include(TAlicatError::TMF);
    EXPECT_EQ(data.ErrorFlags, expected);

    std::string desc;
    EXPECT_TRUE(data.Errors(desc));
    EXPECT_EQ(desc, std::string(AlicatErrorText(TAlicatError::MOV)) + "\r\n" +
                        AlicatErrorText(TAlicatError::TMF));
}

TEST(AlicatProtocol, ShortOrNonNumericLinesLeaveTheRecordAlone) {
    TAlicatData before;
    before.Pressure = 7;
    before.ErrorFlags.Include(TAlicatError::LCK);
    struct Case {
        const char* Line;
        TStatusLineParse Expected;
    };
    const Case cases[] = {
        {"A 1 2 3 4 5 6", TStatusLineParse::TooFewFields},
        {"", TStatusLineParse::TooFewFields},
        {"A 1 2 3 x 5 6 N2", TStatusLineParse::NotANumber},
        {"A 1 2 3 4 5 1,5 N2 MOV", TStatusLineParse::NotANumber},
        {"A nan 2 3 4 5 6 N2", TStatusLineParse::NotANumber},
        // Readable as numbers, but not as the controller writes them.
        {"A 1 2 3 4 .5 6 N2", TStatusLineParse::NotANumber},
        {"A 1 2 3 4 5. 6 N2", TStatusLineParse::NotANumber},
        {"A 1 2 3 4 1e3 6 N2", TStatusLineParse::NotANumber},
        {"A 1 2 3 4 +-5 6 N2", TStatusLineParse::NotANumber},
        {"A 1 2 3 4 1.2.3 6 N2", TStatusLineParse::NotANumber},
        {"A 1 2 3 4 - 6 N2", TStatusLineParse::NotANumber},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Line);
        TAlicatData data = before;
        EXPECT_EQ(ParseStatusLine(c.Line, 1.0, data), c.Expected);
        EXPECT_EQ(data.DataTime, 0);
        EXPECT_EQ(data.Pressure, 7);
        EXPECT_EQ(data.ErrorFlags, before.ErrorFlags);
    }
    // Exactly eight fields: read, and no codes could follow, so the flags stay as they were.
    TAlicatData data = before;
    EXPECT_EQ(ParseStatusLine("A 1 2 3 4 5 6 N2", 1.0, data), TStatusLineParse::Parsed);
    EXPECT_EQ(data.Pressure, 1);
    EXPECT_EQ(data.ErrorFlags, before.ErrorFlags);
}

// Lines that look like status lines but are not this controller's, or whose fields are shifted.
TEST(AlicatProtocol, ShiftedOrForeignStatusLinesAreRefused) {
    TAlicatData before;
    before.Pressure = 7;
    const std::string good = "A +01.013 +023.50 +00.000 +00000 +12345 +0000.0 N2";
    for (const std::string& line : std::vector<std::string>{
             // A NUL inside the temperature splits it: every later field moves one place.
             std::string("A +01.013 +02\0"
                         "3.50 +00.000 +00000 +12345 +0000.0 N2",
                         51),
             std::string("A +01.013 +023.50\t+00.000 +00000 +12345 +0000.0 N2"),
             std::string("\nA +01.013 +023.50 +00.000 +00000 +12345 +0000.0 N2"),
             good + "\x7F",
             good + "\r\x01",
             "B" + good.substr(1),
             "AA" + good.substr(1),
             std::string("+01.013 +023.50 +00.000 +00000 +12345 +0000.0 N2 MOV"),
             // The gas field holds a number: the fields have moved.
             std::string("A +01.013 +023.50 +00.000 +00000 +12345 +0000.0 +0000.0 N2"),
             // A blank moved by the line noise: the setpoint reads 0 and the totalizer runs into
             // the gas, which names no gas of the table.
             std::string("A +01.013 +02 .50 +00.000 +00.000 +32000 +0000.0N2"),
             std::string("A +01.013 +023.50 +00.000 +00000 +12345 +0000.0 N3"),
             std::string("A +01.013 +023.50 +00.000 +00000 +12345 +0000.0 n2"),
         }) {
        SCOPED_TRACE(line);
        TAlicatData data = before;
        EXPECT_EQ(ParseStatusLine(line, 1.0, data), TStatusLineParse::NotAStatusLine);
        EXPECT_EQ(data.DataTime, 0);
        EXPECT_EQ(data.Pressure, 7);
    }
    // The line end is no fault, and another unit identifier reads its own lines.
    for (const char* end : {"", "\r", "\r\n", "\n"}) {
        TAlicatData data;
        EXPECT_EQ(ParseStatusLine(good + end, 1.0, data), TStatusLineParse::Parsed) << end;
        EXPECT_EQ(data.SetpointFromDevice, 12345);
    }
    TAlicatData data;
    EXPECT_EQ(ParseStatusLine("B" + good.substr(1), 1.0, data, 'B'), TStatusLineParse::Parsed);
}

TEST(AlicatProtocol, ErrorsTextsAndEmptySet) {
    TAlicatData data;
    std::string desc = "stale";
    EXPECT_FALSE(data.Errors(desc));
    EXPECT_EQ(desc, "");
    data.ErrorFlags.Include(TAlicatError::VOV);
    data.ErrorFlags.Include(TAlicatError::ADC);
    EXPECT_TRUE(data.Errors(desc));
    EXPECT_EQ(desc, "Internal communication error (not common – please contact Alicat for "
                    "assistance).\r\nVolumetric flow rate overage (Volumetric flow is outside the "
                    "measurable range, including the uncalibrated range).");
    EXPECT_EQ(data.ErrorFlags.Bits, (1u << 0) | (1u << 10));
}

TEST(AlicatProtocol, FullScaleReplyNeedsFourFieldsAndANumber) {
    const auto good = ParseFullScaleReply("A 10.000 12 SLPM");
    ASSERT_TRUE(good.has_value());
    EXPECT_DOUBLE_EQ(good->MaxFlow, 10.0);
    EXPECT_EQ(good->MaxFlowText, "10.000");
    EXPECT_EQ(good->UnitText, "SLPM");
    for (const char* bad :
         {"A 10.000 12", "A 10.000 12 SLPM x", "A  10.000 12 SLPM", "A ten 12 SLPM", ""})
        EXPECT_FALSE(ParseFullScaleReply(bad).has_value()) << bad;
}

} // namespace
