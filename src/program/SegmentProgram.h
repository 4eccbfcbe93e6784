#pragma once
// Segment programs: timed lists of setpoints that change in steps or ramps.
//
// A program is text, one segment per line: time in minutes, setpoint in percent of full scale,
// "Step" or "Ramp", and an optional note encoded by EncodeNote, separated by single spaces and
// written with '.' as decimal separator ("2 100 Step Some_random_comment"). Lines end with CR LF;
// CR LF, a lone LF or a lone CR each end a line when reading.
//
// A "Step" segment holds the previous setpoint up to and including its own time; a "Ramp" moves
// linearly from the previous point. Every program starts from setpoint 0 at time 0, and after its
// last segment the last setpoint stays in force.
#include <cstdint>
#include <string>
#include <string_view>

// What happens after the last segment: the last flow stays in force.
enum TSegProgTermination : std::uint8_t { tspttKeep };

struct TSegment {
    double Time = 0.0;     // minutes since the program start
    double Setpoint = 0.0; // percent of full scale
    std::string aType;     // the type word as written: "Step" or "Ramp"
    int Index = 0;         // line of the segment; -1 not found; -2 the program's start point
    std::string Note;      // as stored, spaces written as '_'
};

// The record for a line number past the end: Time and Setpoint -1, aType "ID not found", Index -1.
TSegment SegmentNotFound();
// The point every program starts from: time 0, setpoint 0, "Step", Index -2.
TSegment ProgramStartPoint();

// The number of lines of the program; an empty text has none.
int SegmentCount(std::string_view program);

// Fills segment with line i of the program (from 0). The line is split at runs of blanks; the
// note is taken only from a line of exactly four fields and otherwise keeps its previous value.
// A line number outside the program gives SegmentNotFound(). A faulty line shows "Failed to read
// segment" and leaves the fields read so far; the call itself never fails.
void ReadSegment(int i, std::string_view program, TSegment& segment);

// The segment record in force at elapsed minutes; the caller uses its Setpoint. Under a ramp only
// Time and Setpoint are written (the rest of result keeps its values); otherwise result becomes
// the previous segment (or the start point). Faulty lines are reported as ReadSegment does. The
// setpoint is always finite.
void SegmentAt(std::string_view program, double elapsed, TSegment& result);

// Checks a program from outside (a loaded file), showing a message for each fault found. Invalid
// characters are reported but do not fail the check. True when the text may become a device's
// program; an empty text is a valid program.
bool ValidateSegmentProgram(std::string_view program);
