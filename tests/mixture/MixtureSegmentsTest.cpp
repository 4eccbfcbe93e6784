#include "mixture/MixtureSegments.h"
#include "mixture/RecipeDevicesFixture.h"
#include "mixture/RecipeLines.h"
#include "platform/LocaleSettings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace {

// Program numbers keep their '.' whatever the operator's locale: every case runs under a comma.
class MixtureSegmentsTest : public TRecipeDevicesFixture {
protected:
    ScopedLocaleSettings comma{{',', ':'}};
};

struct TExpectedSegment {
    std::string Port;
    std::string SegmentLine;
    std::string Program;
};

bool operator==(const TMixtureSegment& a, const TExpectedSegment& b) {
    return a.Port == b.Port && a.SegmentLine == b.SegmentLine && a.Program == b.Program;
}

std::string Describe(const std::vector<TMixtureSegment>& segments) {
    std::string text;
    for (const TMixtureSegment& s : segments)
        text += "[" + s.Port + "|" + s.SegmentLine + "|" + s.Program + "]";
    return text;
}

} // namespace

TEST(RecipeLines, SplitAtSingleSpacesAfterTheEndsAreTrimmed) {
    const struct {
        const char* line;
        bool splits;
        const char* port;
        const char* setpoint;
        bool hasType;
        const char* type;
    } cases[] = {
        {"COM6 50", true, "COM6", "50", false, ""},
        {"\t com6 50 ramp ", true, "com6", "50", true, "RAMP"},
        {"COM6  50", true, "COM6", "", true, "50"}, // two spaces make an empty item
        {"COM6\t50 x", true, "COM6\t50", "x", false, ""},
        {"COM6", false, "", "", false, ""},
        {"COM6 50 R x", false, "", "", false, ""},
        {"   ", false, "", "", false, ""},
    };
    for (const auto& c : cases) {
        const std::optional<TRecipeLine> line = SplitRecipeLine(c.line);
        ASSERT_EQ(line.has_value(), c.splits) << c.line;
        if (!line)
            continue;
        EXPECT_EQ(line->Port, c.port) << c.line;
        EXPECT_EQ(line->Setpoint, c.setpoint) << c.line;
        EXPECT_EQ(line->HasType, c.hasType) << c.line;
        EXPECT_EQ(line->Type, c.type) << c.line;
    }
}

TEST_F(MixtureSegmentsTest, PlansOneSegmentPerLine) {
    const struct {
        const char* recipe;
        double minutes;
        const char* note;
        std::vector<TExpectedSegment> segments;
    } cases[] = {
        {"COM6 50\r\ncom7 10 r",
         10,
         "first run",
         {{"COM6", "10 50 Step first_run", "10 50 Step first_run\r\n"},
          {"COM7", "10 10 Ramp first_run", "10 10 Ramp first_run\r\n"}}},
        // Only a lone R makes a ramp.
        {"COM6 20 Ramp", 12, "", {{"COM6", "12 20 Step ", "12 20 Step\r\n"}}},
        // Blank lines are passed over, indented lines and lower-case port names found.
        {"  ttyUSB0 30 \n\n   \n   COM6 40 R",
         0,
         "",
         {{"ttyUSB0", "0 30 Step ", "0 30 Step\r\n"}, {"COM6", "0 40 Ramp ", "0 40 Ramp\r\n"}}},
        // A second line for a device at the same minute replaces the first one's segment.
        {"COM6 50\r\nCOM6 20",
         5,
         "",
         {{"COM6", "5 50 Step ", "5 50 Step\r\n"}, {"COM6", "5 20 Step ", "5 20 Step\r\n"}}},
        {"COM6 50,5", 2880, "", {{"COM6", "2880 50.5 Step ", "2880 50.5 Step\r\n"}}},
        {"", 0, "", {}},
    };
    for (const auto& c : cases) {
        const TMixturePlan plan = PlanMixtureSegments(c.recipe, c.minutes, c.note);
        EXPECT_EQ(plan.Refusal, "") << c.recipe;
        EXPECT_TRUE(plan.Segments.size() == c.segments.size() &&
                    std::equal(plan.Segments.begin(), plan.Segments.end(), c.segments.begin()))
            << c.recipe << " gave " << Describe(plan.Segments);
    }
    EXPECT_TRUE(messages.recorder.Messages().empty());
    EXPECT_EQ(DevicesLocal[0].SegmentProgram, "") << "planning changes no program";
}

TEST_F(MixtureSegmentsTest, RefusesTheWholeRecipeForOneBadLine) {
    const struct {
        const char* recipe;
        const char* refusal;
    } cases[] = {
        {"COM6", "line 1 does not read as port, setpoint and type"},
        {"COM6 50\r\n\r\nCOM6 50 R x", "line 3 does not read as port, setpoint and type"},
        {"COM6 50\r\ncom9 50", "no device on port COM9"},
        {"COM6 x", "'x' is not a valid floating point value"},
        {"COM6  50", "'' is not a valid floating point value"},
        {"COM6 100.5", "setpoint out of bounds on line 1"},
        {"COM6 50\r\nCOM6 -1", "setpoint out of bounds on line 2"},
    };
    for (const auto& c : cases) {
        const TMixturePlan plan = PlanMixtureSegments(c.recipe, 5, "");
        EXPECT_EQ(plan.Refusal, c.refusal) << c.recipe;
        EXPECT_TRUE(plan.Segments.empty()) << c.recipe;
    }
}

TEST_F(MixtureSegmentsTest, SegmentsJoinTheDevicesPrograms) {
    DevicesLocal[1].SegmentProgram = "1 10 Step\r\n";
    TMixturePlan plan = PlanMixtureSegments("COM7 20\r\nCOM6 50", 5, "");
    ASSERT_EQ(plan.Refusal, "");
    ASSERT_EQ(plan.Segments.size(), 2u);
    EXPECT_EQ(plan.Segments[0].Program, "1 10 Step\r\n5 20 Step\r\n");

    // A time that is not a whole minute, as a loaded file may hold, cannot be kept by an add.
    DevicesLocal[1].SegmentProgram = "1.5 20 Step\r\n";
    plan = PlanMixtureSegments("COM6 50\r\nCOM7 10", 5, "");
    EXPECT_EQ(plan.Refusal, "the segment program of COM7 cannot take a segment ('1.5' is not a "
                            "valid integer value)");
    EXPECT_TRUE(plan.Segments.empty());
    EXPECT_EQ(DevicesLocal[1].SegmentProgram, "1.5 20 Step\r\n");
}
