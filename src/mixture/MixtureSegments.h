#pragma once
// A recipe turned into segments: every recipe line becomes one segment, at one time, in the
// program of the device on its port. The whole recipe is planned before any program changes, so
// that a mixture reaches all its devices or none.
#include <string>
#include <vector>

// What one recipe line asks of its device.
struct TMixtureSegment {
    std::string Port;        // as the device list spells it
    std::string SegmentLine; // as it goes into the program ("10 50 Step first_run")
    std::string Program;     // the device's program with this line's segment (and earlier ones')
};

struct TMixturePlan {
    std::vector<TMixtureSegment> Segments; // in recipe order; empty when refused
    std::string Refusal; // why no program may change, for the operator; empty when planned
};

// minutes: a whole number of minutes, 0 or more and small enough for a program line to write in
// full; the caller rounds and checks it. note: as the operator typed it. Blank lines are passed
// over; a lone R as a line's type makes a ramp, anything else a step. Reads the device list and
// changes nothing.
TMixturePlan PlanMixtureSegments(const std::string& recipe, double minutes,
                                 const std::string& note);
