#include "program/ProgramCurve.h"
#include "platform/RecordingMessages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Describe(const std::vector<TProgramPoint>& points) {
    std::string text;
    for (const TProgramPoint& p : points)
        text += "(" + std::to_string(p.Time) + "," + std::to_string(p.Setpoint) + ")";
    return text;
}

} // namespace

TEST(ProgramCurve, StepsAndRampsAsTheChartDrawsThem) {
    const struct {
        const char* program;
        std::vector<TProgramPoint> points;
        int messages;
    } cases[] = {
        {"", {}, 0},
        {"0 0 Step\r\n10 50 Step\r\n20 20 Ramp",
         {{0, 0}, {0, 0}, {0, 0}, {10, 0}, {10, 50}, {20, 20}, {1.01 * 20, 20}},
         0},
        // A first ramp from above zero starts from (0, 0); one at zero or at time 0 does not.
        {"5 40 Ramp", {{0, 0}, {5, 40}, {1.01 * 5, 40}}, 0},
        {"5 0 Ramp", {{5, 0}, {1.01 * 5, 0}}, 0},
        {"0 30 Ramp", {{0, 30}, {0, 30}}, 0},
        // A segment of another type draws nothing, yet is the point the next step starts from.
        {"1 10 Step\r\n2 20 Hold\r\n3 30 Step",
         {{0, 0}, {1, 0}, {1, 10}, {3, 20}, {3, 30}, {1.01 * 3, 30}},
         0},
        // A faulty line keeps what the line before it left, and is reported.
        {"1 10 Step\r\nx 20 Step", {{0, 0}, {1, 0}, {1, 10}, {1, 10}, {1, 10}, {1.01, 10}}, 1},
        // The demonstration device's program.
        {"1 100 Ramp\r\n2 100 Step Some_random_comment\r\n2.5 30 Ramp\r\n3 50 Step\r\n3.5 30 "
         "Step\r\n4 0 Ramp",
         {{0, 0},
          {1, 100},
          {2, 100},
          {2, 100},
          {2.5, 30},
          {3, 30},
          {3, 50},
          {3.5, 50},
          {3.5, 30},
          {4, 0},
          {1.01 * 4, 0}},
         0},
    };
    for (const auto& c : cases) {
        ScopedRecordingMessages messages;
        const std::vector<TProgramPoint> points = ProgramCurvePoints(c.program, tspttKeep);
        bool same = points.size() == c.points.size();
        for (std::size_t i = 0; same && i < points.size(); ++i)
            same = points[i].Time == c.points[i].Time && points[i].Setpoint == c.points[i].Setpoint;
        EXPECT_TRUE(same) << c.program << "\n  gave     " << Describe(points) << "\n  expected "
                          << Describe(c.points);
        EXPECT_EQ(messages.recorder.Messages().size(), static_cast<std::size_t>(c.messages))
            << c.program;
    }
}
