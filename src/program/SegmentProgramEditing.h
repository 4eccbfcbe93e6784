#pragma once
// The ways an operator's edits reach a program text: the rows of the segment editor's list, and
// adding one segment at a whole-minute time.
#include <string>
#include <string_view>
#include <vector>

// One row of the segment editor: the time text as caption; sub-items setpoint text, type word and
// (optionally) the note as the operator reads it, with spaces.
struct TSegmentEditorRow {
    std::string Caption;
    std::vector<std::string> SubItems;
};
using TSegmentEditorRows = std::vector<TSegmentEditorRow>;

// The program text of the rows, lines joined by CR LF, blanks at both ends of the text removed.
// A row with three sub-items gets its note encoded by EncodeNote, even an empty one.
std::string ProgramFromListView(const TSegmentEditorRows& rows);

// Replaces rows by one row per program line, notes shown with spaces. A line of fewer than three
// fields shows "Failed to read segment program" and ends the filling, its row partly filled.
void ProgramToListView(std::string_view program, TSegmentEditorRows& rows);

// Adds segmentLine to program, replacing the line with the same whole-number time, and rewrites
// the program sorted by time, every line ending in CR LF. Lines of other than three or four
// fields are dropped. Throws EConvertError, leaving program unchanged, when a time is not a whole
// number.
void AddSegmentLine(std::string& program, std::string_view segmentLine);
