#pragma once
// The points that draw a segment program on the chart, in minutes and percent. A step is drawn
// as a level line at the previous setpoint up to its time and an upright to its own setpoint; a
// ramp as a straight line from the point before. A program that starts with a step or with a
// ramp from above zero starts from (0, 0).
#include "program/SegmentProgram.h"

#include <string_view>
#include <vector>

struct TProgramPoint {
    double Time = 0;     // minutes since the program start
    double Setpoint = 0; // percent of full scale
};

// Segments of another type than "Step" or "Ramp" draw nothing. With tspttKeep the last setpoint
// is drawn on to 1.01 x the last segment's time, one percent of the program's length past its
// end. Faulty lines are reported as ReadSegment reports them.
std::vector<TProgramPoint> ProgramCurvePoints(std::string_view program,
                                              TSegProgTermination termination);
