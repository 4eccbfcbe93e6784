#include "program/ProgramCurve.h"

std::vector<TProgramPoint> ProgramCurvePoints(std::string_view program,
                                              TSegProgTermination termination) {
    std::vector<TProgramPoint> points;
    const int n = SegmentCount(program);
    TSegment previous;
    // One record for every line: a faulty line keeps what the line before it left.
    TSegment segment;
    for (int i = 0; i < n; ++i) {
        ReadSegment(i, program, segment);
        if (segment.aType == "Step") {
            if (i == 0) {
                points.push_back({0, 0});
                points.push_back({segment.Time, 0});
            } else {
                points.push_back({segment.Time, previous.Setpoint});
            }
            points.push_back({segment.Time, segment.Setpoint});
        } else if (segment.aType == "Ramp") {
            if (i == 0 && segment.Time > 0 && segment.Setpoint > 0)
                points.push_back({0, 0});
            points.push_back({segment.Time, segment.Setpoint});
        }
        previous = segment;
    }
    if (n > 0 && termination == tspttKeep)
        points.push_back({1.01 * previous.Time, previous.Setpoint});
    return points;
}
